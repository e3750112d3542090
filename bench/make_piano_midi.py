#!/usr/bin/env python3
"""Writes solo-piano.mid into the folder given: two minutes of one acoustic
piano, a melody in eighth notes over two-note chords with the sustain pedal,
a sparse song beside the bench's dense ones."""
import os
import struct
import sys

TICKS = 480


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    events = []  # (tick, order, bytes)
    events.append((0, 0, bytes([0xFF, 0x51, 3]) + (500000).to_bytes(3, "big")))  # 120 bpm
    events.append((0, 0, bytes([0xC0, 0])))
    scale = [60, 62, 64, 65, 67, 69, 71, 72]
    chords = [(48, 55), (45, 52), (41, 48), (43, 50)]
    bars = 60
    for bar in range(bars):
        start = bar * 4 * TICKS
        events.append((start, 1, bytes([0xB0, 64, 127])))
        events.append((start + 4 * TICKS - 10, 1, bytes([0xB0, 64, 0])))
        low = chords[bar % len(chords)]
        for half in range(2):
            at = start + half * 2 * TICKS
            for note in low:
                events.append((at, 2, bytes([0x90, note, 50])))
                events.append((at + 2 * TICKS - 20, 0, bytes([0x80, note, 0])))
        for step in range(8):
            at = start + step * TICKS // 2
            note = scale[(bar * 3 + step * (1 + bar % 3)) % len(scale)] + (12 if bar % 8 >= 6 else 0)
            events.append((at, 2, bytes([0x90, note, 60 + (step % 4) * 10])))
            events.append((at + TICKS // 2 - 20, 0, bytes([0x80, note, 0])))
    end = bars * 4 * TICKS + 2 * TICKS
    events.sort(key=lambda e: (e[0], e[1]))
    track = bytearray()
    now = 0
    for tick, _, data in events:
        track += vlq(tick - now) + data
        now = tick
    track += vlq(end - now) + bytes([0xFF, 0x2F, 0])
    path = os.path.join(folder, "solo-piano.mid")
    with open(path, "wb") as out:
        out.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, TICKS))
        out.write(b"MTrk" + struct.pack(">I", len(track)) + track)
    print(path)


if __name__ == "__main__":
    main()
