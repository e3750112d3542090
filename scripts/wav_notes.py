#!/usr/bin/env python3
"""Measures 16-bit WAV files the way the Wine checks compare them.

  wav_notes.py level FILE            length, peak and RMS (fractions of full scale)
  wav_notes.py notes FILE            each onset's time and key
  wav_notes.py same-notes A B [MS [UNTIL]]
                                     exit 0 when B has A's notes in order: the
                                     onsets within MS (default 30) ms of A's
                                     after aligning the first, the keys equal
                                     (see same_notes for what is allowed); with
                                     UNTIL, only the notes that start less than
                                     UNTIL seconds after the first; exit 1
                                     when the onsets differ, 3 when only
                                     the keys do
  wav_notes.py rms-ratio A B         RMS of B over RMS of A
  wav_notes.py level-between FILE S E  RMS from S to E seconds

The music is looked at in semitone bands: a 93 ms Hann-windowed spectrum
every 10 ms, its power summed per MIDI key. An onset is a peak of the rise
in those bands' levels (in decibels, so two synthesizers with other gains
still agree); its key is the band whose level rose the most, its octave
above counting for it, so a new note is told by its fundamental. Needs
numpy (Debian's python3-numpy)."""
import struct
import sys

try:
    import numpy as np
except ImportError:
    sys.exit("wav_notes.py needs numpy (apt-get install python3-numpy)")

HOP = 441        # 10 ms at 44100 Hz
WINDOW = 4096    # about 93 ms: two semitones apart from key 40 up
LOW_KEY, HIGH_KEY = 28, 108


