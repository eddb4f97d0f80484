#!/usr/bin/env bash
# Mutation testing for developers (not part of the test command): plants N random small faults
# in src/ one at a time, rebuilds the native preset incrementally, runs its tests and prints
# killed / survived / did not build per mutant and a score. Takes minutes: about half a minute
# per mutant on two cores.
#   scripts/mutate.sh [N] [--seed S] [--under src/engine] [--ctest-args '-E Tool']
#   scripts/mutate.sh --again OUTPUT   # only the mutants an earlier run's OUTPUT saw survive
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
[ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
exec python3 scripts/mutate.py "$@"
