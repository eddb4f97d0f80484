#!/usr/bin/env bash
# Times the host tool on large generated inputs and prints wall time and peak memory of each
# run: check of 1k, 10k and 200k rules; replay of a process chain 1k, 10k and 100k deep; replay
# of 100k events. Targets: 200k rules under 10 s, a 10k-deep chain under 1 s, 100k events under
# 200 MB, and at most 12 times the time and memory from 10k to 100k.
# TIERLOCK_BUILD_DIR chooses the build directory (default build/native); the inputs go to a
# temporary folder that is removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${TIERLOCK_BUILD_DIR:-build/native}
cmake --preset native -B "$build" >/dev/null
cmake --build "$build" -j2 --target tierlock tierlock-host >/dev/null
tool=$PWD/$build/bin/tierlock-host
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A configuration of n rules on one match mode; the chain item matches level 70.
rules() {
  awk -v n="$1" 'BEGIN {
    print "{\"enable\": 1, \"matchmode\": [{\"modeid\": 1, \"mode\": ["
    print "  {\"id\": 1, \"srclvl\": \"10,20\", \"chainlvl\": \"70\", \"popwnd\": \"bench\"}]}],"
    print " \"rules\": ["
    for (i = 1; i <= n; i++)
      printf "  {\"id\": %d, \"eventtype\": 1, \"reporttype\": 0, \"ruleid\": \"%d\", \"modeid\": 1}%s\n", i, i, (i < n ? "," : "")
    print "]}"
  }'
}

# A scenario of a chain of depth processes (the last one acts) and count file events.
scenario() {
  awk -v depth="$1" -v count="$2" 'BEGIN {
    print "{\"configuration\": \"rules.json\", \"host\": \"cache\", \"cloud\": {}, \"processes\": ["
    for (i = 1; i <= depth; i++)
      printf "  {\"pid\": %d, \"parent\": %d, \"path\": \"C:\\\\p\\\\%d.exe\", \"level\": \"%s\"}%s\n", i * 4, (i - 1) * 4, i, (i == 1 ? "70.0" : "30.0"), (i < depth ? "," : "")
    print "], \"events\": ["
    for (e = 1; e <= count; e++)
      printf "  {\"class\": \"file\", \"operation\": 2, \"ruleId\": %d, \"process\": %d, \"source\": {\"path\": \"C:\\\\s.exe\", \"level\": \"10.0\"}, \"items\": [{\"type\": \"source\", \"path\": \"C:\\\\s.exe\", \"process\": %d}], \"answer\": \"allow\"}%s\n", (e % 2 ? 1 : 999), depth * 4, depth * 4, (e < count ? "," : "")
    print "]}"
  }' | sed 's/"parent": 0, //'
}

measure() {
  local label=$1
  shift
  /usr/bin/time -f "$label: %e s, peak %M KB" "$@" >/dev/null 2>"$work/time" || true
  tail -n 1 "$work/time"
}

rules 1 >"$work/rules.json"
for n in 1000 10000 200000; do
  rules "$n" >"$work/check-$n.json"
  measure "check, $n rules" "$tool" check "$work/check-$n.json"
done
for depth in 1000 10000 100000; do
  scenario "$depth" 1 >"$work/chain-$depth.scenario.json"
  measure "replay, chain $depth deep" "$tool" replay "$work/chain-$depth.scenario.json"
done
for count in 10000 100000; do
  scenario 3 "$count" >"$work/events-$count.scenario.json"
  measure "replay, $count events" "$tool" replay "$work/events-$count.scenario.json"
done
