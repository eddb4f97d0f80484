# Sourced by the test scripts: a quiet, headless Wine with two prefixes kept in the build tree.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
TIERLOCK_WINE_ROOT="${TIERLOCK_WINE_ROOT:-$PWD/build/wine}"

# wine_prefix_up ARCH: creates the prefix once, then starts a persistent server and the
# services with their output detached (otherwise ctest waits on the pipes they inherit).
wine_prefix_up() {
  local arch=$1
  local prefix="$TIERLOCK_WINE_ROOT/$arch"
  local loader=wine
  [ "$arch" = win64 ] && loader=/usr/lib/wine/wine64
  mkdir -p "$TIERLOCK_WINE_ROOT"
  if [ ! -f "$prefix/system.reg" ]; then
    WINEPREFIX="$prefix" WINEARCH="$arch" wineboot -i </dev/null >/dev/null 2>&1
  fi
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -p
  WINEPREFIX="$prefix" WINEARCH="$arch" "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_prefixes_down() {
  local arch
  for arch in win32 win64; do
    [ -d "$TIERLOCK_WINE_ROOT/$arch" ] &&
      WINEPREFIX="$TIERLOCK_WINE_ROOT/$arch" wineserver -k >/dev/null 2>&1 || true
  done
}
