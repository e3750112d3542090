// The names the decoder reads: extensions, titles, the names it answers
// to, and the block size a setting stands for in the decoder and the store.
#include "tessarine/decoder/track_names.h"
#include "tests/tessarine/decoder/decoder_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct CTextRow {
    const char* input;
    const char* expected;
};

TEST(DecoderNames, ExtensionIsTheFileNamesLastDotPart)
{
    const CTextRow rows[] = {
        {"/music/song.mid", "mid"},
        {"C:\\music\\song.SGT", "SGT"},
        {"http://host/song.sgt?x=1", "sgt"},
        {"archive:///a/songs.zip|folder/tune.rmi", "rmi"},
        {"/music.d/song", ""},
        {"/music/song.0123456789012345678901234567890", "0123456789012345678901234567890"},
        {"/music/song.01234567890123456789012345678901", ""},
        {"/music/.hidden", "hidden"},
    };
    for (const CTextRow& row : rows) EXPECT_EQ(GetPathExtension(row.input), row.expected) << row.input;
}

TEST(DecoderNames, TitleIsTheFileNameWithoutItsExtension)
{
    const CTextRow rows[] = {
        {"/music/morning walk.mid", "morning walk"},
        {"archive:///a/songs.zip|dir/tune.rmi", "tune"},
        {"C:\\x\\a.b.sgt", "a.b"},
        {"/music/.hidden", ".hidden"},
        {"/music/noextension", "noextension"},
        {"http://host/song.mid?v=1.2", "song"},
        {"/music/\xC3\xA9t\xC3\xA9.mid", "\xC3\xA9t\xC3\xA9"},
    };
    for (const CTextRow& row : rows) EXPECT_EQ(GetTrackTitle(row.input), row.expected) << row.input;
}

TEST(DecoderNames, AcceptsOnlyMidiNamesInAnyCase)
{
    const struct {
        const char* extension;
        bool accepted;
    } rows[] = {{"mid", true}, {"MID", true},  {"Mid", true}, {"midi", true}, {"rmi", true},   {"XMI", true},
                {"sgt", true}, {"txt", false}, {"mi", false}, {"", false},    {nullptr, false}};
    for (const auto& row : rows)
        EXPECT_EQ(IsMidiExtension(row.extension), row.accepted) << (row.extension ? row.extension : "null");
    EXPECT_TRUE(IsMidiContentType("Audio/MIDI"));
    EXPECT_FALSE(IsMidiContentType("audio/mpeg"));
    EXPECT_FALSE(IsMidiContentType(nullptr));
}

// "MIDIOutputBuffer", as a saved settings block gives it, sets the blocks
// the decoder hands out (whole frames; one second below 4) and the amount
// the capture store waits for: a short song takes a handful of calls, never
// a run of empty ones.
TEST_F(CDecoderTest, BlockSizeKeepsFramesWhole)
{
    CScopedClockRate fast(8.0);
    const struct {
        int32_t setting;
        uint32_t blockSize;
    } rows[] = {{176400, 176400}, {17641, 17640}, {3, 176400}, {0, 176400}, {-5, 176400}};
    const std::string path = Write("song.mid", Song(2));  // one second
    for (const auto& row : rows) {
        configOutputBuffer.value = row.setting;
        const std::vector<uint8_t> settings = host.SaveSettings();
        configOutputBuffer.value = 17640;
        host.Component()->LoadSettings(settings.data(), uint32_t(settings.size()));
        COpenedDecoder opened;
        ASSERT_TRUE(opened.Open(path, OPEN_TRACK_DECODE)) << row.setting;
        uint64_t total = 0;
        uint32_t largest = 0, calls = 0;
        int32_t result = 1;
        while (result == 1 && calls < 1000) {
            void* data = nullptr;
            uint32_t bytes = 0, rate = 0, bits = 0, channels = 0;
            result = opened.decoder->DecodeBlock(&data, &bytes, &rate, &bits, &channels);
            ++calls;
            if (result != 1) break;
            EXPECT_EQ(bytes % 4, 0u) << row.setting;
            total += bytes;
            largest = std::max(largest, bytes);
        }
        EXPECT_EQ(result, 0) << row.setting;
        EXPECT_EQ(largest, row.blockSize) << row.setting;
        // Full blocks, the last one short, and the call that ends the track.
        EXPECT_LE(calls, total / row.blockSize + 3) << row.setting << ": " << total << " bytes";
    }
}

}  // namespace
