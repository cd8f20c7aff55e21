#!/usr/bin/env python3
"""Prints the one table of the benchmarks from the result files that
tools/bench.sh leaves in a directory:

  codec.json         Google Benchmark's JSON output of bench_codec
  erlang.json        one JSON object per line from oracle_bench.escript
  rtt-*.json         bench_load_client --mode rtt, one file per run
  pipeline-*.json    bench_load_client --mode pipeline, one file per run
  idle.json          bench_idle against the server
  idle-bare.json     bench_idle against the bare reference
  idle-status.json   bench_idle against the server with the E1 status timers running
  hdlc.json          bench_hdlc: the HDLC channel through the line side, and a bare relay
  sig-*.json         bench_signalling, one file per kind (isdn, ss7), target and round
  machine.txt        what the run was measured on (optional)

Control-path figures are the median over the alternating runs. A missing
file leaves its rows "not run"; nothing here fails because a target is
missed: figures are reported, never asserted.

Usage: report.py RESULTS_DIR [--markdown FILE]
"""

import glob
import json
import os
import statistics
import sys

MESSAGES = ["ping", "createMap", "userData200", "trunkStatus", "isdnLinkInfo"]
MESSAGE_TEXT = {
    "ping": "ping, no seq or slot",
    "createMap": "create map, both channels",
    "userData200": "userData, 200 octets",
    "trunkStatus": "trunkStatus signal",
    "isdnLinkInfo": "ioctl isdnLinkInfo report",
}


def load_lines(path):
    out = []
    try:
        with open(path) as f:
            for line in f:
                line = line.strip()
                if line.startswith("{"):
                    out.append(json.loads(line))
    except (OSError, ValueError):
        pass
    return out


def load_runs(directory, pattern):
    """{label: [run objects]} over every file matching pattern."""
    runs = {}
    for path in sorted(glob.glob(os.path.join(directory, pattern))):
        for obj in load_lines(path):
            runs.setdefault(obj.get("label", "?"), []).append(obj)
    return runs


def median_of(runs, key):
    values = [r[key] for r in runs if key in r]
    return statistics.median(values) if values else None


def errors_of(runs):
    return sorted(set(r["error"] for r in runs if "error" in r))


def codec_times(directory):
    """{(operation, message): ns per call} from Google Benchmark's JSON."""
    try:
        with open(os.path.join(directory, "codec.json")) as f:
            data = json.load(f)
    except (OSError, ValueError):
        return {}
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    out, medians = {}, {}
    for b in data.get("benchmarks", []):
        run_type = b.get("run_type", "iteration")
        if run_type == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"]).split("/")  # BM_Encode/ping
        if len(name) < 2:
            continue
        op = "encode" if "Encode" in name[0] else "decode" if "Decode" in name[0] else None
        if op:
            ns = b["real_time"] * scale.get(b.get("time_unit", "ns"), 1.0)
            (medians if run_type == "aggregate" else out)[(op, name[1])] = ns
    # With repetitions, the median of them; otherwise the one run.
    out.update(medians)
    return out


def erlang_times(directory):
    out = {}
    for obj in load_lines(os.path.join(directory, "erlang.json")):
        if "message" in obj:
            for op in ("encode", "decode"):
                if op + "_ns" in obj:
                    out[(op, obj["message"])] = obj[op + "_ns"]
    return out


def fmt(value, digits=1):
    if value is None:
        return "not run"
    if isinstance(value, str):
        return value
    if isinstance(value, int):
        return "{:,}".format(value)
    if abs(value) >= 1000:
        return "{:,.0f}".format(value)
    return "{:.{}f}".format(value, digits)


def verdict(ok):
    if ok is None:
        return "not measured"
    return "met" if ok else "MISSED"


