#!/usr/bin/env bash
# Sets up, builds the plug-in and the host tool, and runs the tool on the bundled example
# configuration: it loads the plug-in by path and prints every line the plug-in logs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build build/native -j"$(nproc)" --target tierlock tierlock-host >/dev/null
exec build/native/bin/tierlock-host --plugin build/native/bin/libtierlock.so \
  --config "${1:-examples/tierlock.json}"
