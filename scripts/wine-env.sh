# Sourced by the test scripts: a quiet, headless Wine with its prefixes kept in the build tree.
#   win32      32-bit prefix, runs the PE32 build (needs a kernel that runs 32-bit code)
#   win64      64-bit prefix, runs the PE32 build under WOW64 (needs the same)
#   win64only  64-bit prefix, runs the x86-64 build with wine64 alone (works on every kernel)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
TIERLOCK_WINE_ROOT="${TIERLOCK_WINE_ROOT:-$PWD/build/wine}"
TIERLOCK_WINE_PREFIXES="win32 win64 win64only"
# Creating a prefix takes about 10 s; anything near these limits is a prefix that will never come up.
TIERLOCK_WINEBOOT_SECONDS="${TIERLOCK_WINEBOOT_SECONDS:-180}"
TIERLOCK_WINE_START_SECONDS="${TIERLOCK_WINE_START_SECONDS:-60}"

# kernel_runs_32bit: succeeds when this kernel starts 32-bit Linux programs (Wine's 32-bit
# loader is one, and both the 32-bit prefix and WOW64 need it). Sets KERNEL_32BIT_REASON to
# one line that says what was found.
kernel_runs_32bit() {
  local probe=/usr/lib/wine/wine
  [ -x "$probe" ] || probe=/lib/ld-linux.so.2
  if timeout 10 "$probe" --version </dev/null >/dev/null 2>&1; then
    KERNEL_32BIT_REASON="this kernel runs 32-bit code ($probe --version answered)"
    return 0
  fi
  KERNEL_32BIT_REASON="this kernel runs no 32-bit code ($probe --version does not start)"
  return 1
}

# wine_loader PREFIX: the loader that runs the prefix's own 64-bit built-ins.
wine_loader() {
  case $1 in
    win32) echo /usr/lib/wine/wine ;;
    *) echo /usr/lib/wine/wine64 ;;
  esac
}

# wine_prefix_up PREFIX: creates the prefix once, then starts a persistent server and the
# services with their output detached (otherwise ctest waits on the pipes they inherit).
# Every Wine start runs under a time limit; on failure it prints why and answers non-zero.
wine_prefix_up() {
  local name=$1
  local prefix="$TIERLOCK_WINE_ROOT/$name"
  local loader arch=win64 rc
  loader=$(wine_loader "$name")
  [ "$name" = win32 ] && arch=win32
  mkdir -p "$TIERLOCK_WINE_ROOT"
  if [ ! -f "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    set +e
    WINEPREFIX="$prefix" WINEARCH="$arch" timeout -k 10 "$TIERLOCK_WINEBOOT_SECONDS" \
      "$loader" wineboot -i </dev/null >"$TIERLOCK_WINE_ROOT/$name-wineboot.log" 2>&1
    rc=$?
    # The server writes the registry out only when it ends.
    WINEPREFIX="$prefix" timeout 60 wineserver -w >/dev/null 2>&1
    set -e
    if [ ! -f "$prefix/system.reg" ]; then
      [ $rc -eq 124 ] && rc="timed out after ${TIERLOCK_WINEBOOT_SECONDS}s" || rc="exit status $rc"
      echo "wine: prefix $name could not be created: wineboot $rc (see $TIERLOCK_WINE_ROOT/$name-wineboot.log)" >&2
      WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
      rm -rf "$prefix"
      return 1
    fi
  fi
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" timeout 30 wineserver -w >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -p
  set +e
  WINEPREFIX="$prefix" WINEARCH="$arch" timeout -k 10 "$TIERLOCK_WINE_START_SECONDS" \
    "$loader" cmd /c exit </dev/null >/dev/null 2>&1
  rc=$?
  set -e
  if [ $rc -ne 0 ]; then
    [ $rc -eq 124 ] && rc="timed out after ${TIERLOCK_WINE_START_SECONDS}s" || rc="exit status $rc"
    echo "wine: prefix $name did not start: $loader cmd /c exit: $rc" >&2
    return 1
  fi
}

wine_prefixes_down() {
  local name
  for name in $TIERLOCK_WINE_PREFIXES; do
    [ -d "$TIERLOCK_WINE_ROOT/$name" ] &&
      WINEPREFIX="$TIERLOCK_WINE_ROOT/$name" wineserver -k >/dev/null 2>&1 || true
  done
}
