#!/usr/bin/env bash
# Builds the server on the simulated board and runs it in the foreground.
# Arguments are passed to the server (for example --port 20002).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build/host -G Ninja >/dev/null
cmake --build build/host -j "$(nproc)" --target server
exec build/host/server/server "$@"
