#!/usr/bin/env bash
# Cross-builds the server and the tests for the board's processor (32-bit
# big-endian PowerPC) and runs every unit test under qemu-user, then the
# end-to-end and short soak tests against the PowerPC server under qemu-user.
#
# The server links the pass-through board layer (the real device files); the
# test binaries and server_sim, the same server for tests, link the simulated
# board. The end-to-end and soak tests are the host's binaries (they set up
# namespaces and drive the server from outside); GW_SERVER_COMMAND makes them
# start server_sim under qemu-user instead of the host's server.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build/ppc -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-ppc.cmake \
  -DGW_BOARD=linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGW_WERROR=ON >/dev/null
cmake --build build/ppc -j "$jobs"
file build/ppc/server/server 2>/dev/null | grep -q "PowerPC" || { [ ! -e build/ppc/server/server ] || { echo "server is not a PowerPC binary"; exit 1; }; }
ctest --test-dir build/ppc --output-on-failure -j "$jobs" -LE 'e2e|soak'

[ -f build/host/build.ninja ] || cmake -S . -B build/host -G Ninja -DGW_WERROR=ON >/dev/null
cmake --build build/host -j "$jobs"
GW_SERVER_COMMAND="qemu-ppc -L /usr/powerpc-linux-gnu $PWD/build/ppc/server/server_sim" \
  ctest --test-dir build/host --output-on-failure -j "$jobs" -L 'e2e|soak' -LE soak-long
