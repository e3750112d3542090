# Measures one conversion for bench.sh: runs the command, watches its output
# file for the first block, and reads the finished file for the music's
# length; or (--compare A B) the loudness envelopes of two renders.
import os, subprocess, sys, time, wave, array

FRAME = 2205  # 50 ms at 44.1 kHz

def envelope(path):
    with wave.open(path) as w:
        rate, channels = w.getframerate(), w.getnchannels()
        data = array.array('h', w.readframes(w.getnframes()))
    step = FRAME * channels
    return rate, [sum(abs(v) for v in data[i:i + step]) / step for i in range(0, len(data) - step + 1, step)]

def music_seconds(env, rate):
    # Up to the last 50 ms frame above near-silence (-60 dB of full scale).
    last = max((i for i, v in enumerate(env) if v > 32.0), default=-1)
    return (last + 1) * FRAME / rate

def correlation(a, b, lag):
    pairs = [(a[i], b[i + lag]) for i in range(len(a)) if 0 <= i + lag < len(b)]
    n = len(pairs)
    if n < 2: return 0.0
    ma = sum(p[0] for p in pairs) / n; mb = sum(p[1] for p in pairs) / n
    sab = sum((x - ma) * (y - mb) for x, y in pairs)
    sa = sum((x - ma) ** 2 for x, _ in pairs) ** 0.5; sb = sum((y - mb) ** 2 for _, y in pairs) ** 0.5
    return sab / (sa * sb) if sa and sb else 0.0

if sys.argv[1] == '--compare':
    _, a = envelope(sys.argv[2]); _, b = envelope(sys.argv[3])
    best = max((correlation(a, b, lag), lag) for lag in range(-20, 21))
    # Each minute on its own at that lag: a drift or a lost stretch shows there.
    minute = 1200
    lag = best[1]
    minutes = [correlation(a[m:m + minute], b[m + lag:m + lag + minute], 0)
               for m in range(0, len(a) - minute // 4, minute) if m + lag >= 0]
    worst = min(minutes) if minutes else best[0]
    print('correlation %.3f at lag %d frames of 50 ms, worst minute %.3f, lengths %d and %d frames'
          % (best[0], lag, worst, len(a), len(b)))
    sys.exit(0)

out, timefile, command = sys.argv[1], sys.argv[2], sys.argv[sys.argv.index('--') + 1:]
start = time.monotonic()
child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
first = None
while child.poll() is None:
    if first is None and os.path.exists(out) and os.path.getsize(out) > 44 + 4096:
        first = time.monotonic() - start
    time.sleep(0.002)
if first is None and os.path.exists(out): first = time.monotonic() - start
wall, user, system, rss = open(timefile).read().split()[-4:]
rate, env = envelope(out) if os.path.exists(out) else (44100, [])
music = music_seconds(env, rate)
cpu = float(user) + float(system)
print('%8.2f %10.3f %8.1f %9.0f %7.1f%s' % (float(wall), cpu / music if music else 0, int(rss) / 1024,
                                            (first or 0) * 1000, music, '' if child.returncode == 0 else ' (failed)'))
