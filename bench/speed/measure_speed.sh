#!/bin/sh
# Decodes a dense file at several clock rates, with one core kept busy, and
# compares each output with the decode at real time: length, and the
# loudness envelope (50 ms windows) after aligning the lead-in.
#   bench/speed/measure_speed.sh BUILD-FOLDER [RATE...]
set -eu
build=${1:?usage: measure_speed.sh BUILD-FOLDER [RATE...]}
shift
rates=${*:-2 4 6 8}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
busy=
cleanup() { [ -n "$busy" ] && kill "$busy" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT INT TERM
export VELMORA_CONFIG="$work/velmora.cfg"
python3 "$here/../level/make_dense_midi.py" "$work"
song="$work/tutti.mid"
# The other core: a bounded busy loop.
timeout 900 sh -c 'while :; do :; done' &
busy=$!
"$build/bin/velmora" decode "$song" -o "$work/rate-1.wav" --speed 1 2>/dev/null
for rate in $rates; do
    "$build/bin/velmora" decode "$song" -o "$work/rate-$rate.wav" --speed "$rate" 2>/dev/null
done
python3 - "$work" $rates <<'PY'
import array, math, sys, wave
def envelope(path):
    w = wave.open(path)
    s = array.array("h", w.readframes(w.getnframes()))
    left = s[0::2]
    win = 2205
    env = [math.sqrt(sum(x * x for x in left[i:i + win]) / win) for i in range(0, len(left) - win, win)]
    first = next(i for i, e in enumerate(env) if e > 100)
    return len(left) / 44100.0, env[first:]
base_len, base = envelope(sys.argv[1] + "/rate-1.wav")
print("%-6s %10s %12s" % ("rate", "seconds", "envelope r"))
print("%-6s %10.3f %12s" % ("1", base_len, "1"))
for rate in sys.argv[2:]:
    length, env = envelope(sys.argv[1] + "/rate-%s.wav" % rate)
    n = min(len(env), len(base))
    a, b = base[:n], env[:n]
    ma, mb = sum(a) / n, sum(b) / n
    r = sum((x - ma) * (y - mb) for x, y in zip(a, b)) / math.sqrt(sum((x - ma) ** 2 for x in a) * sum((y - mb) ** 2 for y in b))
    print("%-6s %10.3f %12.4f" % (rate, length, r))
PY