def rows(directory):
    table = []
    # Control path.
    rtt = load_runs(directory, "rtt-*.json")
    pipe = load_runs(directory, "pipeline-*.json")
    s50, b50 = median_of(rtt.get("server", []), "p50_us"), median_of(rtt.get("bare", []), "p50_us")
    s99, b99 = median_of(rtt.get("server", []), "p99_us"), median_of(rtt.get("bare", []), "p99_us")
    ratio = s50 / b50 if s50 and b50 else None
    table.append(("ping round trip p50 (us)", fmt(s50, 2), fmt(b50, 2),
                  "<= 1.3x reference" + (" (x%.2f)" % ratio if ratio else ""),
                  verdict(None if ratio is None else ratio <= 1.3)))
    table.append(("ping round trip p99 (us)", fmt(s99, 2), fmt(b99, 2), "", ""))
    sp, bp = median_of(pipe.get("server", []), "commands_per_s"), median_of(pipe.get("bare", []), "commands_per_s")
    table.append(("pipelined ping, 64 outstanding (cmd/s)", fmt(sp), fmt(bp), ">= 400,000",
                  verdict(None if sp is None else sp >= 400000)))
    # The same server with the cross-connect device absent: its own cost,
    # apart from the device requests its refresh pass makes.
    n50 = median_of(rtt.get("server-nohal", []), "p50_us")
    nratio = n50 / b50 if n50 and b50 else None
    table.append(("ping round trip p50, cross-connect absent (us)", fmt(n50, 2), fmt(b50, 2),
                  "<= 1.3x reference" + (" (x%.2f)" % nratio if nratio else ""),
                  verdict(None if nratio is None else nratio <= 1.3)))
    npipe = median_of(pipe.get("server-nohal", []), "commands_per_s")
    pratio = npipe / bp if npipe and bp else None
    table.append(("pipelined ping, cross-connect absent (cmd/s)", fmt(npipe), fmt(bp),
                  ">= 0.8x reference" + (" (x%.2f)" % pratio if pratio else ""),
                  verdict(None if pratio is None else pratio >= 0.8)))
    for label, runs in list(rtt.items()) + list(pipe.items()):
        for e in errors_of(runs):
            table.append(("  failed run (%s)" % label, e, "", "", ""))
    # Codec.
    cpp, erl = codec_times(directory), erlang_times(directory)
    for op in ("encode", "decode"):
        for m in MESSAGES:
            c, e = cpp.get((op, m)), erl.get((op, m))
            ok = None if c is None or e is None else c < e
            table.append(("%s %s (ns)" % (op, MESSAGE_TEXT[m]), fmt(c), fmt(e), "faster than Erlang",
                          verdict(ok)))
    # Idle server, and the bare reference through the same probe.
    def idle_of(name):
        objs = load_lines(os.path.join(directory, name))
        return objs[-1] if objs else {}
    idle, ref = idle_of("idle.json"), idle_of("idle-bare.json")
    for label, obj in (("server", idle), ("reference", ref)):
        if "error" in obj:
            table.append(("idle probe of the %s failed" % label, obj["error"], "", "", ""))
    if "error" in idle:
        idle = {}
    if "error" in ref:
        ref = {}
    start, after, after2 = idle.get("rss_start_kb"), idle.get("rss_after_kb"), idle.get("rss_after_2x_kb")
    n = idle.get("commands", ref.get("commands", 100000))
    table.append(("resident memory after start (KiB)", fmt(start), fmt(ref.get("rss_start_kb")), "<= 8 MiB",
                  verdict(None if start is None else start <= 8192)))
    table.append(("  of it the process's own (RssAnon, KiB)", fmt(idle.get("anon_start_kb")),
                  fmt(ref.get("anon_start_kb")), "", ""))
    # Flat: neither batch of commands leaves more than 64 KiB behind.
    flat = None
    if start is not None and after is not None and after2 is not None:
        flat = after <= 8192 and after2 <= 8192 and after - start <= 64 and after2 - after <= 64
    both = lambda o, a, b: "%s / %s" % (fmt(o.get(a)), fmt(o.get(b))) if a in o else "not run"
    table.append(("resident memory after %s / %s commands (KiB)" % ("{:,}".format(n), "{:,}".format(2 * n)),
                  both(idle, "rss_after_kb", "rss_after_2x_kb"), both(ref, "rss_after_kb", "rss_after_2x_kb"),
                  "<= 8 MiB, flat (+64 KiB at most per batch)", verdict(flat)))
    secs = idle.get("idle_seconds", 30)

    def cpu_of(o):
        sched, ticks = o.get("idle_cpu_ms_sched"), o.get("idle_cpu_ms_ticks")
        return sched if sched is not None and sched >= 0 else ticks

    cpu = cpu_of(idle)
    # The target is per 30 s; a shorter (smoke) period is scaled to it.
    cpu30 = cpu * 30.0 / secs if cpu is not None and secs else None
    describe = lambda o: ("%s (ticks %s, %s wake-ups)" % (fmt(cpu_of(o), 3), fmt(o.get("idle_cpu_ms_ticks")),
                                                          fmt(o.get("idle_wakeups"), 0))
                          if cpu_of(o) is not None else "not run")
    table.append(("CPU over %s s idle, controller connected (ms)" % secs, describe(idle), describe(ref),
                  "<= 10 ms per 30 s", verdict(None if cpu30 is None else cpu30 <= 10)))
    status = idle_of("idle-status.json")
    if "error" in status:
        table.append(("idle probe with status timers failed", status["error"], "", "", ""))
        status = {}
    scpu = cpu_of(status)
    ssecs = status.get("idle_seconds", secs)
    scpu30 = scpu * 30.0 / ssecs if scpu is not None and ssecs else None
    table.append(("CPU over %s s idle, four E1 trunks' status timers (ms)" % ssecs, describe(status), "",
                  "<= 10 ms per 30 s", verdict(None if scpu30 is None else scpu30 <= 10)))
    listen = idle.get("start_to_listen_ms")
    starts = idle.get("starts", 1)
    table.append(("start to listening (ms, median of %s)" % starts,
                  "%s (min %s)" % (fmt(listen, 2), fmt(idle.get("start_to_listen_min_ms"), 2)) if listen else "not run",
                  "%s (min %s)" % (fmt(ref.get("start_to_listen_ms"), 2), fmt(ref.get("start_to_listen_min_ms"), 2))
                  if ref.get("start_to_listen_ms") else "not run",
                  "<= 5 ms", verdict(None if listen is None else listen <= 5)))
    # The HDLC channel through the simulated line side, against a bare relay.
    hdlc = idle_of("hdlc.json")
    if "error" in hdlc:
        table.append(("HDLC benchmark failed", hdlc["error"], "", "", ""))
        hdlc = {}
    table.append(("HDLC frames via the line side, %s octets (frames/s)" % hdlc.get("size", 64),
                  fmt(hdlc.get("frames_per_s")), fmt(hdlc.get("bare_frames_per_s")),
                  "ratio reported" + (" (x%.3f)" % hdlc["ratio"] if "ratio" in hdlc else ""), ""))
    table += signalling_rows(directory)
    return table


