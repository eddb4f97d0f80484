#!/usr/bin/env bash
# Sets up everything, builds every preset and runs every test: native, under ASan+UBSan and
# TSan, the fuzz targets briefly, the shipped PE32 build under Wine in a 32-bit prefix and in a
# 64-bit prefix (WOW64), and the x86-64 Windows build under wine64 in a 64-bit-only prefix.
# On a kernel that runs no 32-bit code the two PE32 runs are skipped with the reason (the PE32
# DLL is still built and checked). Each Windows run also feeds the hostile host's fuzz corpus to
# that build's corpus runner. Ends with one summary line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/wine-env.sh
trap wine_prefixes_down EXIT

jobs=$(nproc)
summary=$(mktemp)
trap 'wine_prefixes_down; rm -f "$summary"' EXIT

configure_and_build() {
  cmake --preset "$1" >/dev/null
  cmake --build "build/$1" -j"$jobs"
}

# run_ctest LABEL DIR: runs ctest and records its counts for the summary.
run_ctest() {
  local label=$1 dir=$2 log
  log=$(mktemp)
  echo "== $label"
  set +e
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  local line total failed
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  failed=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  [ -n "$line" ] || { total=0; failed=1; }
  echo "$label $total $failed" >>"$summary"
  rm -f "$log"
  return $rc
}

status=0

# Include layering: every file includes only subsystems its target depends on.
if bash scripts/check-includes.sh; then
  echo "check-includes 1 0" >>"$summary"
else
  echo "check-includes 1 1" >>"$summary"
  status=1
fi

for preset in native native-asan native-tsan; do
  configure_and_build "$preset"
  run_ctest "$preset" "build/$preset" || status=1
done

if [ -f fuzz/CMakeLists.txt ]; then
  configure_and_build fuzz
  # 45 s per target keeps the whole command well inside CI's half hour.
  if bash scripts/fuzz.sh "${TIERLOCK_FUZZ_SECONDS:-45}"; then
    echo "fuzz 1 0" >>"$summary"
  else
    echo "fuzz 1 1" >>"$summary"
    status=1
  fi
fi

# check_dll PRESET MACHINE: the stripped DLL the build left (and every Windows test loads).
check_dll() {
  if bash scripts/check-dll.sh "build/$1/bin/tierlock.dll" "$2"; then
    echo "check-dll-$1 1 0" >>"$summary"
  else
    echo "check-dll-$1 1 1" >>"$summary"
    status=1
  fi
}

configure_and_build mingw32
check_dll mingw32 i386
configure_and_build mingw64
check_dll mingw64 x86-64

# run_wine_ctest PREFIX BUILD EXPECT_WIN64: brings the prefix up and runs the build's tests in
# it; a prefix that cannot be brought up counts as one failed test.
run_wine_ctest() {
  local name=$1 build=$2 expect=$3 label
  label="$(basename "$build")-$name"
  if ! wine_prefix_up "$name"; then
    echo "== $label: the Wine prefix did not come up"
    echo "$label 1 1" >>"$summary"
    return 1
  fi
  WINEPREFIX="$TIERLOCK_WINE_ROOT/$name" TIERLOCK_EXPECT_WIN64=$expect \
    run_ctest "$label" "$build"
}

# run_wine_corpus PREFIX BUILD: every input of the last-event fuzz corpus through the build's
# corpus runner, in a prefix run_wine_ctest brought up: no crash, every reference balanced.
# The runner stops between inputs after TIERLOCK_CORPUS_SECONDS; a hang is cut a minute later.
run_wine_corpus() {
  local name=$1 build=$2 label loader=wine seconds=${TIERLOCK_CORPUS_SECONDS:-60}
  label="$(basename "$build")-$name-corpus"
  [ "$(basename "$build")" = mingw64 ] && loader=/usr/lib/wine/wine64
  echo "== $label"
  if WINEPREFIX="$TIERLOCK_WINE_ROOT/$name" timeout -k 10 $((seconds + 60)) "$loader" \
    "$build/bin/last_event_corpus_runner.exe" --seconds "$seconds" fuzz/corpus/last_event \
    2>"$build/corpus-$name.log"; then
    echo "$label 1 0" >>"$summary"
  else
    tail -n 20 "$build/corpus-$name.log"
    echo "$label 1 1" >>"$summary"
    return 1
  fi
}

if kernel_runs_32bit; then
  echo "wine: $KERNEL_32BIT_REASON"
  for name in win32 win64; do
    expect=0
    [ $name = win64 ] && expect=1
    run_wine_ctest $name build/mingw32 $expect || status=1
    run_wine_corpus $name build/mingw32 || status=1
  done
else
  echo "wine: $KERNEL_32BIT_REASON; the PE32 runs are skipped"
  for name in win32 win64; do
    echo "mingw32-$name skipped 0" >>"$summary"
    echo "mingw32-$name-corpus skipped 0" >>"$summary"
  done
fi
run_wine_ctest win64only build/mingw64 1 || status=1
run_wine_corpus win64only build/mingw64 || status=1

passed=0 failed=0 skipped=0
while read -r label total bad; do
  if [ "$total" = skipped ]; then
    echo "  $label: skipped (${KERNEL_32BIT_REASON%% (*})"
    skipped=$((skipped + 1))
    continue
  fi
  echo "  $label: $((total - bad)) of $total passed"
  passed=$((passed + total - bad))
  failed=$((failed + bad))
done <"$summary"
echo "tests: $passed passed, $failed failed, $skipped skipped"
exit $status
