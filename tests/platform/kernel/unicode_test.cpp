// The platform's UTF-8 / UTF-16 conversions, which event names, dialog
// captions, loader paths and the render tool's file names all go through.
#include <platform/unicode.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct CToUtf8Case {
    const char* what;
    std::u16string utf16;
    std::string utf8;
    platform::ELoneSurrogate lone = platform::ELoneSurrogate::Replace;
};

TEST(UnicodeTest, Utf16ToUtf8)
{
    const CToUtf8Case cases[] = {
        {"empty", u"", ""},
        {"ASCII", u"Song.mid", "Song.mid"},
        {"two bytes", u"\u00e9t\u00e9", "\xc3\xa9t\xc3\xa9"},
        {"three bytes", u"\u266b", "\xe2\x99\xab"},
        {"surrogate pair", u"\U0001F3B5", "\xf0\x9f\x8e\xb5"},
        {"high surrogate alone keeps what follows", std::u16string{0xD83C, u'B'},
         "\xef\xbf\xbd"
         "B"},
        {"low surrogate alone", std::u16string{u'A', 0xDFB5}, "A\xef\xbf\xbd"},
        {"high surrogate at the end", std::u16string{u'A', 0xD83C}, "A\xef\xbf\xbd"},
        {"pair when kept", u"\U0001F3B5", "\xf0\x9f\x8e\xb5", platform::ELoneSurrogate::Keep},
        {"high surrogate kept", std::u16string{0xD83C, u'B'},
         "\xed\xa0\xbc"
         "B",
         platform::ELoneSurrogate::Keep},
        {"low surrogate kept", std::u16string{u'A', 0xDFB5}, "A\xed\xbe\xb5", platform::ELoneSurrogate::Keep},
    };
    for (const CToUtf8Case& one : cases) EXPECT_EQ(platform::Utf16ToUtf8(one.utf16, one.lone), one.utf8) << one.what;
}

struct CToUtf16Case {
    const char* what;
    std::string utf8;
    std::u16string utf16;
    bool wellFormed;
};

TEST(UnicodeTest, Utf8ToUtf16)
{
    const CToUtf16Case cases[] = {
        {"empty", "", u"", true},
        {"ASCII", "a/b.rmi", u"a/b.rmi", true},
        {"two and three bytes", "\xc3\xa9\xe2\x99\xab", u"\u00e9\u266b", true},
        {"four bytes", "\xf0\x9f\x8e\xb5", u"\U0001F3B5", true},
        {"stray continuation",
         "a\x80"
         "b",
         u"a\ufffdb", false},
        {"cut short at the end", "a\xe2\x99", u"a\ufffd\ufffd", false},
        {"overlong slash", "\xc0\xaf", u"\ufffd\ufffd", false},
        {"encoded surrogate", "\xed\xa0\x80", u"\ufffd\ufffd\ufffd", false},
        {"past U+10FFFF", "\xf4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd", false},
        {"not a lead byte",
         "\xff"
         "a",
         u"\ufffda", false},
    };
    for (const CToUtf16Case& one : cases) {
        std::u16string out = u"kept:";
        EXPECT_EQ(platform::Utf8ToUtf16(one.utf8, out), one.wellFormed) << one.what;
        EXPECT_EQ(out, u"kept:" + one.utf16) << one.what;
    }
}

}  // namespace
