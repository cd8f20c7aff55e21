#!/usr/bin/env bash
# The long soak: the soak tests with their full figures (a million commands
# over one connection, 10,000 controller connections
# against the real server, 100,000 hostile frames), on the host build. CI runs
# the same tests with short figures (ctest label "soak"); this runs the ones
# labelled "soak-long", which set GW_SOAK_SCALE=long. Takes about half an hour:
# the server pauses one second after every lost controller, and the real
# server's reconnect figure is mostly refused clients for that reason.
#
#   tools/soak.sh            builds build/host and runs the long soak
#   BUILD=build/x tools/soak.sh
#
# Each test prints its figures (commands, reconnects, descriptors and
# resident memory before and after) on "[ figures  ]" lines; the full output
# is kept in $BUILD/soak-long.log.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/host}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target server soak_server_test
status=0
ctest --test-dir "$build" -L soak-long --output-on-failure -V >"$build/soak-long.log" 2>&1 || status=$?
grep -E '\[ figures  \]|Passed|Failed|tests passed' "$build/soak-long.log" || true
exit "$status"
