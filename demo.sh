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
