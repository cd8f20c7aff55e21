#!/usr/bin/env bash
# Runs every benchmark and prints one table: the codec (C++ against Erlang's
# compiled copy of the schema), the control path (the server against a bare
# poll() reference, alternately, pinned with taskset), the idle server
# (start to listening, resident memory, idle CPU) and the signalling links
# (ISDN and SS7 frames from the line side to the controller and back, against
# a bare relay). Figures are reported
# against their targets, never asserted.
#
# Usage: tools/bench.sh [--smoke] [--record] [--build-dir DIR]
#   --smoke      a few iterations of everything, so the benchmarks keep working
#   --record     also write the table, with date and machine, to bench/RESULTS.md
#   --build-dir  build directory to use (default build/bench; build/host for --smoke)
# Environment: BENCH_SERVER_CPU (default 1) is the core the servers run on,
# BENCH_CLIENT_CPU (default: the same core) the load client's. BENCH_ROUNDS
# sets the number of alternating control-path rounds (default 5).
#
# As root with network namespaces available, everything runs inside a fresh
# network and mount namespace (loopback only, the server's pid file on a
# private tmpfs), so nothing here touches the machine's network or /run.
# Otherwise the servers listen on free loopback ports.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

smoke=0
record=0
build_dir=""
for arg in "$@"; do
  case "$arg" in
    --smoke) smoke=1 ;;
    --record) record=1 ;;
    --build-dir=*) build_dir=${arg#--build-dir=} ;;
    *) echo "usage: tools/bench.sh [--smoke] [--record] [--build-dir=DIR]" >&2; exit 2 ;;
  esac
done
if [ -z "$build_dir" ]; then
  if [ "$smoke" = 1 ]; then build_dir=build/host; else build_dir=build/bench; fi
