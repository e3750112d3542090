#!/bin/sh
# Decodes dense General MIDI files, the shared test files and the bundled
# example with velmora and prints each one's peak and RMS level in dBFS.
#   bench/level/measure_level.sh BUILD-FOLDER [GAIN]
# GAIN, when given, is passed as TESSARINE_GAIN.
set -eu
build=${1:?usage: measure_level.sh BUILD-FOLDER [GAIN]}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
[ $# -ge 2 ] && export TESSARINE_GAIN="$2"
export VELMORA_CONFIG="$work/velmora.cfg"
python3 "$here/make_dense_midi.py" "$work"
printf '%-32s %9s %9s\n' file "peak dBFS" "RMS dBFS"
for song in "$work/all-sounds.mid" "$work/tutti.mid" "$source_dir/examples/morning_walk.mid" \
    "$source_dir/../shared/testdata/midi/test-karaoke-kar.mid" \
    "$source_dir/../shared/testdata/midi/test-2-tracks-type-2.mid"; do
    [ -f "$song" ] || continue
    "$build/bin/velmora" decode "$song" -o "$work/out.wav" 2>/dev/null
    python3 - "$work/out.wav" "$(basename "$song")" <<'PY'
import array, math, sys, wave
w = wave.open(sys.argv[1])
samples = array.array("h", w.readframes(w.getnframes()))
peak = max(1, max(abs(s) for s in samples))
rms = math.sqrt(sum(s * s for s in samples) / max(1, len(samples))) or 1
clipped = sum(1 for s in samples if s in (32767, -32768))
print("%-32s %9.2f %9.2f%s" % (sys.argv[2], 20 * math.log10(peak / 32768), 20 * math.log10(rms / 32768),
                                "  (%d samples clipped)" % clipped if clipped else ""))
PY
done
