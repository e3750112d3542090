#!/usr/bin/env bash
# Runs the Windows build's velmora.exe (tessarine.dll on Wine's DirectMusic)
# with the arguments as given, as the Linux velmora would run:
#
#   scripts/wine-velmora.sh info examples/morning_walk.mid
#   scripts/wine-velmora.sh decode /music/song.mid -o /tmp/song.wav
#
# Files are named by this machine's paths, relative or absolute: their
# folders are made reachable inside the Wine root at the same paths.
# The Windows build (build-win, or TESSARINE_WIN_BIN) and the Wine root
# (made by scripts/wine-check.sh) must exist. Runs as root (chroot).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-common.sh"
wine_bin=$(realpath -m "${TESSARINE_WIN_BIN:-$here/../build-win/bin}")
[ "$(id -u)" = 0 ] || { wine_say "runs as root (it uses chroot)"; exit 2; }
[ -e "$wine_bin/velmora.exe" ] || { wine_say "no $wine_bin/velmora.exe: build the Windows targets first"; exit 2; }
wine_root_ready || { wine_say "no Wine root at $wine_root: scripts/wine-check.sh makes it"; exit 2; }
wine_run_velmora "$@"
