// The names the decoder reads: extensions, titles, the names it answers
// to, and the block size a setting stands for.
#include "tessarine/decoder/track_names.h"

#include <gtest/gtest.h>

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
    } rows[] = {{"mid", true}, {"MID", true}, {"Mid", true}, {"midi", true}, {"rmi", true}, {"XMI", true},
                {"sgt", true}, {"txt", false}, {"mi", false},  {"", false},     {nullptr, false}};
    for (const auto& row : rows)
        EXPECT_EQ(IsMidiExtension(row.extension), row.accepted) << (row.extension ? row.extension : "null");
    EXPECT_TRUE(IsMidiContentType("Audio/MIDI"));
    EXPECT_FALSE(IsMidiContentType("audio/mpeg"));
    EXPECT_FALSE(IsMidiContentType(nullptr));
}

TEST(DecoderNames, BlockSizeKeepsFramesWhole)
{
    const struct {
        int32_t setting;
        uint32_t blockSize;
    } rows[] = {{176400, 176400}, {4, 4}, {7, 4}, {17641, 17640}, {3, 176400}, {0, 176400}, {-8, 176400}};
    for (const auto& row : rows) EXPECT_EQ(GetBlockSize(row.setting), row.blockSize) << row.setting;
}

}  // namespace
