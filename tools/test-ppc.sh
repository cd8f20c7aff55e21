#!/usr/bin/env bash
# Cross-builds the server and the tests for the board's processor (32-bit
# big-endian PowerPC) and runs every unit test under qemu-user.
#
# The server links the pass-through board layer (the real device files); the
# test binaries link the simulated board, as on the host. Tests labelled e2e
# (they need namespaces and the host's server binary) and soak do not run here.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build/ppc -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-ppc.cmake \
  -DGW_BOARD=linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGW_WERROR=ON >/dev/null
cmake --build build/ppc -j "$jobs"
file build/ppc/server/server 2>/dev/null | grep -q "PowerPC" || { [ ! -e build/ppc/server/server ] || { echo "server is not a PowerPC binary"; exit 1; }; }
ctest --test-dir build/ppc --output-on-failure -j "$jobs" -LE 'e2e|soak'
