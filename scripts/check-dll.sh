#!/usr/bin/env bash
# Checks a shipped DLL as the host's loader and an integrator see it: PE32 for i386 (or, with
# x86-64, the 64-bit build), exactly the plug-in and compatibility exports by name, imports from
# Windows system DLLs only (the runtimes are static), stripped with a debug link to the debug
# file beside it, no link time stamp, and a version resource with the release version from
# CMakeLists.txt and the original file name tierlock.dll.
#   scripts/check-dll.sh [DLL [i386|x86-64]]
set -euo pipefail
dll=${1:-build/mingw32/bin/tierlock.dll}
machine=${2:-i386}
fail() { echo "check-dll: $*" >&2; exit 1; }

case $machine in
  i386) triple=i686-w64-mingw32 magic='010b.*\(PE32\)' format=pei-i386 ;;
  x86-64) triple=x86_64-w64-mingw32 magic='020b.*\(PE32\+\)' format=pei-x86-64 ;;
  *) fail "machine is i386 or x86-64, not $machine" ;;
esac
dump=$($triple-objdump -p "$dll" 2>/dev/null) || fail "$dll is not a $format file"
grep -qE "^Magic.*$magic" <<<"$dump" || fail "$dll is not $format"
$triple-objdump -f "$dll" | grep -q "file format $format\$" || fail "$dll is not $format"

exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' <<<"$dump" |
  LC_ALL=C sort | tr '\n' ' ')
expected="CreatePlugObjectV2 ReleasePlugObjectV2 _Compatible_GetNamedPipeClientProcessId@8 "
expected+="_Compatible_GetTickCount64@0 _Compatible_InitializeCriticalSectionEx@12 "
expected+="_Compatible_RegDeleteKeyExW@16 _Compatible_RegDeleteKeyValueW@12 "
[ "$exports" = "$expected" ] || fail "exports are '$exports', expected '$expected'"

allowed='^(KERNEL32|msvcrt|SHLWAPI|ADVAPI32|ntdll)\.dll$'
while read -r name; do
  grep -qiE "$allowed" <<<"$name" || fail "imports $name, which is not a Windows system DLL"
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$dump")

# Stripped: no debug sections, no symbol table; the debug link names the debug file beside it.
sections=$($triple-objdump -h "$dll")
! grep -q ' \.debug_' <<<"$sections" || fail "$dll still holds debug sections"
! $triple-objdump -f "$dll" | grep -q HAS_SYMS || fail "$dll still holds a symbol table"
grep -q ' \.gnu_debuglink ' <<<"$sections" || fail "$dll has no debug link"
# The link is the file name up to its NUL, then padding and a CRC; objdump shows it in hex.
link=$($triple-objdump -s -j .gnu_debuglink "$dll" |
  awk '/^ [0-9a-f]+ / { hex = hex substr($0, length($1) + 3, 35) }
       END { gsub(/ /, "", hex)
             for (i = 1; i < length(hex); i += 2) {
               high = index("0123456789abcdef", substr(hex, i, 1))
               byte = high * 16 - 17 + index("0123456789abcdef", substr(hex, i + 1, 1))
               if (byte == 0) break
               printf "%c", byte } }')
[ "$link" = "$(basename "$dll").debug" ] || fail "the debug link names '$link', not $(basename "$dll").debug"
[ -f "$dll.debug" ] || fail "$dll.debug, the debug file, is missing"
$triple-objdump -h "$dll.debug" | grep -q ' \.debug_info ' || fail "$dll.debug holds no debug information"

# The PE header's time stamp (4 bytes at 8 past the header, whose offset is at 0x3c) is 0.
header=$(od -An -tu4 -j60 -N4 "$dll" | tr -d ' ')
stamp=$(od -An -tu4 -j$((header + 8)) -N4 "$dll" | tr -d ' ')
[ "$stamp" = 0 ] || fail "$dll carries the link time stamp $stamp"

version=$(sed -nE 's/^project\(tierlock VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' \
  "$(dirname "$0")/../CMakeLists.txt")
[ -n "$version" ] || fail "no release version in CMakeLists.txt"
resource=$($triple-windres -i "$dll" -O rc 2>&1) || fail "$dll has no readable resources: $resource"
for line in "FILEVERSION ${version//./, }, 0" "PRODUCTVERSION ${version//./, }, 0" "FILETYPE 0x2" \
  "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
  "VALUE \"OriginalFilename\", \"tierlock.dll\"" "VALUE \"FileDescription\", \"tierlock rule plug-in\""; do
  grep -qF "$line" <<<"$resource" || fail "the version resource of $dll lacks '$line'"
done
echo "check-dll: $dll exports $exports imports only Windows system DLLs, is stripped with a" \
  "debug link to $(basename "$dll").debug, has no time stamp and carries version $version"
