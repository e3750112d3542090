// The settings block as the host reads it, and the settings file: replaced
// whole, with damaged files kept.
#include "host/objects/settings_block.h"
#include "host/objects/settings_file.h"
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> IntData(int32_t value)
{
    uint32_t bits = static_cast<uint32_t>(value);
    return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
            static_cast<uint8_t>(bits >> 24)};
}

TEST(SettingsBlockTest, BuildsTheRecordFormat)
{
    std::vector<uint8_t> block = BuildSettingsBlock({{"MIDILog", IntData(1)}});
    std::vector<uint8_t> expected = {7, 0, 0, 0, 'M', 'I', 'D', 'I', 'L', 'o', 'g', 4, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(block, expected);
}

TEST(SettingsBlockTest, ParsesToTheEndOrReportsWhereItStopped)
{
    std::vector<uint8_t> block = BuildSettingsBlock({{"MIDICustomDLS", {}}, {"MIDILog", IntData(1)}});
    CSettingsParse whole = ParseSettingsBlock(block);
    EXPECT_TRUE(whole.complete);
    ASSERT_EQ(whole.records.size(), 2u);
    EXPECT_EQ(whole.records[0].name, "MIDICustomDLS");
    EXPECT_TRUE(whole.records[0].data.empty());
    EXPECT_EQ(whole.records[1].data, IntData(1));
    EXPECT_TRUE(ParseSettingsBlock(nullptr, 0).complete) << "an empty block holds no records";

    // Every cut inside the second record leaves the first, and only it.
    size_t first = 4 + 13 + 4;
    for (size_t cut = first + 1; cut < block.size(); ++cut) {
        CSettingsParse part = ParseSettingsBlock(block.data(), cut);
        EXPECT_FALSE(part.complete) << cut;
        EXPECT_EQ(part.records.size(), 1u) << cut;
        EXPECT_EQ(part.parsedBytes, first) << cut;
    }

    std::vector<uint8_t> tooLong = BuildSettingsBlock({{"MIDILog", IntData(1)}});
    tooLong[11] = 200;  // data length beyond the block
    EXPECT_FALSE(ParseSettingsBlock(tooLong).complete);
    std::vector<uint8_t> hugeName = {0xFF, 0xFF, 0xFF, 0xFF, 'x'};
    EXPECT_FALSE(ParseSettingsBlock(hugeName).complete);
    EXPECT_TRUE(ParseSettingsBlock(hugeName).records.empty());
}

TEST(SettingsValueTest, TypesValuesByTheKnownNames)
{
    EXPECT_EQ(GetSettingKind("MIDIMasterTempo", IntData(0)), CSettingKind::Float);
    EXPECT_EQ(GetSettingKind("MIDICustomDLS", IntData(0)), CSettingKind::Text) << "a 4-byte path is still text";
    EXPECT_EQ(GetSettingKind("MIDIReverb", {}), CSettingKind::Integer);
    EXPECT_EQ(GetSettingKind("Unknown", IntData(3)), CSettingKind::Integer);
    EXPECT_EQ(GetSettingKind("Unknown", Bytes("abc")), CSettingKind::Text);

    EXPECT_EQ(FormatSettingValue(CSettingKind::Integer, IntData(-1)), "-1");
    EXPECT_EQ(FormatSettingValue(CSettingKind::Float, {0, 0, 0xC0, 0x3F}), "1.5");
    EXPECT_EQ(FormatSettingValue(CSettingKind::Float, IntData(0)), "0");
    EXPECT_EQ(FormatSettingValue(CSettingKind::Text, Bytes("a b")), "a b");
    EXPECT_EQ(FormatSettingValue(CSettingKind::Text, {}), "");
}

TEST(SettingsValueTest, ParsesValuesAndRefusesBadOnes)
{
    std::vector<uint8_t> data;
    std::string error;
    EXPECT_TRUE(ParseSettingValue("MIDIOutputPort", CSettingKind::Integer, "-1", data, error));
    EXPECT_EQ(data, IntData(-1));
    EXPECT_TRUE(ParseSettingValue("MIDIReverb", CSettingKind::Integer, "+1", data, error));
    EXPECT_EQ(data, IntData(1));
    EXPECT_TRUE(ParseSettingValue("MIDIMasterTempo", CSettingKind::Float, "1.5", data, error));
    EXPECT_EQ(data, (std::vector<uint8_t>{0, 0, 0xC0, 0x3F}));
    EXPECT_TRUE(ParseSettingValue("MIDICustomDLS", CSettingKind::Text, "", data, error));
    EXPECT_TRUE(data.empty());

    for (const char* bad : {"", "x", "1x", "1.5", " 1", "4294967296", "--1"})
        EXPECT_FALSE(ParseSettingValue("MIDIReverb", CSettingKind::Integer, bad, data, error)) << bad;
    for (const char* bad : {"", "fast", "nan", "inf", "1e99", "-2"})
        EXPECT_FALSE(ParseSettingValue("MIDIMasterTempo", CSettingKind::Float, bad, data, error)) << bad;
    // Values the component cannot work with.
    EXPECT_FALSE(ParseSettingValue("MIDIOutputBuffer", CSettingKind::Integer, "0", data, error));
    EXPECT_FALSE(ParseSettingValue("MIDIOutputPort", CSettingKind::Integer, "-2", data, error));
    EXPECT_FALSE(ParseSettingValue("MIDIPadBefore", CSettingKind::Integer, "-1", data, error));
    EXPECT_FALSE(error.empty());
}

// The one parser of config set and --set: what each change becomes, or
// what the user is told.
TEST(SettingsChangeTest, TurnsATypedChangeIntoARecordOrTellsWhyNot)
{
    const std::vector<CSettingsRecord> records = {
        {"MIDIOutputPort", IntData(-1)}, {"MIDIMasterTempo", IntData(0)}, {"MIDICustomDLS", {}}};
    struct CRow {
        const char* name;
        const char* text;
        std::vector<uint8_t> data;  // the record's data when taken
        const char* message;        // what the user is told when refused
    };
    const CRow rows[] = {
        {"MIDIOutputPort", "3", IntData(3), nullptr},
        {"MIDIMasterTempo", "1.5", {0, 0, 0xC0, 0x3F}, nullptr},
        {"MIDICustomDLS", "a.dls", Bytes("a.dls"), nullptr},
        {"MIDIchorus", "1", {}, "unknown setting 'MIDIchorus' (velmora config list shows them all)"},
        {"MIDIOutputPort", "x", {}, "bad value for MIDIOutputPort: 'x' is not a whole number"},
        {"MIDIOutputPort", "-2", {}, "bad value for MIDIOutputPort: '-2' is out of range (-1 to 2147483647)"},
        {"MIDIMasterTempo", "-2", {}, "bad value for MIDIMasterTempo: '-2' is out of range (0 or more)"},
        {"MIDIMasterTempo", "fast", {}, "bad value for MIDIMasterTempo: 'fast' is not a number"},
    };
    for (const CRow& row : rows) {
        CSettingsRecord change;
        std::string message;
        const bool taken = ParseSettingChange(records, row.name, row.text, change, message);
        EXPECT_EQ(taken, row.message == nullptr) << row.name << "=" << row.text;
        if (taken) {
            EXPECT_EQ(change.name, row.name);
            EXPECT_EQ(change.data, row.data) << row.name << "=" << row.text;
        } else {
            EXPECT_EQ(message, row.message);
        }
    }
}

TEST(SettingsFileTest, WritesWholeFilesAndLeavesNoTemporaryFile)
{
    CScratchFolder folder;
    std::string path = folder / "deeper/velmora/tessarine.cfg";
    std::vector<uint8_t> block = BuildSettingsBlock({{"MIDILog", IntData(1)}});
    std::string error;
    ASSERT_TRUE(WriteSettingsFile(path, block, error)) << error;
    CSettingsFile file = ReadSettingsFile(path);
    EXPECT_EQ(file.state, CSettingsFileState::Valid);
    EXPECT_EQ(file.contents, block);

    std::vector<uint8_t> second = BuildSettingsBlock({{"MIDILog", IntData(0)}});
    ASSERT_TRUE(WriteSettingsFile(path, second, error)) << error;
    EXPECT_EQ(ReadSettingsFile(path).contents, second);
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder / "deeper/velmora")) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);

    EXPECT_EQ(ReadSettingsFile(folder / "absent.cfg").state, CSettingsFileState::Missing);
    EXPECT_EQ(ReadSettingsFile(folder.Path()).state, CSettingsFileState::Unreadable);
    WriteWholeFile(folder / "not-a-folder", "x");
    EXPECT_FALSE(WriteSettingsFile(folder / "not-a-folder/tessarine.cfg", block, error));
    EXPECT_FALSE(error.empty());
}

TEST(SettingsFileTest, BackupsNeverOverwriteEarlierOnes)
{
    CScratchFolder folder;
    std::string path = folder / "tessarine.cfg";
    std::string first, second, error;
    ASSERT_TRUE(BackUpSettingsFile(path, Bytes("one"), first, error)) << error;
    ASSERT_TRUE(BackUpSettingsFile(path, Bytes("two"), second, error)) << error;
    EXPECT_EQ(first, path + ".corrupt");
    EXPECT_NE(first, second);
    EXPECT_EQ(ReadWholeFile(first), "one");
    EXPECT_EQ(ReadWholeFile(second), "two");
}

}  // namespace
