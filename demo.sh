#!/usr/bin/env bash
# Sets up and builds tessarine, then runs the host's main job.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh

velmora=build/bin/velmora
export VELMORA_CONFIG="$PWD/build/demo/tessarine.cfg"
mkdir -p build/demo
rm -f "$VELMORA_CONFIG"

echo "== velmora about"
"$velmora" about

echo
echo "== settings on a fresh configuration"
"$velmora" config list

echo
echo "== velmora config set MIDIReverb 1   (the host saves the settings at exit)"
"$velmora" config set MIDIReverb 1
echo "== a new host process loads them again: velmora config get MIDIReverb"
"$velmora" config get MIDIReverb
echo "== settings file: $VELMORA_CONFIG"
od -A d -t x1 "$VELMORA_CONFIG" | head -5

echo
echo "== the platform plays the bundled example: dmrender examples/morning_walk.mid"
build/bin/dmrender examples/morning_walk.mid -o build/demo/morning_walk.wav
ls -l build/demo/morning_walk.wav

echo
echo "== velmora info: each bundled example's length and tags"
velmora_info_files=(examples/morning_walk.mid examples/morning_walk.rmi examples/morning_walk.sgt examples/morning_walk.xmi)
"$velmora" info "${velmora_info_files[@]}"

echo
echo "== velmora decode: each example to audio through the component"
for song in "${velmora_info_files[@]}"; do
    name=$(basename "$song")
    case "$name" in
        *.mid) out="build/demo/${name%.*}-mid.wav" ;;
        *.rmi) out="build/demo/${name%.*}-rmi.flac" ;;
        *.sgt) out="build/demo/${name%.*}-sgt.ogg" ;;
        *) out="build/demo/${name%.*}-xmi.wav" ;;
    esac
    "$velmora" decode "$song" -o "$out"
done
ls -l build/demo/morning_walk-*
