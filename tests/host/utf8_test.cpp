// The host's UTF-8 library: case-insensitive comparison under Unicode case
// folding, the temporary folder and reserved temporary names, and the
// UTF-8 and UTF-16 conversions of the wide-character calls.
#include "sdk/velmora/velmora_utf8.h"
#include "host/utf8/wide_text.h"
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(StricmpUtf8Test, FoldsLettersBeyondAscii)
{
    EXPECT_EQ(stricmp_utf8("MIDI", "midi"), 0);
    EXPECT_EQ(stricmp_utf8("\xC3\x84\xC3\x96\xC3\x9C", "\xC3\xA4\xC3\xB6\xC3\xBC"), 0);  // ÄÖÜ / äöü
    EXPECT_EQ(stricmp_utf8("\xCE\xA3\xCE\x9F\xCE\xA6", "\xCF\x83\xCE\xBF\xCF\x86"), 0);  // ΣΟΦ / σοφ
    EXPECT_EQ(stricmp_utf8("\xCF\x82", "\xCE\xA3"), 0);                                  // final sigma
    EXPECT_EQ(stricmp_utf8("\xD0\x9C\xD0\x98\xD0\x94\xD0\x98", "\xD0\xBC\xD0\xB8\xD0\xB4\xD0\xB8"), 0);  // МИДИ
    EXPECT_EQ(stricmp_utf8("\xE1\xBA\x9E", "\xC3\x9F"), 0);                                              // ẞ / ß
    EXPECT_EQ(stricmp_utf8("\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"), 0);  // Deseret, 4 bytes
    EXPECT_EQ(stricmp_utf8("song.MID", "song.mid"), 0);
}

TEST(StricmpUtf8Test, OrdersByFoldedCodePoints)
{
    EXPECT_LT(stricmp_utf8("a", "B"), 0);
    EXPECT_GT(stricmp_utf8("B", "a"), 0);
    EXPECT_LT(stricmp_utf8("mid", "midi"), 0);
    EXPECT_GT(stricmp_utf8("midi", "mid"), 0);
    EXPECT_NE(stricmp_utf8("\xC3\xA4", "a"), 0);
    EXPECT_LT(stricmp_utf8("z", "\xC3\x84"), 0);
    EXPECT_EQ(Sign(stricmp_utf8("\xC3\x84x", "\xC3\xA4y")), -1);
    EXPECT_EQ(stricmp_utf8("", ""), 0);
    EXPECT_EQ(stricmp_utf8(nullptr, ""), 0);
}

