#!/usr/bin/env python3
"""Writes dense General MIDI files for measuring the synthesizer's level:
all-sounds.mid plays every melodic program and the drum kit; tutti.mid is a
long multi-part song with all sixteen channels playing forte four-note chords.
    make_dense_midi.py OUTPUT-FOLDER"""
import os
import struct
import sys

PPQ = 480


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def track(events):
    """events: (tick, bytes) pairs, any order."""
    data = b""
    now = 0
    for tick, message in sorted(events, key=lambda e: (e[0], e[1][0] & 0xF0 != 0x80)):
        data += vlq(tick - now) + message
        now = tick
    data += vlq(0) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + data


def write(path, tracks):
    head = b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), PPQ)
    with open(path, "wb") as out:
        out.write(head + b"".join(track(t) for t in tracks))


def tempo(bpm):
    return (0, b"\xff\x51\x03" + struct.pack(">I", 60000000 // bpm)[1:])


def all_sounds():
    # Each program in turn holds a loud four-note chord for a half note, on a
    # channel of its own so the releases overlap; drums hit all along.
    events = [tempo(140)]
    for program in range(128):
        channel = [c for c in range(16) if c != 9][program % 15]
        at = program * PPQ
        events.append((at, bytes([0xC0 | channel, program])))
        events.append((at, bytes([0xB0 | channel, 7, 127])))
        for key in (48, 55, 60, 64):
            events.append((at, bytes([0x90 | channel, key, 127])))
            events.append((at + PPQ * 2, bytes([0x80 | channel, key, 0])))
    for beat in range(128 * 2):
        at = beat * PPQ // 2
        for key in (35, 38, 42, 49) if beat % 4 == 0 else (36, 42):
            events.append((at, bytes([0x99, key, 127])))
            events.append((at + PPQ // 4, bytes([0x89, key, 0])))
    return [events]


def tutti(bars=24):
    chords = [(48, 55, 60, 64), (45, 52, 57, 60), (41, 48, 53, 57), (43, 50, 55, 59)]
    programs = [0, 48, 61, 56, 73, 40, 42, 19, 24, 33, 52, 68, 71, 57, 60]
    tracks = [[tempo(120)]]
    melodic = [c for c in range(16) if c != 9]
    for index, channel in enumerate(melodic):
        events = [(0, bytes([0xC0 | channel, programs[index]])), (0, bytes([0xB0 | channel, 7, 100]))]
        for bar in range(bars):
            chord = chords[bar % len(chords)]
            for beat in range(4):
                at = (bar * 4 + beat) * PPQ
                for key in chord:
                    events.append((at, bytes([0x90 | channel, key + 12 * (index % 3 - 1), 100])))
                    events.append((at + PPQ - 10, bytes([0x80 | channel, key + 12 * (index % 3 - 1), 0])))
        tracks.append(events)
    drums = []
    for beat in range(bars * 8):
        at = beat * PPQ // 2
        for key in (36, 38, 42, 49, 57) if beat % 2 == 0 else (42, 46):
            drums.append((at, bytes([0x99, key, 110])))
            drums.append((at + PPQ // 4, bytes([0x89, key, 0])))
    tracks.append(drums)
    return tracks


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(folder, exist_ok=True)
    write(os.path.join(folder, "all-sounds.mid"), all_sounds())
    write(os.path.join(folder, "tutti.mid"), tutti())
