#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the sanitizer build
# (also with unsigned char, as on the board), and the fuzz targets for a
# bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)

configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "build/$dir" -G Ninja -DGW_WERROR=ON "$@" >/dev/null
  cmake --build "build/$dir" -j "$jobs"
}

echo "== host build"
configure_and_build host
ctest --test-dir build/host --output-on-failure -j "$jobs" -LE soak-long

# A newcomer's build: CMake's default generator, in parallel, from scratch
# (built only; the tests ran above).
echo "== default generator build"
rm -rf build/default
cmake -S . -B build/default -DGW_WERROR=ON >/dev/null
cmake --build build/default -j "$jobs" >/dev/null

echo "== benchmark smoke run (figures are not judged)"
tools/bench-smoke.sh --build-dir=build/host

echo "== sanitizer build (ASan + UBSan, unsigned char)"
configure_and_build asan -DCMAKE_BUILD_TYPE=Debug -DGW_SANITIZE=ON -DGW_UNSIGNED_CHAR=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE soak-long

# The board's processor: cross build, the unit tests under qemu, then the
# end-to-end and short soak tests against its server under qemu.
if [ -x tools/test-ppc.sh ]; then
  echo "== PowerPC target build"
  tools/test-ppc.sh
fi

# Every hostile-input parser's fuzz target, for a bounded time each.
if [ -x tools/fuzz.sh ]; then
  echo "== fuzz targets"
  tools/fuzz.sh
fi
