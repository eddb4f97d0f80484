#!/usr/bin/env bash
# Runs every fuzz target for a bounded time: scripts/fuzz.sh [SECONDS per target, default 60].
# New inputs go to a scratch folder; the seed corpora in fuzz/corpus stay as committed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if [ ! -d build/fuzz/bin ]; then
  bash scripts/install-deps.sh
  cmake --preset fuzz >/dev/null
  cmake --build build/fuzz -j"$(nproc)"
fi
status=0
for fuzzer in build/fuzz/bin/*_fuzzer; do
  name=$(basename "$fuzzer" _fuzzer)
  scratch=$(mktemp -d)
  echo "== fuzz $name for ${seconds}s"
  if "$fuzzer" -max_total_time="$seconds" -max_len=20000 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="build/fuzz/${name}-" "$scratch" "fuzz/corpus/$name" 2>build/fuzz/$name.log; then
    grep -E '^stat::number_of_executed_units' build/fuzz/$name.log || true
  else
    tail -n 40 build/fuzz/$name.log
    status=1
  fi
  rm -rf "$scratch"
done
exit $status
