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
  sig-*.json         bench_signalling, one file per kind (isdn, ss7), target (bare,
                     server-nohal: no cross-connect device, server) and round
  machine.txt        what the run was measured on (optional)

Control-path figures are the median over the alternating runs. A missing
file leaves its rows "not run"; nothing here fails because a target is
missed: figures are reported, never asserted.

With --smoke (a run of a few iterations) every figure is printed but no
ratio is judged: the verdict says "not judged (smoke)".

Usage: report.py RESULTS_DIR [--smoke] [--markdown FILE]
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


SMOKE = False


def verdict(ok, ratio=False):
    """A ratio from a smoke run is not judged: too few commands, a fresh pool."""
    if ok is None:
        return "not measured"
    if ratio and SMOKE:
        return "not judged (smoke)"
    return "met" if ok else "MISSED"


def load_cpu(directory, pattern):
    """{label: [ns per command]} from the .cpu files bench.sh writes."""
    out = {}
    for path in sorted(glob.glob(os.path.join(directory, pattern))):
        for obj in load_lines(path):
            if obj.get("commands") and obj.get("cpu_ns", 0) > 0:
                out.setdefault(obj["label"], []).append(obj["cpu_ns"] / obj["commands"])
    return out


def median_list(values):
    return statistics.median(values) if values else None


