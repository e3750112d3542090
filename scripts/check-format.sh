#!/usr/bin/env bash
# Checks that every C++ file of the tree follows .clang-format, or with --fix
# formats them. The generated result-name table is left as its generator
# writes it.
set -euo pipefail
cd "$(dirname "$0")/.."
format=${CLANG_FORMAT:-clang-format}
command -v "$format" > /dev/null || { echo "check-format: $format is not installed" >&2; exit 2; }
mapfile -t files < <(find bench host midi platform sdk tessarine tests tools \( -name '*.cpp' -o -name '*.h' \) | grep -v '^tessarine/frame/result_names_table\.cpp$' | sort)
if [ "${1:-}" = --fix ]; then
  "$format" -i "${files[@]}"
else
  "$format" --dry-run --Werror "${files[@]}"
fi
