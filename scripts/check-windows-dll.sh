#!/usr/bin/env bash
# Checks the Windows build: tessarine.dll is a 32-bit PE whose only export
# is the undecorated velmora_get_interface; velmora_utf8.dll beside it
# exports exactly the calls of sdk/velmora/velmora_utf8.def, undecorated; and
# they and velmora.exe import nothing but system DLLs and each other (the
# exe loads the component itself, so it does not import it).
set -euo pipefail
dll=${1:?usage: check-windows-dll.sh tessarine.dll}
folder=$(dirname "$dll")
def=$(cd "$(dirname "$0")/.." && pwd)/sdk/velmora/velmora_utf8.def
system='kernel32|user32|ole32|oleaut32|winmm|dsound|comctl32|advapi32|msvcrt|shell32|gdi32|comdlg32'

dump() { i686-w64-mingw32-objdump -p "$1"; }
exports() { awk '/\[Ordinal\/Name Pointer\] Table/{t=1; next} t && /^\t\[/{print $NF; next} t && !/^\t/{t=0}' | sort; }

# check FILE ALLOWED-EXTRA: a 32-bit PE importing only system DLLs and ALLOWED-EXTRA.
check_imports() {
  local file=$1 extra=$2 text imports bad
  text=$(dump "$file")
  grep -q '^Magic[[:space:]]*010b' <<<"$text" || { echo "$file: not a 32-bit PE image"; exit 1; }
  imports=$(echo "$text" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
  bad=$(echo "$imports" | grep -v -E "^(${system}${extra:+|$extra})\.dll\$" || true)
  if [ -n "$bad" ]; then
    echo "$file: imports DLLs that a player's machine may lack:"; echo "$bad"; exit 1
  fi
  echo "$file: imports $(echo $imports)"
}

exports=$(dump "$dll" | exports)
if [ "$exports" != "velmora_get_interface" ]; then
  echo "$dll: exports must be exactly velmora_get_interface, found:"; echo "$exports"; exit 1
fi
check_imports "$dll" velmora_utf8
echo "$dll: exports velmora_get_interface only"

utf8="$folder/velmora_utf8.dll"
[ -f "$utf8" ] || { echo "$utf8: missing (the component imports it)"; exit 1; }
wanted=$(awk 'f && NF {print $1} /^EXPORTS/{f=1}' "$def" | sort)
found=$(dump "$utf8" | exports)
if [ "$found" != "$wanted" ]; then
  echo "$utf8: exports must be exactly those of velmora_utf8.def; differences (< wanted, > found):"
  diff <(echo "$wanted") <(echo "$found") || true
  exit 1
fi
check_imports "$utf8" ""
echo "$utf8: exports the $(echo "$wanted" | wc -l) calls of velmora_utf8.def"

exe="$folder/velmora.exe"
[ -f "$exe" ] || { echo "$exe: missing"; exit 1; }
check_imports "$exe" velmora_utf8
