#!/usr/bin/env bash
# The benchmarks' smoke mode for CI: builds them and runs each once with a
# few iterations so that they keep working. The table is printed but no
# figure is asserted; the exit status is non-zero only when a benchmark
# program fails. Arguments go to tools/bench.sh (e.g. --build-dir=DIR;
# default build/host, the tree tools/test.sh has just built).
set -euo pipefail
cd "$(dirname "$0")/.."
exec tools/bench.sh --smoke "$@"
