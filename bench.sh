#!/usr/bin/env bash
# Conversion benchmark (not part of CI): velmora decode against fluidsynth -F
# with the same SoundFont and the same effects on both sides (reverb and
# chorus both off, then both on), per file, and for a collection, the ten
# songs of Debian's planetblupi-music-midi: velmora --jobs 1 and --jobs 2
# against fluidsynth one file after another and two at a time under GNU
# parallel. Prints a table of wall seconds (median of the runs, with the
# fastest and slowest) and writes it to bench/RESULTS.table.
#
#   ./bench.sh [BUILD_DIR]        (default: build)
#   BENCH_RUNS=3                  runs of each single-file command
#   BENCH_COLLECTION_RUNS=1       runs of each collection command (the ten
#                                 songs hold 2 h 43 min of music)
#   BENCH_COLLECTION=0            leaves the collection out
#   BENCH_FILES=0                 leaves the single files out
set -euo pipefail
cd "$(dirname "$0")"
BUILD=${1:-build}
RUNS=${BENCH_RUNS:-3}
COLLECTION_RUNS=${BENCH_COLLECTION_RUNS:-1}
COLLECTION=${BENCH_COLLECTION:-1}
FILES=${BENCH_FILES:-1}
# TimGM6mb (timgm6mb-soundfont), named outright so both sides read one file.
SF2=${TESSARINE_SOUNDFONT:-/usr/share/sounds/sf2/TimGM6mb.sf2}
BLUPI=/usr/share/planetblupi/music

need=()
[ -f "$BLUPI/music005.mid" ] || need+=(planetblupi-music-midi)
command -v fluidsynth >/dev/null || need+=(fluidsynth)
command -v parallel >/dev/null || need+=(parallel)
[ -f "$SF2" ] || need+=(timgm6mb-soundfont)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

export TESSARINE_SOUNDFONT="$SF2"
VELMORA="$BUILD/bin/velmora"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
python3 bench/level/make_dense_midi.py "$WORK" >/dev/null   # all-sounds.mid: every program and the drums
python3 bench/make_piano_midi.py "$WORK" >/dev/null         # solo-piano.mid: one piano, few voices
OUT=bench/RESULTS.table
: > "$OUT"

fx_args() {  # velmora's --set for effects on (1) or off (0)
  echo "--set MIDIReverb=$1 --set MIDIChorus=$1"
}

# timed NAME RUNS COMMAND...: the command RUNS times; prints NAME, the
# median, fastest and slowest wall seconds, and keeps the median in $median.
timed() {
  local name=$1 runs=$2; shift 2
  local times=()
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>>"$WORK/errors" || { echo "$name failed (see below)"; cat "$WORK/errors"; exit 1; }
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
  done
  read -r median fastest slowest < <(printf '%s\n' "${times[@]}" | sort -g |
    awk '{t[NR]=$1} END {m = NR % 2 ? t[(NR+1)/2] : (t[NR/2] + t[NR/2+1]) / 2; printf "%.2f %.2f %.2f\n", m, t[1], t[NR]}')
  printf '%-44s %9s %9s %9s\n' "$name" "$median" "$fastest" "$slowest" | tee -a "$OUT"
}

ratio() {  # NAME A B: A/B
  printf '%-44s %9.2f\n' "$1" "$(echo "$2 / $3" | bc -l)" | tee -a "$OUT"
}

printf '%-44s %9s %9s %9s\n' command median_s fastest_s slowest_s | tee -a "$OUT"
files=()
[ "$FILES" = 1 ] && files=("$BLUPI/music005.mid" "$WORK/all-sounds.mid" "$WORK/solo-piano.mid")
for file in "${files[@]}"; do
  base=$(basename "$file")
  for fx in 0 1; do
    label=$([ $fx = 1 ] && echo "effects on" || echo "effects off")
    # shellcheck disable=SC2046
    timed "velmora decode      $base, $label" "$RUNS" "$VELMORA" decode "$file" -o "$WORK/v.wav" $(fx_args $fx)
    v=$median
    timed "fluidsynth -F       $base, $label" "$RUNS" fluidsynth -ni -R $fx -C $fx -F "$WORK/f.wav" -r 44100 "$SF2" "$file"
    ratio "  fluidsynth / velmora (wall)" "$median" "$v"
  done
done

if [ "$COLLECTION" = 1 ]; then
  songs=("$BLUPI"/music00*.mid)
  seconds=$("$VELMORA" info "${songs[@]}" | awk -F= '/^length=/ {s += $2} END {printf "%.0f", s}')
  echo "collection: ${#songs[@]} songs, $seconds s of music, effects off" | tee -a "$OUT"
  fluid_one() { fluidsynth -ni -R 0 -C 0 -F "$WORK/fluid/$(basename "$1" .mid).wav" -r 44100 "$SF2" "$1"; }
  export -f fluid_one
  export WORK SF2
  mkdir -p "$WORK/fluid"
  # One job has the synthesizer's two threads; one thread is one core's worth.
  # shellcheck disable=SC2046
  timed "velmora decode --jobs 1  (ten songs)" "$COLLECTION_RUNS" "$VELMORA" decode "${songs[@]}" -o "$WORK/v1/" --jobs 1 $(fx_args 0)
  one=$median
  # shellcheck disable=SC2046
  timed "velmora decode --jobs 1, 1 synth thread" "$COLLECTION_RUNS" env TESSARINE_SYNTH_CORES=1 "$VELMORA" decode "${songs[@]}" -o "$WORK/v1s/" --jobs 1 $(fx_args 0)
  single=$median
  # shellcheck disable=SC2046
  timed "velmora decode --jobs 2  (ten songs)" "$COLLECTION_RUNS" "$VELMORA" decode "${songs[@]}" -o "$WORK/v2/" --jobs 2 $(fx_args 0)
  two=$median
  timed "fluidsynth -F, one after another" "$COLLECTION_RUNS" bash -c 'for f; do fluid_one "$f"; done' _ "${songs[@]}"
  serial=$median
  timed "fluidsynth -F, parallel -j 2" "$COLLECTION_RUNS" env SHELL=/bin/bash parallel -j 2 fluid_one ::: "${songs[@]}"
  par=$median
  ratio "  velmora --jobs 1 / --jobs 2" "$one" "$two"
  ratio "  velmora --jobs 1, 1 thread / --jobs 2" "$single" "$two"
  ratio "  fluidsynth one by one / velmora --jobs 2" "$serial" "$two"
  ratio "  fluidsynth parallel -j 2 / velmora --jobs 2" "$par" "$two"
fi
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), load at the end $(cut -d' ' -f1-3 /proc/loadavg), SoundFont $(readlink -f "$SF2"), $(fluidsynth --version 2>/dev/null | head -1)" | tee -a "$OUT"
