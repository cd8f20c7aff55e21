#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer + ASan + UBSan) and runs each
# for FUZZ_SECONDS (default 60) on its seed corpus in fuzz/<layer>/corpus/<name>.
# A crash fails the run; turn its input into a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DGW_FUZZ=ON -DGW_SANITIZE=ON -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/fuzz -j "$(nproc)"
# One target per core at a time: each runs its full time, the stage takes
# about (targets / cores) x FUZZ_SECONDS.
run_one() {
  local target=$1 name layer seeds work
  name=$(basename "$target")
  layer=$(basename "$(dirname "$target")")
  seeds="fuzz/$layer/corpus/$name"
  work="build/fuzz/corpus-run/$name"
  mkdir -p "$work"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/ 2>/dev/null || true
  if ! "$target" -max_total_time="$seconds" "$work" >"build/fuzz/$name.log" 2>&1; then
    tail -n 60 "build/fuzz/$name.log"
    echo "fuzz target $name failed"
    return 1
  fi
  echo "-- $name for ${seconds}s: $(tail -n 1 "build/fuzz/$name.log")"
}
export -f run_one
export seconds
targets=$(find build/fuzz/fuzz -type f -name 'fuzz_*' -perm -u+x | sort)
[ -n "$targets" ] || { echo "no fuzz targets yet"; exit 0; }
printf '%s\n' $targets | xargs -P "$(nproc)" -I{} bash -c 'run_one "$@"' _ {}
