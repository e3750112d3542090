#!/usr/bin/env bash
# Conversion benchmark (not part of CI): velmora decode, dmrender, fluidsynth
# and timidity on the same files and SoundFont in one run. Prints a table of
# wall seconds, CPU seconds per second of music (silent tails left out), peak
# memory and time to the first block, and writes it to bench/RESULTS.table.
#
#   ./bench.sh [BUILD_DIR]        (default: build)
set -euo pipefail
cd "$(dirname "$0")"
BUILD=${1:-build}
# FluidR3 (fluid-soundfont-gm), named outright: installing timidity may move
# the system's default-GM link, and every program must read the same file.
SF2=${TESSARINE_SOUNDFONT:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
SONG=/usr/share/planetblupi/music/music005.mid
# Set BENCH_REALTIME=0 to leave out the ten-minute decode at real time.
REALTIME=${BENCH_REALTIME:-1}

need=()
[ -f "$SONG" ] || need+=(planetblupi-music-midi)
command -v timidity >/dev/null || need+=(timidity)
command -v fluidsynth >/dev/null || need+=(fluidsynth)
[ -x /usr/bin/time ] || need+=(time)
[ -f "$SF2" ] || need+=(fluid-soundfont-gm)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

export TESSARINE_SOUNDFONT="$SF2"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# Every melodic program and the drum kit in turn.
python3 bench/level/make_dense_midi.py "$WORK" >/dev/null
SHORT="$WORK/all-sounds.mid"
OUT=bench/RESULTS.table
: > "$OUT"

# run NAME OUTFILE COMMAND...: wall, CPU, peak RSS, first block, music seconds
run() {
  local name=$1 out=$2; shift 2
  rm -f "$out"
  python3 bench/measure.py "$out" "$WORK/time" -- /usr/bin/time -f "%e %U %S %M" -o "$WORK/time" "$@" \
    | sed "s|^|$name |" | tee -a "$OUT"
}

printf '%-34s %-14s %8s %10s %8s %9s %7s\n' command file wall_s cpu_per_s rss_MB first_ms music_s | tee -a "$OUT"
for file in "$SONG" "$SHORT"; do
  base=$(basename "$file")
  velmora="$BUILD/bin/velmora"
  if "$velmora" decode --help >/dev/null 2>&1; then
    run "velmora-decode-max    $base" "$WORK/v.wav" "$velmora" decode "$file" -o "$WORK/v.wav" --speed max
    # With reverb and chorus, as fluidsynth renders at its defaults.
    run "velmora-decode-max-fx $base" "$WORK/vfx.wav" "$velmora" decode "$file" -o "$WORK/vfx.wav" --speed max \
      --set MIDIReverb=1 --set MIDIChorus=1
    run "velmora-decode-8      $base" "$WORK/v8.wav" "$velmora" decode "$file" -o "$WORK/v8.wav" --speed 8
  else
    echo "velmora decode is not built yet; skipped" | tee -a "$OUT"
  fi
  run "dmrender-max          $base" "$WORK/d.wav" "$BUILD/bin/dmrender" "$file" -o "$WORK/d.wav" --speed max
  for cores in 2; do
    TESSARINE_SYNTH_CORES=$cores run "dmrender-max-cores$cores   $base" "$WORK/d2.wav" \
      "$BUILD/bin/dmrender" "$file" -o "$WORK/d2.wav" --speed max
  done
  TESSARINE_SYNTH_DYNAMIC_SAMPLES=0 run "dmrender-max-static   $base" "$WORK/ds.wav" \
    "$BUILD/bin/dmrender" "$file" -o "$WORK/ds.wav" --speed max
  run "fluidsynth-ni-F       $base" "$WORK/f.wav" fluidsynth -ni -F "$WORK/f.wav" -r 44100 "$SF2" "$file"
  run "fluidsynth-ni-F-dyn   $base" "$WORK/fd.wav" fluidsynth -ni -o synth.dynamic-sample-loading=1 -F "$WORK/fd.wav" -r 44100 "$SF2" "$file"
  run "timidity-Ow           $base" "$WORK/t.wav" timidity -Ow -o "$WORK/t.wav" -x "soundfont $SF2" "$file"
  # Envelopes frame by frame: the max decode against the one at speed 8 and
  # (for the long song) at real time, static samples against dynamic, and
  # the platform against fluidsynth's own player.
  compare() { python3 bench/measure.py --compare "$2" "$3" | sed "s|^|envelope $1 $base |" | tee -a "$OUT"; }
  if [ -f "$WORK/v.wav" ]; then
    compare velmora-max/velmora-8 "$WORK/v8.wav" "$WORK/v.wav"
    if [ "$REALTIME" = 1 ] && [ "$file" = "$SONG" ]; then
      run "velmora-decode-1      $base" "$WORK/v1.wav" "$velmora" decode "$file" -o "$WORK/v1.wav" --speed 1
      compare velmora-max/velmora-1 "$WORK/v1.wav" "$WORK/v.wav"
    fi
  fi
  compare dmrender-static/dynamic "$WORK/ds.wav" "$WORK/d.wav"
  compare dmrender-max/fluidsynth "$WORK/f.wav" "$WORK/d.wav"
done
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), SoundFont $(readlink -f "$SF2")" | tee -a "$OUT"
