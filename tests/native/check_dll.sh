#!/usr/bin/env bash
# avfile.dll is what a Windows host can load: exactly the exports of
# src/plugin/avfile.map, undecorated, and imports of system DLLs only (the
# C++ runtime, libgcc and winpthreads are inside it).
#   tests/native/check_dll.sh PATH/avfile.dll
# Exits 0 when it holds, 1 naming what is wrong, 2 on bad use.
set -euo pipefail
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "usage: $0 PATH/avfile.dll" >&2
  exit 2
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
dump=$(i686-w64-mingw32-objdump -p "$1")

fail() {
  echo "check_dll: FAIL: $*" >&2
  exit 1
}

# The export table's name list, one name a line.
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)
expected=$(grep -o 'AVFILE_[A-Za-z0-9_]*' "$root/src/plugin/avfile.map" | sort)
if [ "$exports" != "$expected" ]; then
  echo "exported, not in avfile.map: $(comm -23 <(echo "$exports") <(echo "$expected") | tr '\n' ' ')" >&2
  echo "in avfile.map, not exported: $(comm -13 <(echo "$exports") <(echo "$expected") | tr '\n' ' ')" >&2
  fail "$1: its exports are not those of avfile.map"
fi
[ "$(wc -l <<<"$exports")" -eq 53 ] || fail "$1: it exports $(wc -l <<<"$exports") names, not 53"

# Windows' own DLLs, which every Windows has.
system='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|COMCTL32|COMDLG32|OLE32|OLEAUT32|WINDOWSCODECS|MSVCRT|NTDLL|WINMM|VERSION|SHLWAPI)\.DLL$'
while read -r name; do
  [[ ${name^^} =~ $system ]] || fail "$1: it imports $name, which is not a system DLL"
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")

echo "check_dll: $1 exports the 53 names of avfile.map and imports only system DLLs"
