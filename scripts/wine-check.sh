#!/usr/bin/env bash
# Checks the real Windows build on Wine's DirectMusic against the Linux
# build: makes (once) the i386 Wine root, builds the Windows targets and the
# Linux host, checks the DLLs, then runs velmora.exe under Wine on the
# bundled examples and compares what it gives with what the Linux velmora
# gives. One PASS/FAIL line a check, then a summary; exit 1 when any failed.
#
#   scripts/wine-check.sh            (also: ./test.sh --wine)
#
# TESSARINE_WINE_ROOT names the root (see scripts/wine-common.sh). Runs as
# root. Every process it starts ends with it, and everything it mounts is
# in mount namespaces that end with their processes, also when interrupted.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
project=$(cd "$here/.." && pwd)
source "$here/wine-common.sh"
cd "$project"
wine_bin=$project/build-win/bin
linux=$project/build/bin/velmora
notes=$here/wav_notes.py
work=$(mktemp -d "${TMPDIR:-/tmp}/wine-check.XXXXXX")
started=$SECONDS
results=()
cleanup() {
  # Runs end their own wineserver and sound device; this catches what an
  # interrupt left between the two.
  pkill -f "$wine_root/" 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

result() { results+=("$1"); echo "$1"; }
pass_if() { if eval "$2"; then result "PASS $1"; else result "FAIL $1${3:+: $3}"; fi; }
# A check that fails where Wine's DirectMusic showed one of its own known
# faults is reported as WINE with the fault, not as a failure of ours:
# name, test, the test that finds Wine's fault, the fault, then what a
# failure shows.
check_or_wine() {
  if eval "$2"; then
    result "PASS $1"
  elif eval "$3"; then
    result "WINE $1: $4"
  else
    result "FAIL $1${5:+: $5}"
  fi
}
# Wine's loader reads no RIFF RMID file (Windows' does).
unsupported_stream='DMUS_E_UNSUPPORTED_STREAM'
unsupported_reason="Wine's loader refuses the file (Loader->GetSegment: DMUS_E_UNSUPPORTED_STREAM)"
# Notes of the Linux decode against Wine's: name, the two WAVs, the seconds
# after the first note where Wine's tempo changes go wrong (empty: never),
# and the Wine run's log. The onsets and the keys are checked apart: Wine's
# synthesizer leaves out what it does not implement of some instruments
# ("Instrument extensions not implemented"), which changes which key of a
# chord sounds loudest.
compare_notes() {
  local name=$1 linux_wav=$2 wine_wav=$3 until=$4 log=$5 same status part=
  [ -n "$until" ] && part=" up to where Wine's tempo goes wrong"
  same=$("$py" "$notes" same-notes "$linux_wav" "$wine_wav" 30 $until)
  status=$?
  pass_if "$name: the Linux decode's onsets$part ($same)" "[ $status != 1 ]"
  [ "$status" = 1 ] && return
  check_or_wine "$name: the Linux decode's keys$part" "[ $status = 0 ]" "grep -q 'Instrument extensions not implemented' '$log'" \
    "Wine's synthesizer plays some instruments without their extensions (fixme: synth_download_instrument Instrument extensions not implemented): $same"
  [ -z "$until" ] && return
  same=$("$py" "$notes" same-notes "$linux_wav" "$wine_wav")
  status=$?
  check_or_wine "$name: the Linux decode's onsets after that ($same)" "[ $status != 1 ]" "grep -q 'start_time .* not implemented' '$log'" \
    "Wine places tempo changes by the performance's time, not the segment's (fixme: start_time not implemented)"
}
win() { wine_run_velmora "$@"; }

[ "$(id -u)" = 0 ] || { wine_say "runs as root (debootstrap, chroot, mounts)"; exit 2; }

echo "== the Wine root"
setup_started=$SECONDS
wine_make_root || exit 1
# Wine's default graphics driver wants a display; the null driver makes
# windows and dialogs without one.
wine_in_root sh -c 'wine reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f > /dev/null 2>&1; wineserver -w'
setup_seconds=$((SECONDS - setup_started))
root_size=$(du -shx "$wine_root" | cut -f1)

# The notes are compared in numpy; Debian's python3 has it from its package.
py=/usr/bin/python3
"$py" -c 'import numpy' 2> /dev/null || wine_install_on_machine python3-numpy || exit 1

echo "== builds"
build_started=$SECONDS
command -v i686-w64-mingw32-g++-posix > /dev/null || wine_install_on_machine g++-mingw-w64-i686 mingw-w64-i686-dev
[ -x "$linux" ] || ./scripts/setup.sh
ninja -C build velmora tessarine > "$work/build.log" 2>&1 || { tail -20 "$work/build.log"; exit 1; }
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  > "$work/build-win.log" 2>&1 && ninja -C build-win >> "$work/build-win.log" 2>&1 \
  || { tail -20 "$work/build-win.log"; exit 1; }
build_seconds=$((SECONDS - build_started))
pass_if "the DLLs' exports and imports" "scripts/check-windows-dll.sh build-win/bin/tessarine.dll > '$work/dll.log' 2>&1"

checks_started=$SECONDS
export VELMORA_CONFIG=$work/wine.cfg
linux_config=$work/linux.cfg

echo "== about and settings"
win about > "$work/about.wine" 2> "$work/about.err"
VELMORA_CONFIG=$linux_config "$linux" about > "$work/about.linux"
# The one line that differs by right: the component's own file name.
diff <(grep -v 'File name:' "$work/about.linux") <(grep -v 'File name:' "$work/about.wine") > "$work/about.diff"
pass_if "about gives the Linux registrations and texts" "[ ! -s '$work/about.diff' ]" "$(head -c 300 "$work/about.diff")"
win config set MIDIMasterVolume 42 > /dev/null 2>&1
pass_if "a config set is read back by the next process" \
  "[ \"\$(win config get MIDIMasterVolume 2> /dev/null | tr -d '\r')\" = 42 ]"
win config reset > /dev/null 2>&1

# The component's own diagnostic lines go to stderr, where a check that
# fails finds what DirectMusic answered.
win config set MIDILog 1 > /dev/null 2>&1
VELMORA_CONFIG=$linux_config "$linux" config set MIDILog 1 > /dev/null 2>&1

echo "== info"
for example in examples/morning_walk.{mid,rmi,sgt,xmi}; do
  name=${example##*.}
  win --verbose info "$example" 2> "$work/info-$name.err" | tr -d '\r' > "$work/info-$name.wine"
  VELMORA_CONFIG=$linux_config "$linux" info "$example" > "$work/info-$name.linux" 2> /dev/null
  wine_length=$(sed -n 's/^length=//p' "$work/info-$name.wine")
  linux_length=$(sed -n 's/^length=//p' "$work/info-$name.linux")
  check_or_wine "info $example: the Linux fields in the same order" \
    "[ -s '$work/info-$name.wine' ] && diff <(grep -v '^length=' '$work/info-$name.linux') <(grep -v '^length=' '$work/info-$name.wine') > /dev/null" \
    "grep -q $unsupported_stream '$work/info-$name.err'" "$unsupported_reason" \
    "$(grep -v ALSA "$work/info-$name.err" | tail -2 | tr '\n' ' ' | head -c 200)"
  check_or_wine "info $example: length within 1 ms (Linux $linux_length, Wine ${wine_length:-none})" \
    "[ -n '$wine_length' ] && awk 'BEGIN { d = $wine_length - $linux_length; exit !(d < 0.001 && d > -0.001) }'" \
    "grep -q $unsupported_stream '$work/info-$name.err'" "$unsupported_reason"
done

echo "== decode"
decode_pair() {  # name, then the decode's own arguments after the file
  local name=$1 example=$2; shift 2
  # Wine's DirectMusic names what it does not implement on its fixme
  # channel; the checks below read it to tell Wine's faults from ours.
  WINEDEBUG=-all,fixme+dmime,fixme+dmsynth${WINE_CHANNELS:+,$WINE_CHANNELS} timeout 300 bash -c 'source "$1/wine-common.sh"; wine_bin=$2; shift 2; wine_run_velmora "$@"' \
    decode "$here" "$wine_bin" --verbose decode "$example" -o "$work/$name.wine.wav" "$@" > "$work/$name.wine.log" 2>&1
  VELMORA_CONFIG=$linux_config "$linux" decode "$example" -o "$work/$name.linux.wav" "$@" > "$work/$name.linux.log" 2>&1
}
# Wine schedules a segment's notes from its start time but its tempo
# changes as if the segment started at the performance's time zero
# ("start_time ... not implemented"): every tempo change falls the start
# delay (about 1.1 s) early, in a MIDI file and a segment file alike. The
# notes are compared apart up to there: the examples change tempo first
# 14.4 s after their first note.
first_tempo_change() {  # the seconds from the first note to where Wine's tempo goes wrong
  # The XMI form has no tempo changes: its ticks are fixed to the clock.
  case $1 in *.xmi) echo "" ;; examples/morning_walk.*) echo 13.2 ;; *) echo "" ;; esac
}
for example in examples/morning_walk.{mid,rmi,sgt,xmi}; do
  name=${example##*.}
  decode_pair "$name" "$example"
  if [ ! -s "$work/$name.wine.wav" ]; then
    check_or_wine "decode $example" "false" "grep -q $unsupported_stream '$work/$name.wine.log'" "$unsupported_reason" \
      "$(grep -v ALSA "$work/$name.wine.log" | tail -1)"
    continue
  fi
  level=$($py "$notes" level "$work/$name.wine.wav")
  pass_if "decode $example: not silent, not clipping ($level)" \
    "$py -c 'import sys; l = sys.argv[1].split(); p = float(l[3].rstrip(\",\")); sys.exit(not (0.01 < p < 0.999))' '$level'"
  compare_notes "decode $example" "$work/$name.linux.wav" "$work/$name.wine.wav" "$(first_tempo_change "$example")" \
    "$work/$name.wine.log"
  wine_seconds=$($py "$notes" level "$work/$name.wine.wav" | cut -d' ' -f1)
  linux_seconds=$($py "$notes" level "$work/$name.linux.wav" | cut -d' ' -f1)
  pass_if "decode $example: length within one block (Linux $linux_seconds s, Wine $wine_seconds s)" \
    "awk 'BEGIN { d = $wine_seconds - $linux_seconds; exit !(d <= 1.0 && d >= -1.0) }'"
done
# Wine's performance traces the master volume it keeps; its synthesizer
# never applies it.
WINE_CHANNELS=trace+dmime decode_pair half examples/morning_walk.mid --set MIDIMasterVolume=50
decode_pair full examples/morning_walk.mid --set MIDIMasterVolume=100
if [ -s "$work/half.wine.wav" ] && [ -s "$work/full.wine.wav" ]; then
  ratio=$("$py" "$notes" rms-ratio "$work/full.wine.wav" "$work/half.wine.wav")
  check_or_wine "master volume 50 gives about half the RMS of 100 (ratio $ratio)" \
    "awk 'BEGIN { exit !($ratio > 0.4 && $ratio < 0.6) }'" \
    "grep -q 'MasterVolume set to -602' '$work/half.wine.log' && awk 'BEGIN { exit !($ratio > 0.98 && $ratio < 1.02) }'" \
    "Wine's performance keeps the master volume (trace: MasterVolume set to -602) and its synthesizer plays on at full volume"
else
  result "FAIL master volume 50 against 100: $(grep -v ALSA "$work/half.wine.log" | tail -1)"
fi
decode_pair from examples/morning_walk.mid --from 10
if [ -s "$work/from.wine.wav" ]; then
  # A segment Wine plays from a start point stays silent until its events'
  # own times come round (a bare DirectMusic program given SetStartPoint
  # and PlaySegmentEx on Wine is silent too), so --from is checked against
  # that fault: silence after the start delay where the Linux decode has
  # music (before it, both hold what the synthesizer still played of the
  # notes the seek stopped).
  quiet=$("$py" "$notes" level-between "$work/from.wine.wav" 2 5)
  loud=$("$py" "$notes" level-between "$work/from.linux.wav" 2 5)
  same=$("$py" "$notes" same-notes "$work/from.linux.wav" "$work/from.wine.wav" 30 3.2)
  status=$?
  check_or_wine "--from 10 starts with the music of 10 s ($same)" "[ $status != 1 ]" \
    "awk 'BEGIN { exit !($quiet < 0.002 && $loud > 0.01) }'" \
    "Wine plays nothing of a segment started at a start point until the events' own times (rms from 2 to 5 s: Wine $quiet, Linux $loud)" \
    "rms from 2 to 5 s: Wine ${quiet:-none}, Linux ${loud:-none}; Linux: $(tail -1 "$work/from.linux.log"); Wine: $(grep -v ALSA "$work/from.wine.log" | tail -1)"
else
  result "FAIL --from 10: $(grep -v ALSA "$work/from.wine.log" | tail -1)"
fi

echo "== the preferences page"
win prefs show 2> "$work/prefs.err" | tr -d '\r' > "$work/prefs.wine"
VELMORA_CONFIG=$linux_config "$linux" prefs show > "$work/prefs.linux" 2>&1
# The port list is each DirectMusic's own; every other control must match.
diff <(grep -v '^    \[' "$work/prefs.linux" | grep -v '^1001 ' | grep -v '^1009 ') \
     <(grep -v '^    \[' "$work/prefs.wine" | grep -v '^1001 ' | grep -v '^1009 ') > "$work/prefs.diff"
pass_if "prefs show lists the page's controls with their texts and states" "[ ! -s '$work/prefs.diff' ]" \
  "$(head -c 300 "$work/prefs.diff")"
win prefs set --reverb on --volume 37 --tempo 12 > /dev/null 2>&1
stored=$(for name in MIDIReverb MIDIMasterVolume MIDIMasterTempo; do win config get $name 2> /dev/null | tr -d '\r'; done | tr '\n' ' ')
pass_if "prefs set --reverb on --volume 37 --tempo 12 stores 1, 37 and 12 (stored: $stored)" \
  "[ '$stored' = '1 37 12 ' ] || [ '$stored' = '1 37 12.000000 ' ]"

echo "== summary"
printf '%s\n' "${results[@]}"
failed=$(printf '%s\n' "${results[@]}" | grep -c '^FAIL')
wine=$(printf '%s\n' "${results[@]}" | grep -c '^WINE')
echo "$((${#results[@]} - failed - wine)) passed, $failed failed, $wine held up by Wine's own faults"
echo "time: root ${setup_seconds} s (size $root_size), builds ${build_seconds} s, checks $((SECONDS - checks_started)) s"
[ "$failed" = 0 ]
