// Writes the example piece "Morning Walk" into a folder (default: the
// source tree's examples/) as a Standard MIDI file, an RMID with INFO tags, a
// DirectMusic segment and an XMI file. Eight bars of 4/4 in C major: a flute
// melody over broken piano chords and a bass line, at 100 quarters a minute,
// slowing to 84 in bar 7 and 68 in the last bar.
//   make_music_examples [output-folder]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/music_writer.h"

namespace {

using dmusic::CMidiEvent;
using dmusic::CSegmentModel;
using dmusic::EMidiEventKind;

constexpr MUSIC_TIME kQuarter = 768;
constexpr MUSIC_TIME kBar = 4 * kQuarter;

void AddNote(CSegmentModel& song, DWORD channel, MUSIC_TIME time, MUSIC_TIME length, BYTE key, BYTE velocity)
{
    CMidiEvent note;
    note.kind = EMidiEventKind::Note;
    note.time = time;
    note.pchannel = channel;
    note.data1 = key;
    note.data2 = velocity;
    // Slightly detached, as played.
    note.duration = length - length / 16;
    song.events.push_back(note);
}

void AddPatch(CSegmentModel& song, DWORD channel, BYTE program, int volume, int pan)
{
    dmusic::CPatchChange patch;
    patch.pchannel = channel;
    patch.program = program;
    patch.volume = volume;
    patch.pan = pan;
    song.patches.push_back(patch);
}

CSegmentModel MorningWalk()
{
    CSegmentModel song;
    song.name = u"Morning Walk";
    song.length = 8 * kBar;
    song.tempos = {{0, 100.0}, {6 * kBar, 84.0}, {7 * kBar, 68.0}};
    song.timeSignatures = {{0, 4, 4, 4}};
    AddPatch(song, 0, 73, 110, 72);  // flute, a little right
    AddPatch(song, 1, 0, 84, 52);    // piano, a little left
    AddPatch(song, 2, 32, 96, 64);   // acoustic bass, centre

    // The melody: key and length in eighths, bar by bar (0 is a rest).
    struct CStep {
        BYTE key;
        int eighths;
    };
    const CStep melody[] = {
        {76, 2}, {79, 2}, {84, 4},                    // C
        {83, 1}, {81, 1}, {76, 2}, {81, 4},           // Am
        {81, 2}, {84, 2}, {77, 2}, {76, 1}, {74, 1},  // F
        {74, 6}, {67, 2},                             // G
        {76, 2}, {79, 1}, {81, 1}, {79, 2}, {76, 2},  // C
        {72, 2}, {76, 2}, {81, 4},                    // Am
        {77, 2}, {76, 2}, {74, 2}, {71, 2},           // Dm G
        {72, 8},                                      // C
    };
    MUSIC_TIME time = 0;
    for (const CStep& step : melody) {
        if (step.key) AddNote(song, 0, time, step.eighths * kQuarter / 2, step.key, 96);
        time += step.eighths * kQuarter / 2;
    }

    // Broken chords in eighths (root, fifth, third, fifth) and the bass roots.
    struct CChord {
        BYTE root, third, fifth;
    };
    const CChord chords[] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62},
                             {60, 64, 67}, {57, 60, 64}, {50, 53, 57}, {60, 64, 67}};
    for (int bar = 0; bar < 8; ++bar) {
        const MUSIC_TIME start = bar * kBar;
        for (int eighth = 0; eighth < 8; ++eighth) {
            CChord chord = chords[bar];
            if (bar == 6 && eighth >= 4) chord = {55, 59, 62};  // G for the second half of bar 7
            const BYTE pattern[4] = {chord.root, chord.fifth, chord.third, chord.fifth};
            if (bar == 7 && eighth > 0) break;  // the last bar holds one chord
            AddNote(song, 1, start + eighth * kQuarter / 2, bar == 7 ? kBar : kQuarter / 2, pattern[eighth % 4],
                    eighth % 4 == 0 ? 72 : 60);
        }
        if (bar == 7) {
            AddNote(song, 1, start, kBar, chords[7].third, 60);
            AddNote(song, 1, start, kBar, chords[7].fifth, 60);
        }
        if (bar == 6) {
            AddNote(song, 2, start, 2 * kQuarter, 38, 90);
            AddNote(song, 2, start + 2 * kQuarter, 2 * kQuarter, 43, 90);
        } else {
            AddNote(song, 2, start, 3 * kQuarter, BYTE(chords[bar].root - 24), 90);
            AddNote(song, 2, start + 3 * kQuarter, kQuarter, BYTE(chords[bar].fifth - 24), 80);
        }
    }
    song.Normalize();
    return song;
}

bool Save(const std::filesystem::path& path, const testsupport::ByteVector& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
        return false;
    }
    std::printf("wrote %s (%zu bytes)\n", path.string().c_str(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path folder = argc > 1 ? argv[1] : TESSARINE_EXAMPLES_DIR;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const CSegmentModel song = MorningWalk();
    const testsupport::ByteVector midi = testsupport::WriteStandardMidi(song);
    const testsupport::InfoTags tags = {{"INAM", "Morning Walk"},
                                        {"IART", "The tessarine developers"},
                                        {"ICOP", "Public domain"},
                                        {"IGNR", "Example"},
                                        {"ICMT", "Eight bars in C major with a ritardando."},
                                        {"ISFT", "make_music_examples"}};
    bool ok = Save(folder / "morning_walk.mid", midi);
    ok &= Save(folder / "morning_walk.rmi", testsupport::WriteRmid(midi, tags, "Morning Walk"));
    ok &= Save(folder / "morning_walk.sgt", testsupport::WriteSegmentFile(song));
    ok &= Save(folder / "morning_walk.xmi", testsupport::WriteXmi(song));
    std::printf("length %.6f s\n", song.LengthInSeconds());
    return ok ? 0 : 1;
}
