#!/usr/bin/env bash
# Sets up, builds the plug-in and the host tool, and replays the bundled scenario
# (examples/workstation.scenario.json, with the configuration it names, examples/workstation.json)
# through the plug-in: every event's verdict and decoded pop-up request, then whether every host
# reference came back. Another scenario and replay options may follow, e.g.
#   scripts/run-example.sh examples/tree-host.scenario.json --log
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build build/native -j"$(nproc)" --target tierlock tierlock-host >/dev/null
exec build/native/bin/tierlock-host replay "${1:-examples/workstation.scenario.json}" "${@:2}"