def read_wav(path):
    data = open(path, 'rb').read()
    if data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        sys.exit(f"{path}: not a WAV file")
    pos, rate, channels, pcm = 12, 44100, 2, b''
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if chunk == b'fmt ':
            _, channels, rate, _, _, bits = struct.unpack('<HHIIHH', body[:16])
            if bits != 16:
                sys.exit(f"{path}: {bits}-bit samples; 16-bit expected")
        elif chunk == b'data':
            pcm = body
        pos += 8 + size + (size & 1)
    samples = np.frombuffer(pcm[:len(pcm) // (2 * channels) * 2 * channels], dtype='<i2').astype(np.float64)
    return rate, samples.reshape(-1, channels)


def level(path):
    rate, samples = read_wav(path)
    if samples.size == 0:
        return 0.0, 0.0, 0.0
    return len(samples) / rate, float(np.abs(samples).max()) / 32768.0, float(np.sqrt(np.mean(samples ** 2))) / 32768.0


def key_levels(rate, mono):
    """Each 10 ms step's level per key in decibels."""
    mono = np.concatenate([np.zeros(WINDOW), mono, np.zeros(WINDOW)])
    steps = max(0, (len(mono) - WINDOW) // HOP)
    frames = np.lib.stride_tricks.sliding_window_view(mono, WINDOW)[::HOP][:steps]
    power = np.abs(np.fft.rfft(frames * np.hanning(WINDOW), axis=1)) ** 2
    return band_levels(power, np.fft.rfftfreq(WINDOW, 1.0 / rate))


def band_levels(power, hertz):
    """Power spectra summed per key, in decibels."""
    keys = np.full(len(hertz), -1)
    audible = hertz > 20
    keys[audible] = np.rint(69 + 12 * np.log2(hertz[audible] / 440.0))
    bands = np.zeros(power.shape[:-1] + (HIGH_KEY - LOW_KEY + 1,))
    for k in range(LOW_KEY, HIGH_KEY + 1):
        chosen = keys == k
        if chosen.any():
            bands[..., k - LOW_KEY] = power[..., chosen].sum(axis=-1)
    return 10 * np.log10(bands + 1e6)


def rising_keys(mono, rate, at):
    """How far each key rose from the 186 ms before a time to the 186 ms
    after it (decibels), counting only keys loud afterwards."""
    size = 2 * WINDOW
    start = max(0, int(at * rate))
    before = mono[max(0, start - size):start]
    after = mono[start + HOP:start + HOP + size]
    before = np.concatenate([np.zeros(size - len(before)), before])
    after = np.concatenate([after, np.zeros(size - len(after))])
    window = np.hanning(size)
    hertz = np.fft.rfftfreq(size, 1.0 / rate)
    levels = band_levels(np.abs(np.fft.rfft(np.stack([before, after]) * window, axis=1)) ** 2, hertz)
    rise = levels[1] - levels[0]
    rise[levels[1] < levels[1].max() - 30] = 0
    return np.maximum(rise, 0)


def notes(path, detail=False):
    rate, samples = read_wav(path)
    mono = samples.mean(axis=1)
    levels = key_levels(rate, mono)
    lag = 4  # the rise over 40 ms
    rise = np.zeros_like(levels)
    rise[lag:] = np.maximum(levels[lag:] - levels[:-lag], 0)
    flux = rise.sum(axis=1)
    # Clear of the noise, and a quarter of the strongest onsets at least: a
    # soft rise inside a held chord is one synthesizer's own.
    threshold = max(np.median(flux) + 3 * np.median(np.abs(flux - np.median(flux))) + 20,
                    0.25 * np.percentile(flux, 99))
    found = []
    for i in range(1, len(flux) - 1):
        if flux[i] > threshold and flux[i] >= flux[i - 1] and flux[i] > flux[i + 1]:
            if found and i - found[-1] < 8:  # one onset per 80 ms
                if flux[i] > flux[found[-1]]:
                    found[-1] = i
                continue
            found.append(i)
    result = []
    offset = (WINDOW // 2 - WINDOW) / rate  # the padding, less half the window
    for i in found:
        at = i * HOP / rate + offset
        keys = rising_keys(mono, rate, at)
        # A new note is told by its fundamental: its octave above counts for it.
        score = keys.copy()
        score[:-12] += 0.5 * keys[12:]
        key = int(np.argmax(score)) + LOW_KEY
        near = {int(k) + LOW_KEY for k in np.nonzero(score >= score.max() - 6)[0]}
        result.append((at, key, near) if detail else (at, key))
    return result


def same_notes(a, b, tolerance_ms, until=None):
    """B's notes against A's, in order, after aligning the starts: a note of
    A is matched by the next note of B within the tolerance. One note of A
    in ten may go unmatched, one onset of B in five may match none of A's,
    and one key in ten may differ (the strongest rise of a chord can fall on either
    of two notes struck together). Gives whether the onsets agree, whether
    the keys do, and a line that says how far."""
    first, second = notes(a, True), notes(b, True)
    if not first or not second:
        return False, False, f"no notes found ({len(first)} and {len(second)})"
    # The start: the median offset of each note of A to the nearest of B,
    # which one onset found a little early or late cannot move.
    offsets = sorted(min((n[0] - m[0] for n in second), key=abs) for m in first[:20])
    shift = offsets[len(offsets) // 2]
    if until is not None:
        first = [n for n in first if n[0] - first[0][0] < until]
        second = [n for n in second if n[0] - shift - first[0][0] < until + tolerance_ms / 1000]
    matched, keys, worst, j = 0, 0, 0.0, 0
    for time, key, near in first:
        while j < len(second) and second[j][0] - shift < time - tolerance_ms / 1000:
            j += 1
        if j < len(second) and abs(second[j][0] - shift - time) <= tolerance_ms / 1000:
            matched += 1
            worst = max(worst, abs(second[j][0] - shift - time))
            keys += second[j][1] not in near and key not in second[j][2]
            j += 1
    # A's notes must be there; B may show a few onsets more, where its
    # instruments sound other than A's.
    missing, extra = len(first) - matched, len(second) - matched
    onsets = missing * 10 <= len(first) and extra * 5 <= len(second)
    return onsets, keys * 10 <= len(first), (f"{matched} of {len(first)}/{len(second)} notes matched, onsets within {worst * 1000:.1f} ms, "
                f"{keys} keys differ")


def main(argv):
    if len(argv) >= 2 and argv[0] == 'level':
        length, peak, rms = level(argv[1])
        print(f"{length:.3f} s, peak {peak:.4f}, rms {rms:.5f}")
    elif len(argv) >= 2 and argv[0] == 'notes':
        for time, key in notes(argv[1]):
            print(f"{time:.3f} {key}")
    elif len(argv) >= 3 and argv[0] == 'same-notes':
        onsets, keys, text = same_notes(argv[1], argv[2], float(argv[3]) if len(argv) > 3 else 30.0,
                                        float(argv[4]) if len(argv) > 4 else None)
        print(text)
        return 1 if not onsets else 3 if not keys else 0
    elif len(argv) >= 4 and argv[0] == 'level-between':
        rate, samples = read_wav(argv[1])
        part = samples[int(float(argv[2]) * rate):int(float(argv[3]) * rate)]
        print(f"{float(np.sqrt(np.mean(part ** 2))) / 32768.0 if part.size else 0.0:.5f}")
    elif len(argv) >= 3 and argv[0] == 'rms-ratio':
        print(f"{level(argv[2])[2] / max(level(argv[1])[2], 1e-12):.3f}")
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
