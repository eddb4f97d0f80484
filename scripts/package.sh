#!/usr/bin/env bash
# Builds the Windows release and writes dist/tierlock-VERSION-windows.zip: the stripped PE32
# tierlock.dll and the host tool, the x86-64 build of both in x64/, each DLL's debug file (the
# DLL's debug link names it), the examples with both JSON schemas, the README and SHA256SUMS.
# The same commit gives the same archive, byte for byte, in any folder: the binaries carry no
# time stamp or build path, and every entry has a fixed time, fixed permissions and sorted order.
# Prints the archive's path and the DLLs' sizes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

version=$(sed -nE 's/^project\(tierlock VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no release version in CMakeLists.txt" >&2; exit 1; }
name=tierlock-$version
archive=dist/$name-windows.zip

for preset in mingw32 mingw64; do
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j"$(nproc)" --target tierlock tierlock-host >/dev/null
done
bash scripts/check-dll.sh build/mingw32/bin/tierlock.dll i386 >/dev/null
bash scripts/check-dll.sh build/mingw64/bin/tierlock.dll x86-64 >/dev/null

stage=build/package
rm -rf "$stage"
mkdir -p "$stage/$name/x64"
cp build/mingw32/bin/{tierlock.dll,tierlock.dll.debug,tierlock-host.exe} "$stage/$name/"
cp build/mingw64/bin/{tierlock.dll,tierlock.dll.debug,tierlock-host.exe} "$stage/$name/x64/"
cp -r examples "$stage/$name/examples"
cp README.md "$stage/$name/"
(cd "$stage/$name" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)

# Entries carry the commit's time (or SOURCE_DATE_EPOCH), not the time of this run.
stamp=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$stamp" {} +
mkdir -p dist
rm -f "$archive"
# -X: no owner or extra time fields; -D: no folder entries; names sorted bytewise.
(cd "$stage" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q -@ "$OLDPWD/$archive")

echo "$archive ($(stat -c %s "$archive") bytes)"
for dll in tierlock.dll x64/tierlock.dll; do
  printf '  %-26s %8s bytes, debug file %9s bytes\n' "$name/$dll" \
    "$(stat -c %s "$stage/$name/$dll")" "$(stat -c %s "$stage/$name/$dll.debug")"
done
