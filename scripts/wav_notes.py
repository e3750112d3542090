#!/usr/bin/env python3
"""Measures 16-bit stereo WAV files the way the Wine checks compare them.

  wav_notes.py level FILE            length, peak and RMS (fractions of full scale)
  wav_notes.py notes FILE            each onset's time and pitch
  wav_notes.py same-notes A B [MS]   exit 0 when B has A's notes in order: the
                                     onsets within MS (default 30) ms of A's
                                     after aligning the first, the pitches equal
                                     (see same_notes for what is allowed)
  wav_notes.py rms-ratio A B         RMS of B over RMS of A

Onsets are where the level in 10 ms frames rises by a third over the
last 40 ms; a pitch is the nearest semitone of the zero-crossing rate over the
40 ms after an onset. Plain Python, so it runs wherever the checks do."""
import array
import math
import struct
import sys

FRAME = 441  # 10 ms at 44100 Hz


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
    samples = array.array('h')
    samples.frombytes(pcm[:len(pcm) // 2 * 2])
    if sys.byteorder != 'little':
        samples.byteswap()
    # One channel: the mean of the two.
    mono = [(samples[i] + samples[i + 1]) / 2 for i in range(0, len(samples) - 1, channels)] \
        if channels == 2 else list(samples)
    return rate, samples, mono


def level(path):
    rate, samples, _ = read_wav(path)
    peak = max((abs(x) for x in samples), default=0) / 32768.0
    rms = math.sqrt(sum(float(x) * x for x in samples) / len(samples)) / 32768.0 if samples else 0.0
    return len(samples) / 2 / rate, peak, rms


def notes(path):
    rate, _, mono = read_wav(path)
    frames = [math.sqrt(sum(x * x for x in mono[i:i + FRAME]) / FRAME) for i in range(0, len(mono) - FRAME, FRAME)]
    found = []
    for i in range(4, len(frames)):
        low = min(frames[i - 4:i])
        # A rise of a third or more over the last 40 ms, clear of the noise.
        if frames[i] > 200 and frames[i] >= 1.35 * low and frames[i] - low >= 120 and frames[i] >= frames[i - 1]:
            if found and i - found[-1] < 10:  # one onset per 100 ms
                continue
            found.append(i)
    result = []
    for i in found:
        start = i * FRAME + FRAME
        part = mono[start:start + 4 * FRAME]
        crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
        hertz = crossings * rate / 2 / max(1, len(part))
        key = round(69 + 12 * math.log2(hertz / 440.0)) if hertz > 20 else None
        result.append((i * FRAME / rate, key))
    return result


def same_notes(a, b, tolerance_ms):
    """B's notes against A's, in order, after aligning the first onsets: a
    note of A is matched by the next note of B within the tolerance. An
    onset the detector sees on one side only (a soft rise within a held
    chord) is allowed for one note in ten; every matched pitch must agree."""
    first, second = notes(a), notes(b)
    if not first or not second:
        return False, f"no notes found ({len(first)} and {len(second)})"
    shift = second[0][0] - first[0][0]
    matched, pitches, worst, j = 0, 0, 0.0, 0
    for time, key in first:
        while j < len(second) and second[j][0] - shift < time - tolerance_ms / 1000:
            j += 1
        if j < len(second) and abs(second[j][0] - shift - time) <= tolerance_ms / 1000:
            matched += 1
            worst = max(worst, abs(second[j][0] - shift - time))
            pitches += second[j][1] != key
            j += 1
    unmatched = len(first) + len(second) - 2 * matched
    ok = unmatched * 10 <= max(len(first), len(second)) and pitches == 0
    return ok, (f"{matched} of {len(first)}/{len(second)} notes matched, onsets within {worst * 1000:.1f} ms, "
                f"{pitches} pitches differ")


def main(argv):
    if len(argv) >= 2 and argv[0] == 'level':
        length, peak, rms = level(argv[1])
        print(f"{length:.3f} s, peak {peak:.4f}, rms {rms:.5f}")
    elif len(argv) >= 2 and argv[0] == 'notes':
        for time, key in notes(argv[1]):
            print(f"{time:.3f} {key}")
    elif len(argv) >= 3 and argv[0] == 'same-notes':
        ok, text = same_notes(argv[1], argv[2], float(argv[3]) if len(argv) > 3 else 30.0)
        print(text)
        return 0 if ok else 1
    elif len(argv) >= 3 and argv[0] == 'rms-ratio':
        print(f"{level(argv[2])[2] / max(level(argv[1])[2], 1e-12):.3f}")
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
