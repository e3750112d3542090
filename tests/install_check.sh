#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs the installed host from
# there, away from the build tree: it must find its component and libraries.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
for file in bin/velmora bin/dmrender lib/libtessarine.so lib/libplatform.so lib/libvelmora_utf8.so share/man/man1/velmora.1; do
  [ -e "$prefix/$file" ] || { echo "missing after install: $file"; exit 1; }
done
cd /
out=$(VELMORA_CONFIG="$prefix/settings.cfg" "$prefix/bin/velmora" about)
grep -q 'tessarine' <<< "$out" || { echo "installed velmora about printed:"; echo "$out"; exit 1; }
grep -q '^\.TH VELMORA 1' "$prefix/share/man/man1/velmora.1"