def signalling_rows(directory):
    """ISDN and SS7 frames from the line side to the controller and back,
    the server against the bare relay: medians over the rounds, as ratios."""
    runs = load_runs(directory, "sig-*.json")
    out = []

    def ratio_text(s, b):
        return "ratio reported" + (" (x%.2f)" % (s / b) if s and b else "")

    for kind, unit, what in (("isdn", "I frame", "one link"), ("ss7", "MSU", None)):
        server, bare = runs.get(kind + "-server", []), runs.get(kind + "-bare", [])
        for label, rs in ((kind + "-server", server), (kind + "-bare", bare)):
            for e in errors_of(rs):
                out.append(("  failed run (%s)" % label, e, "", "", ""))
        ok = lambda rs: [r for r in rs if "error" not in r]
        server, bare = ok(server), ok(bare)
        links = median_of(server, "links") or median_of(bare, "links")
        name = kind.upper()
        for key, pct in (("p50_us", "p50"), ("p99_us", "p99")):
            s, b = median_of(server, key), median_of(bare, key)
            out.append(("%s %s, line -> controller -> line, %s (us)" % (name, unit, pct), fmt(s, 2), fmt(b, 2),
                        ratio_text(s, b), ""))
        s, b = median_of(server, "frames_per_s"), median_of(bare, "frames_per_s")
        over = what or ("%s links at once" % fmt(int(links)) if links else "every E1 timeslot")
        out.append(("%s %ss echoed per second, %s" % (name, unit, over), fmt(s), fmt(b),
                    "ratio reported" + (" (x%.3f)" % (s / b) if s and b else ""), ""))
        if kind == "ss7":
            s, b = median_of(server, "cpu_share"), median_of(bare, "cpu_share")
            pct_text = lambda v: "%.0f %%" % (100 * v) if v is not None and v >= 0 else "not run"
            out.append(("  CPU share of the server / relay meanwhile", pct_text(s), pct_text(b), "", ""))
    return out


def render(table):
    head = ("measure", "server / C++", "reference / Erlang", "target", "verdict")
    widths = [max(len(str(r[i])) for r in table + [head]) for i in range(5)]
    line = lambda r: "| " + " | ".join(str(c).ljust(w) for c, w in zip(r, widths)) + " |"
    out = [line(head), "|" + "|".join("-" * (w + 2) for w in widths) + "|"]
    out += [line(r) for r in table]
    return "\n".join(out) + "\n"


BEGIN, END = "<!-- table: written by tools/bench.sh --record -->", "<!-- end of table -->"


def write_markdown(path, block):
    """Puts the table between the markers of the results file, keeping the
    hand-written text around it; a new file gets a heading and the markers."""
    try:
        with open(path) as f:
            old = f.read()
    except OSError:
        old = "# Benchmark results\n\n%s\n%s\n" % (BEGIN, END)
    if BEGIN not in old or END not in old:
        old = old.rstrip("\n") + "\n\n%s\n%s\n" % (BEGIN, END)
    head, rest = old.split(BEGIN, 1)
    tail = rest.split(END, 1)[1]
    with open(path, "w") as f:
        f.write(head + BEGIN + "\n" + block + END + tail)


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    directory = argv[1]
    text = render(rows(directory))
    sys.stdout.write(text)
    if len(argv) >= 4 and argv[2] == "--markdown":
        machine = ""
        try:
            with open(os.path.join(directory, "machine.txt")) as f:
                machine = f.read().strip()
        except OSError:
            pass
        write_markdown(argv[3], machine + "\n\n" + text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
