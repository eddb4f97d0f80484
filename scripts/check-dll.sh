#!/usr/bin/env bash
# Checks the shipped DLL as the host's loader sees it: PE32 for i386, exactly the plug-in and
# compatibility exports by name, and imports from Windows system DLLs only (the runtimes are
# static).
set -euo pipefail
dll=${1:-build/mingw32/bin/tierlock.dll}
dump=$(i686-w64-mingw32-objdump -p "$dll")
fail() { echo "check-dll: $*" >&2; exit 1; }

grep -q '^Magic.*010b.*(PE32)' <<<"$dump" || fail "$dll is not PE32"
i686-w64-mingw32-objdump -f "$dll" | grep -q 'file format pei-i386' || fail "$dll is not i386"

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
echo "check-dll: $dll exports $exports and imports only Windows system DLLs"
