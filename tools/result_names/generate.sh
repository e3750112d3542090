#!/usr/bin/env bash
# Regenerates the result-name table from the SDK headers of mingw-w64
# (Debian packages mingw-w64-i686-dev and gcc-mingw-w64-i686).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exec python3 "$here/generate.py" --output "$root/tessarine/frame/result_names_table.cpp" "$@"
