#!/usr/bin/env bash
# Checks the Windows DLL: a 32-bit PE whose only export is the undecorated
# velmora_get_interface and which imports nothing but system DLLs and the
# host's velmora_utf8.dll.
set -euo pipefail
dll=${1:?usage: check-windows-dll.sh tessarine.dll}
dump=$(i686-w64-mingw32-objdump -p "$dll")

grep -q '^Magic[[:space:]]*010b' <<<"$dump" || { echo "$dll: not a 32-bit PE image"; exit 1; }

exports=$(echo "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1; next} t && /^\t\[/{print $NF; next} t && !/^\t/{t=0}')
if [ "$exports" != "velmora_get_interface" ]; then
  echo "$dll: exports must be exactly velmora_get_interface, found:"; echo "$exports"; exit 1
fi

allowed='^(kernel32|user32|ole32|oleaut32|winmm|dsound|comctl32|advapi32|msvcrt|shell32|gdi32|comdlg32|velmora_utf8)\.dll$'
imports=$(echo "$dump" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
bad=$(echo "$imports" | grep -v -E "$allowed" || true)
if [ -n "$bad" ]; then
  echo "$dll: imports DLLs that a player's machine may lack:"; echo "$bad"; exit 1
fi
echo "$dll: exports velmora_get_interface only; imports $(echo $imports)"