fi
case "$build_dir" in /*) ;; *) build_dir="$root/$build_dir" ;; esac

# Build first, outside any namespace (the package install needs the machine).
if [ -z "${GW_BENCH_ISOLATED:-}" ]; then
  if [ "${GW_BENCH_NO_DEPS:-}" != 1 ]; then
    tools/install-deps.sh
  fi
  if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DBUILD_TESTING=OFF >/dev/null
  fi
  cmake --build "$build_dir" -j "$(nproc)" --target bench_all
  # Then into a private network and mount namespace, when allowed.
  if [ "$(id -u)" -eq 0 ] && unshare -n -m true 2>/dev/null; then
    exec env GW_BENCH_ISOLATED=1 unshare -n -m --propagation private bash "$0" "$@"
  fi
else
  ip link set lo up
  mount -t tmpfs -o size=16m bench-run "$(readlink -f /var/run)"
fi

bin="$build_dir/bench"
# The simulated board without the E1 maintenance device and without SPI: no
# trunk status signals every second, so the control-path and idle figures
# measure the control path alone. The rows with the status timers or without
# the cross-connect set their own board.
export GW_SIM_ABSENT="/dev/maintenance spi"
server="$build_dir/server/server"
out=$(mktemp -d /tmp/gw-bench.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  # Smoke runs leave nothing behind; a full run keeps its raw results.
  if [ "$smoke" = 1 ]; then rm -rf "$out"; fi
}
trap cleanup EXIT

ncpu=$(nproc)
server_cpu=${BENCH_SERVER_CPU:-$(( ncpu > 1 ? 1 : 0 ))}
client_cpu=${BENCH_CLIENT_CPU:-$server_cpu}
if [ "$smoke" = 1 ]; then
  rounds=1; rtt_count=200; pipe_count=2000; warmup=50
  idle_commands=1000; idle_seconds=1; starts=1; codec_min_time=0.001; codec_repetitions=1; erlang_iterations=200
  hdlc_frames=2000
  sig_count=50; sig_warmup=10; isdn_rate=500; ss7_rate=1000
else
  # Ratios are medians of alternating rounds: never fewer than five.
  rounds=${BENCH_ROUNDS:-5}; [ "$rounds" -ge 5 ] || rounds=5
  rtt_count=20000; pipe_count=400000; warmup=2000
  idle_commands=100000; idle_seconds=30; starts=5; codec_min_time=0.3; codec_repetitions=5; erlang_iterations=50000
  hdlc_frames=200000
  sig_count=5000; sig_warmup=500; isdn_rate=30000; ss7_rate=60000
fi
status=0
note() { echo "bench: $*" >&2; }

build_type=$(grep -m1 '^CMAKE_BUILD_TYPE:' "$build_dir/CMakeCache.txt" | cut -d= -f2 || true)
{
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')," \
       "$ncpu cores, Linux $(uname -r);"
  echo "servers pinned to core $server_cpu, load client to core $client_cpu; $rounds alternating rounds;" \
       "build type ${build_type:-RelWithDebInfo (the project default)}."
} > "$out/machine.txt"

# --- codec ------------------------------------------------------------------
if [ -x "$bin/bench_codec" ]; then
  note "codec (C++)"
  taskset -c "$server_cpu" "$bin/bench_codec" --benchmark_min_time="$codec_min_time" \
    --benchmark_repetitions="$codec_repetitions" --benchmark_report_aggregates_only=true \
    --benchmark_format=json --benchmark_out="$out/codec.json" --benchmark_out_format=json >/dev/null \
    || { note "bench_codec failed"; status=1; }
else
  note "bench_codec not built (messages/ or libbenchmark-dev missing): skipped"
fi
if [ -x "$bin/bench_codec" ] && [ -f "$bin/oracle/messages.beam" ]; then
  note "codec (Erlang reference)"
  if "$bin/bench_codec" --dump-messages="$out/messages.txt"; then
    taskset -c "$server_cpu" escript "$root/bench/oracle_bench.escript" "$bin/oracle" "$out/messages.txt" \
      "$erlang_iterations" > "$out/erlang.json" || { note "Erlang reference failed: $(cat "$out/erlang.json")"; status=1; }
  else
    note "bench_codec --dump-messages failed"; status=1
  fi
else
  note "Erlang copy of the schema or bench_codec not built: Erlang reference skipped"
fi

# --- control path -------------------------------------------------------------
start_bare() {
  local port_file="$out/bare.port"
  taskset -c "$server_cpu" "$bin/bench_bare_server" --port 0 --lifetime 1800 > "$port_file" &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$port_file" ] && break
    sleep 0.05
  done
  bare_port=$(awk '/^listening/ {print $2}' "$port_file")
}

wait_listening() {  # port: true once something accepts on it
  for _ in $(seq 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}

sched_ns() {  # pid: its run time so far (ns), 0 when unknown
  local v
  v=$(cut -d' ' -f1 "/proc/$1/schedstat" 2>/dev/null) || v=0
  echo "${v:-0}"
}

run_client() {  # label port mode file [--pid PID] [extra...]
  local label=$1 port=$2 mode=$3 file=$4; shift 4
  local pid=""
  if [ "${1:-}" = --pid ]; then pid=$2; shift 2; fi
  local count=$rtt_count
  [ "$mode" = pipeline ] && count=$pipe_count
  local before=0
  [ -n "$pid" ] && before=$(sched_ns "$pid")
  taskset -c "$client_cpu" "$bin/bench_load_client" --port "$port" --mode "$mode" --label "$label" \
    --count "$count" --warmup "$warmup" "$@" > "$file" || { note "load client failed: $(cat "$file")"; status=1; }
  # The server's CPU time over the run (warm-up included), for its time per
  # command and the refresh pass's share of it.
  if [ -n "$pid" ]; then
    local after
    after=$(sched_ns "$pid")
    echo "{\"label\":\"$label\",\"mode\":\"$mode\",\"commands\":$((count + warmup)),\"cpu_ns\":$((after - before))}" \
      > "${file%.json}.cpu"
  fi
}

if [ -x "$server" ]; then
  note "control path: $rounds rounds, server and bare reference alternately"
  start_bare
  server_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  taskset -c "$server_cpu" "$server" --port "$server_port" > "$out/server.log" 2>&1 &
  server_pid=$!
  pids+=("$server_pid")
  # The same server without the cross-connect device: its refresh pass idle.
  nohal_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  GW_SIM_ABSENT="$GW_SIM_ABSENT /dev/hal" taskset -c "$server_cpu" "$server" --port "$nohal_port" \
    > "$out/server-nohal.log" 2>&1 &
  nohal_pid=$!
  pids+=("$nohal_pid")
  if ! wait_listening "$server_port" || ! wait_listening "$nohal_port"; then
    note "server did not listen on $server_port or $nohal_port"; status=1
  else
    # The probe connection above counts as a controller that left: let the
    # server finish its disconnect before the first run.
    sleep 2
    for r in $(seq "$rounds"); do
      for mode in rtt pipeline; do
        run_client bare "$bare_port" "$mode" "$out/$mode-bare-$r.json"
        run_client server "$server_port" "$mode" "$out/$mode-server-$r.json" --pid "$server_pid" --check-seq
        run_client server-nohal "$nohal_port" "$mode" "$out/$mode-server-nohal-$r.json" --pid "$nohal_pid" \
          --check-seq
        # A controller disconnect blocks the server for a second.
        sleep 2
      done
    done
  fi
  kill "$server_pid" "$nohal_pid" 2>/dev/null || true
  wait "$server_pid" "$nohal_pid" 2>/dev/null || true

  # --- idle server ----------------------------------------------------------
  note "idle server: $starts starts, $idle_commands commands twice, ${idle_seconds} s idle"
  "$bin/bench_idle" --server "$server" --server-cpu "$server_cpu" --commands "$idle_commands" \
    --idle-seconds "$idle_seconds" --starts "$starts" --server-log "$out/idle-server.log" > "$out/idle.json" \
    || { note "idle probe failed: $(cat "$out/idle.json")"; status=1; }
  note "idle server with the four E1 trunks' status timers running"
  GW_SIM_ABSENT=spi "$bin/bench_idle" --server "$server" --server-cpu "$server_cpu" --commands "$idle_commands" \
    --idle-seconds "$idle_seconds" --skip-signals --label "server, E1 status" > "$out/idle-status.json" \
    || { note "idle probe with status timers failed: $(cat "$out/idle-status.json")"; status=1; }
  note "idle bare reference: the same"
  "$bin/bench_idle" --server "$bin/bench_bare_server" --server-cpu "$server_cpu" --commands "$idle_commands" \
    --idle-seconds "$idle_seconds" --starts "$starts" --label bare --any-seq > "$out/idle-bare.json" \
    || { note "idle probe of the reference failed: $(cat "$out/idle-bare.json")"; status=1; }
else
  note "server not built (core/ missing): control path against the reference only"
  start_bare
  for mode in rtt pipeline; do run_client bare "$bare_port" "$mode" "$out/$mode-bare-1.json"; done
fi

# --- HDLC channel ------------------------------------------------------------
if [ -x "$bin/bench_hdlc" ]; then
  note "HDLC channel through the simulated line side, against a bare socketpair relay"
  taskset -c "$server_cpu" "$bin/bench_hdlc" --frames "$hdlc_frames" > "$out/hdlc.json" \
    || { note "HDLC benchmark failed: $(cat "$out/hdlc.json")"; status=1; }
fi

# --- signalling links ---------------------------------------------------------
if [ -x "$bin/bench_signalling" ] && [ -x "$server" ]; then
  note "signalling links: ISDN (one LAPD link) and SS7 (124 MTP2 links); the bare relay, the server without" \
    "the cross-connect device (the bench wires the lines) and with it, alternately"
  for r in $(seq "$rounds"); do
    for kind in isdn ss7; do
      rate=$isdn_rate
      [ "$kind" = ss7 ] && rate=$ss7_rate
      for target in bare server-nohal server; do
        args=(--bare)
        [ "$target" != bare ] && args=(--server "$server" --server-log "$out/sig-$kind-$r-$target.log")
        [ "$target" = server-nohal ] && args+=(--no-cross-connect)
        taskset -c "$client_cpu" "$bin/bench_signalling" --kind "$kind" "${args[@]}" --server-cpu "$server_cpu" \
          --count "$sig_count" --warmup "$sig_warmup" --rate-frames "$rate" > "$out/sig-$kind-$target-$r.json" \
          || { note "signalling benchmark ($kind, $target) failed: $(cat "$out/sig-$kind-$target-$r.json")"; status=1; }
      done
    done
  done
fi

echo
# A smoke run is too short for a ratio to mean anything: figures only.
judge=()
[ "$smoke" = 1 ] && judge=(--smoke)
if [ "$record" = 1 ]; then
  python3 bench/report.py "$out" "${judge[@]}" --markdown bench/RESULTS.md
else
  python3 bench/report.py "$out" "${judge[@]}"
fi
cat "$out/machine.txt"
[ "$smoke" = 1 ] || echo "(raw results in $out)"
exit "$status"
