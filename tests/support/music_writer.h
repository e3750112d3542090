// Writes music files from a segment model, so tests and the example
// generator need no outside files: Standard MIDI files, RMID (with INFO, DISP
// and an embedded DLS), DirectMusic segments, XMI, and a small DLS collection
// with one looping sine-wave instrument.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/dmusic/segment_model.h"
#include "tests/support/chunk_writer.h"

namespace testsupport {

// A format 1 file at 768 ticks per quarter (one tick per music-time unit):
// a first track with the name, tempo map and time signatures, then one track
// per channel with its band settings and events. The end of track is the length.
ByteVector WriteStandardMidi(const dmusic::CSegmentModel& model);

// INFO subchunks ("INAM", "IART", "ICOP", ...) in order.
using InfoTags = std::vector<std::pair<std::string, std::string>>;

// An RMID form: the SMF as its data chunk, then an INFO list, a text DISP
// chunk and an embedded DLS collection, each only when given.
ByteVector WriteRmid(const ByteVector& smf, const InfoTags& info = {}, const std::string& displayText = {},
                     const ByteVector& dls = {});

// A DirectMusic segment: header (length, repeats, start and loop points),
// guid, UNFO name, and tempo, time-signature, band and sequence tracks (plus
// a sysex track when there is sysex, and a chord track when asked, which
// readers skip).
ByteVector WriteSegmentFile(const dmusic::CSegmentModel& model, bool withChordTrack = false);

// An XMI file (FORM XDIR, CAT XMID, FORM XMID with TIMB and EVNT) of the
// model's channel events at 120 ticks a second, the format's own clock:
// music time is converted through the model's tempo map.
ByteVector WriteXmi(const dmusic::CSegmentModel& model);

// A DLS level 1 collection with one melodic instrument at the given bank and
// program: a looping sine wave of 32 samples at 14080 Hz (440 Hz on its root key 69).
ByteVector WriteSineDls(uint8_t program = 0, uint8_t bankMsb = 0, const std::string& name = "Sine");

}  // namespace testsupport