def rows(directory):
    table = []
    # Control path: the server against the bare reference that writes once
    # per answer, medians over the alternating rounds.
    rtt = load_runs(directory, "rtt-*.json")
    pipe = load_runs(directory, "pipeline-*.json")
    cpu_rtt, cpu_pipe = load_cpu(directory, "rtt-*.cpu"), load_cpu(directory, "pipeline-*.cpu")
    b50 = median_of(rtt.get("bare", []), "p50_us")
    bp = median_of(pipe.get("bare", []), "commands_per_s")
    x = lambda r: " (x%.2f)" % r if r else ""
    for label, what in (("server-nohal", "cross-connect absent"), ("server", "cross-connect present")):
        judged = label == "server-nohal"
        s50 = median_of(rtt.get(label, []), "p50_us")
        ratio = s50 / b50 if s50 and b50 else None
        table.append(("ping round trip p50, %s (us)" % what, fmt(s50, 2), fmt(b50, 2),
                      ("<= 1.2x the bare server" if judged else "reported") + x(ratio),
                      verdict(None if ratio is None else ratio <= 1.2, True) if judged else ""))
        s99 = median_of(rtt.get(label, []), "p99_us")
        table.append(("  p99 (us)", fmt(s99, 2), fmt(median_of(rtt.get("bare", []), "p99_us"), 2), "", ""))
        sp = median_of(pipe.get(label, []), "commands_per_s")
        pratio = sp / bp if sp and bp else None
        table.append(("pipelined ping, 64 outstanding, %s (cmd/s)" % what, fmt(sp), fmt(bp),
                      (">= 1.2x the bare server" if judged else "reported") + x(pratio),
                      verdict(None if pratio is None else pratio >= 1.2, True) if judged else ""))
        cr, cp = median_list(cpu_rtt.get(label, [])), median_list(cpu_pipe.get(label, []))
        table.append(("  server CPU per command, round trip / pipelined (us)",
                      "%s / %s" % (fmt(cr / 1e3 if cr else None, 2), fmt(cp / 1e3 if cp else None, 2)),
                      "", "", ""))
    # The refresh pass: what the cross-connect adds to the server's time per
    # command, as a share of it.
    for mode, cpu in (("round trip", cpu_rtt), ("pipelined", cpu_pipe)):
        present, absent = median_list(cpu.get("server", [])), median_list(cpu.get("server-nohal", []))
        share = 1 - absent / present if present and absent else None
        table.append(("  refresh pass's share of the server's time, %s" % mode,
                      "%.0f %%" % (100 * share) if share is not None else "not run", "", "reported", ""))
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
    table.append(("resident memory after start (KiB)", fmt(start), fmt(ref.get("rss_start_kb")), "reported", ""))
    # Judged outside the packet pool once its blocks were all touched (the
    # pool is first-in first-out, so the first batch reaches every block).
    o1, o2 = idle.get("outside_pool_after_kb"), idle.get("outside_pool_after_2x_kb")
    flat = None
    if o1 is not None and o2 is not None and o1 >= 0 and o2 >= 0:
        flat = o1 <= 8192 and o2 <= 8192 and o2 - o1 <= 64
    both = lambda o, a, b: "%s / %s" % (fmt(o.get(a)), fmt(o.get(b))) if a in o else "not run"
    table.append(("resident outside the pool after %s / %s commands (KiB)" % ("{:,}".format(n), "{:,}".format(2 * n)),
                  both(idle, "outside_pool_after_kb", "outside_pool_after_2x_kb"),
                  both(ref, "outside_pool_after_kb", "outside_pool_after_2x_kb"),
                  "<= 8 MiB, flat after the pool was touched (+64 KiB)", verdict(flat)))
    table.append(("  whole resident memory then (KiB)", both(idle, "rss_after_kb", "rss_after_2x_kb"),
                  both(ref, "rss_after_kb", "rss_after_2x_kb"), "", ""))
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
    """ISDN and SS7 frames from the line side to the controller and back:
    the server on a board without the cross-connect device, the far ends on
    its controller channels (judged), and with it, through the board's relay
    (reported, with the share the cross-connect adds), against the bare relay.
    Medians over the rounds; the judged ratio also per round, each server run
    against the relay run of its own round."""
    runs = load_runs(directory, "sig-*.json")
    out = []
    ok = lambda rs: [r for r in rs if "error" not in r]
    # Per echoed frame, in microseconds: the run's CPU time over its frames.
    per = lambda r, key: r[key] * 1e3 / r["rate_frames"] if r.get(key, -1) >= 0 and r.get("rate_frames") else None
    per_count = lambda r, key: float(r[key]) / r["rate_frames"] if r.get(key, -1) >= 0 and r.get("rate_frames") else None

    def own(r):
        # The server's own: its run time less the simulated board's metered work.
        total, board = per(r, "cpu_ms"), per(r, "board_cpu_ms")
        return total - board if total is not None and board is not None else None

    def med(values):
        return median_list([v for v in values if v is not None])

    for kind, unit, what in (("isdn", "I frame", "one link"), ("ss7", "MSU", None)):
        label = {t: "%s-%s" % (kind, t) for t in ("bare", "server-nohal", "server")}
        for l in label.values():
            for e in errors_of(runs.get(l, [])):
                out.append(("  failed run (%s)" % l, e, "", "", ""))
        bare, absent, present = (ok(runs.get(label[t], [])) for t in ("bare", "server-nohal", "server"))
        links = median_of(absent, "links") or median_of(bare, "links")
        name = kind.upper()
        pair = lambda a, b, d=1: "%s / %s" % (fmt(a, d), fmt(b, d))
        xs = lambda a, p, b: "ratio reported" + (" (x%.2f / x%.2f)" % (a / b, p / b) if a and p and b else "")
        for key, pct in (("p50_us", "p50"), ("p99_us", "p99")):
            a, p, b = median_of(absent, key), median_of(present, key), median_of(bare, key)
            out.append(("%s %s, line -> controller -> line, %s, cross-connect absent / present (us)" % (name, unit, pct),
                        pair(a, p, 2), fmt(b, 2), xs(a, p, b), ""))
        a, p, b = (median_of(rs, "frames_per_s") for rs in (absent, present, bare))
        over = what or ("%s links at once" % fmt(int(links)) if links else "every E1 timeslot")
        out.append(("%s %ss echoed per second, %s, absent / present" % (name, unit, over), pair(a, p), fmt(b),
                    xs(a, p, b), ""))
        relay = med(per(r, "cpu_ms") for r in bare)
        for rs, which in ((absent, "absent"), (present, "present")):
            out.append(("  CPU per %s, cross-connect %s: server's own / simulated board's (us)" % (unit, which),
                        pair(med(own(r) for r in rs), med(per(r, "board_cpu_ms") for r in rs), 2),
                        fmt(relay, 2), "reported", ""))
        # The judged ratio: medians, and each round's server run against its
        # own round's relay run (the rounds alternate).
        o = med(own(r) for r in absent)
        ratio = o / relay if o and relay else None
        rounds = [own(s) / per(b, "cpu_ms") for s, b in zip(absent, bare)
                  if own(s) is not None and per(b, "cpu_ms")]
        spread = " (rounds x%.2f..x%.2f)" % (min(rounds), max(rounds)) if len(rounds) > 1 else ""
        out.append(("  server's own CPU per %s, cross-connect absent, vs the relay's (us)" % unit,
                    "%s (min %s)" % (fmt(o, 2), fmt(min([own(r) for r in absent if own(r) is not None] or [None]), 2))
                    if o else "not run",
                    "%s (min %s)" % (fmt(relay, 2), fmt(min([per(r, "cpu_ms") for r in bare if per(r, "cpu_ms")] or [None]), 2))
                    if relay else "not run",
                    "<= 3x the bare relay" + (" (x%.2f)" % ratio if ratio else "") + spread,
                    verdict(None if ratio is None else ratio <= 3, True)))
        op = med(own(r) for r in present)
        out.append(("  server's own CPU per %s, cross-connect present, vs the relay's (us)" % unit, fmt(op, 2),
                    fmt(relay, 2), "reported" + (" (x%.2f)" % (op / relay) if op and relay else ""), ""))
        # What the cross-connect adds to the server's whole CPU time per frame,
        # as a share of it: the refresh pass, and the passes of the board's
        # relay, which the present run has in its path (the absent one taps
        # the controller channels).
        ta, tp = med(per(r, "cpu_ms") for r in absent), med(per(r, "cpu_ms") for r in present)
        out.append(("  cross-connect's share (refresh pass, board relay) of the server's CPU per %s" % unit,
                    "%.0f %%" % (100 * (1 - ta / tp)) if ta and tp else "not run", "", "reported", ""))
        sleeps = lambda rs: med(per_count(r, "sleeps") for r in rs)
        preempted = lambda rs: med(per_count(r, "preempted") for r in rs)
        out.append(("  sleeps / preemptions per %s, cross-connect absent" % unit,
                    pair(sleeps(absent), preempted(absent), 2), pair(sleeps(bare), preempted(bare), 2),
                    "reported", ""))
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
    global SMOKE
    directory = argv[1]
    args = argv[2:]
    if "--smoke" in args:
        SMOKE = True
        args.remove("--smoke")
    text = render(rows(directory))
    sys.stdout.write(text)
    if len(args) >= 2 and args[0] == "--markdown":
        machine = ""
        try:
            with open(os.path.join(directory, "machine.txt")) as f:
                machine = f.read().strip()
        except OSError:
            pass
        write_markdown(args[1], machine + "\n\n" + text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
