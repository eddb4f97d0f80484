#!/usr/bin/env bash
# Builds the native (optimised) preset and runs the micro-benchmarks. Arguments go to Google
# Benchmark, for example: scripts/bench.sh --benchmark_filter=Rk --benchmark_repetitions=5
# TIERLOCK_BUILD_DIR chooses the build directory (default build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${TIERLOCK_BUILD_DIR:-build/native}
cmake --preset native -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target tierlock_bench
exec "$build/bin/tierlock_bench" "$@"