TEST(StricmpUtf8Test, InvalidSequencesCompareAsBytes)
{
    // A lone continuation byte, an overlong form and a truncated sequence
    // have no case; they must still compare consistently and never match a letter.
    EXPECT_EQ(stricmp_utf8("\x80x", "\x80X"), 0);
    EXPECT_NE(stricmp_utf8("\xC1\x81", "a"), 0);
    EXPECT_NE(stricmp_utf8("\xC3", "\xC3\xA4"), 0);
    EXPECT_EQ(stricmp_utf8("\xC3", "\xC3"), 0);
    EXPECT_EQ(Sign(stricmp_utf8("\xFF", "\xFE")), 1);
    EXPECT_EQ(Sign(stricmp_utf8("\xFE", "\xFF")), -1);
    EXPECT_NE(stricmp_utf8("\xED\xA0\x80", "\xED\xB0\x80"), 0);  // surrogates stay bytes
}

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("TMPDIR");
        hadTmpdir = old != nullptr;
        if (old) oldTmpdir = old;
    }
    void TearDown() override
    {
        if (hadTmpdir)
            setenv("TMPDIR", oldTmpdir.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    bool hadTmpdir = false;
    std::string oldTmpdir;
};

TEST_F(TempFolderTest, TempPathEndsWithASeparatorAndReportsTheSizeNeeded)
{
    char buffer[VELMORA_UTF8_MAX_PATH];
    setenv("TMPDIR", "/var/scratch", 1);
    EXPECT_EQ(uGetTempPath(sizeof buffer, buffer), 13u);
    EXPECT_STREQ(buffer, "/var/scratch/");
    setenv("TMPDIR", "/var/scratch/", 1);
    EXPECT_EQ(uGetTempPath(sizeof buffer, buffer), 13u);
    EXPECT_STREQ(buffer, "/var/scratch/");

    unsetenv("TMPDIR");
    EXPECT_EQ(uGetTempPath(sizeof buffer, buffer), 5u);
    EXPECT_STREQ(buffer, "/tmp/");
    char small[3] = {'x', 'x', 'x'};
    EXPECT_EQ(uGetTempPath(sizeof small, small), 6u) << "too small: the size needed, NUL included";
    EXPECT_EQ(small[0], 'x') << "nothing written";
}

TEST(TempFileNameTest, ReservesDistinctNamesByCreatingTheFiles)
{
    CScratchFolder folder;
    std::set<std::string> names;
    for (int i = 0; i < 200; ++i) {
        char name[VELMORA_UTF8_MAX_PATH];
        UINT number = uGetTempFileName(folder.Path().c_str(), "KTDM", 0, name);
        ASSERT_NE(number, 0u);
        std::string text = name;
        EXPECT_EQ(text.rfind(folder.Path() + "/KTDM", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - 4), ".tmp");
        EXPECT_TRUE(std::filesystem::is_regular_file(text));
        EXPECT_EQ(std::filesystem::file_size(text), 0u);
        EXPECT_TRUE(names.insert(text).second) << "name given twice: " << text;
    }
}

TEST(TempFileNameTest, GivenNumberOnlyFormsTheName)
{
    CScratchFolder folder;
    char name[VELMORA_UTF8_MAX_PATH];
    EXPECT_EQ(uGetTempFileName((folder.Path() + "/").c_str(), "Ktdm", 0x1A2B, name), 0x1A2Bu);
    EXPECT_EQ(std::string(name), folder / "Ktdm1A2B.tmp");
    EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(TempFileNameTest, FailsWithoutCreatingAnything)
{
    CScratchFolder folder;
    char name[VELMORA_UTF8_MAX_PATH] = "unchanged";
    EXPECT_EQ(uGetTempFileName((folder / "no-such-folder").c_str(), "KTDM", 0, name), 0u);
    EXPECT_FALSE(std::filesystem::exists(folder / "no-such-folder"));
    EXPECT_EQ(uGetTempFileName("", "KTDM", 0, name), 0u);
    std::string longPrefix(VELMORA_UTF8_MAX_PATH, 'p');
    EXPECT_EQ(uGetTempFileName(folder.Path().c_str(), longPrefix.c_str(), 0, name), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

// Each row: UTF-8 bytes, the UTF-16 they give, and the UTF-8 that comes back.
TEST(WideTextTest, ConvertsBothWaysKeepingLoneSurrogates)
{
    struct CRow {
        std::string utf8;
        std::u16string utf16;
        std::string back;
    };
    const CRow rows[] = {
        {"", u"", ""},
        {"Morning Walk", u"Morning Walk", "Morning Walk"},
        {"caf\xC3\xA9 \xE2\x82\xAC", u"caf\u00E9 \u20AC", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"\xF0\x9F\x8E\xB5", u"\U0001F3B5", "\xF0\x9F\x8E\xB5"},
        // A lone surrogate's three-byte form stays that one unit and comes back.
        {"a\xED\xA0\x80z", std::u16string(u"a") + char16_t(0xD800) + u"z", "a\xED\xA0\x80z"},
        {"\xED\xBF\xBF", std::u16string(1, char16_t(0xDFFF)), "\xED\xBF\xBF"},
        // Bytes that are not UTF-8 become U+FFFD, one for each.
        {"a\xFF"
         "b",
         u"a\uFFFDb",
         "a\xEF\xBF\xBD"
         "b"},
        {"\xC0\xAF", u"\uFFFD\uFFFD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xE2\x82", u"\uFFFD\uFFFD", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const CRow& row : rows) {
        const std::u16string wide = Utf8ToUtf16(row.utf8);
        EXPECT_EQ(wide, row.utf16) << row.utf8;
        EXPECT_EQ(Utf16ToUtf8(wide), row.back) << row.utf8;
    }
    // A high surrogate with no low one after it is kept alone too.
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDBFF)) + u"x"), "\xED\xAF\xBFx");
}

TEST(WideTextTest, PrefixNeverCutsACharacter)
{
    struct CRow {
        std::string text;
        size_t limit;
        size_t length;
    };
    const CRow rows[] = {
        {"abc", 5, 3},
        {"abc", 3, 3},
        {"abc", 2, 2},
        {"", 0, 0},
        {"a\xC3\xA9", 2, 1},
        {"a\xC3\xA9", 3, 3},
        {"\xE2\x82\xAC", 2, 0},
        {"\xF0\x9F\x8E\xB5x", 4, 4},
        {"\xF0\x9F\x8E\xB5x", 3, 0},
    };
    for (const CRow& row : rows)
        EXPECT_EQ(Utf8PrefixLength(row.text, row.limit), row.length) << row.text << " " << row.limit;
}

}  // namespace
