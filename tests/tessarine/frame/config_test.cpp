// The ten configuration variables and the settings block.
#include "fake_host.h"

#include "tessarine/frame/config.h"
#include "tessarine/frame/services.h"

#include <cstring>

namespace {

class CRecordingWriter final : public CSettingsWriter {
public:
    void Write(const void* data, uint32_t size) override
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        block.insert(block.end(), bytes, bytes + size);
        writeSizes.push_back(size);
    }

    std::vector<uint8_t> block;
    std::vector<uint32_t> writeSizes;
};

// Builds settings blocks record by record.
class CBlock {
public:
    CBlock& Word(uint32_t value)
    {
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
        return *this;
    }
    CBlock& Raw(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
        return *this;
    }
    CBlock& Record(const std::string& name, const void* data, uint32_t size)
    {
        return Word(uint32_t(name.size())).Raw(name.data(), name.size()).Word(size).Raw(data, size);
    }
    CBlock& Int(const std::string& name, int32_t value) { return Record(name, &value, 4); }
    CBlock& Text(const std::string& name, const std::string& text)
    {
        return Record(name, text.data(), uint32_t(text.size()));
    }
    void Load() const { GetComponentInterface()->LoadSettings(bytes.data(), uint32_t(bytes.size())); }

    std::vector<uint8_t> bytes;
};

// Restores the defaults around every test, since the variables are global.
class Settings : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        configLog.value = 1;
        configOutputBuffer.value = 176400;
        configPadBefore.value = 100;
        configOutputPort.value = -1;
        configReverb.value = 0;
        configChorus.value = 0;
        configMasterVolume.value = 0;
        configMasterTempo.value = 0.0f;
        configUseCustomDls.value = 0;
        configCustomDls.SetText(nullptr);
    }
    static std::vector<uint8_t> Save()
    {
        CRecordingWriter writer;
        GetComponentInterface()->SaveSettings(&writer);
        return writer.block;
    }
};

TEST_F(Settings, VariableListRunsInReverseOfConstruction)
{
    std::vector<std::string> names;
    for (CConfigVariable* v = GetFirstConfigVariable(); v; v = v->GetNext()) names.push_back(v->GetName());
    EXPECT_EQ(names, (std::vector<std::string>{"MIDICustomDLS", "MIDIUseCustomDLS", "MIDIMasterTempo",
                                               "MIDIMasterVolume", "MIDIChorus", "MIDIReverb", "MIDIOutputPort",
                                               "MIDIPadBefore", "MIDIOutputBuffer", "MIDILog"}));
}

TEST_F(Settings, DefaultBlockIsByteForByteTheRecordFormat)
{
    CBlock expected;
    expected.Record("MIDICustomDLS", "", 0)
        .Int("MIDIUseCustomDLS", 0)
        .Int("MIDIMasterTempo", 0)
        .Int("MIDIMasterVolume", 0)
        .Int("MIDIChorus", 0)
        .Int("MIDIReverb", 0)
        .Int("MIDIOutputPort", -1)
        .Int("MIDIPadBefore", 100)
        .Int("MIDIOutputBuffer", 176400)
        .Int("MIDILog", 1);
    const std::vector<uint8_t> saved = Save();
    EXPECT_EQ(saved, expected.bytes);
    // The last record is the 19 bytes of "MIDILog" = 1.
    const uint8_t log[19] = {7, 0, 0, 0, 'M', 'I', 'D', 'I', 'L', 'o', 'g', 4, 0, 0, 0, 1, 0, 0, 0};
    ASSERT_GE(saved.size(), 19u);
    EXPECT_EQ(std::memcmp(saved.data() + saved.size() - 19, log, 19), 0);
}

TEST_F(Settings, EachFieldIsOneWriteAndEmptyDataIsNotWritten)
{
    CRecordingWriter writer;
    GetComponentInterface()->SaveSettings(&writer);
    // Text record: length, name, length (no data); then nine of four writes.
    ASSERT_EQ(writer.writeSizes.size(), 3u + 9u * 4u);
    EXPECT_EQ(writer.writeSizes[0], 4u);
    EXPECT_EQ(writer.writeSizes[1], 13u);
    EXPECT_EQ(writer.writeSizes[2], 4u);
    EXPECT_EQ(writer.writeSizes[3], 4u);
    EXPECT_EQ(writer.writeSizes[4], 16u);
}

TEST_F(Settings, SavedValuesLoadBackUnchanged)
{
    configCustomDls.SetText("C:\\Sounds\\gm.dls");
    configMasterTempo.value = 37.5f;
    configOutputPort.value = 2;
    configLog.value = 0;
    const std::vector<uint8_t> saved = Save();
    Reset();
    GetComponentInterface()->LoadSettings(saved.data(), uint32_t(saved.size()));
    EXPECT_EQ(configCustomDls.CopyText(), "C:\\Sounds\\gm.dls");
    EXPECT_EQ(configMasterTempo.value, 37.5f);
    EXPECT_EQ(configOutputPort.value, 2);
    EXPECT_EQ(configLog.value, 0);
    EXPECT_EQ(Save(), saved);
}

TEST_F(Settings, BlocksOfFourBytesOrFewerChangeNothing)
{
    const uint8_t block[4] = {0, 0, 0, 0};
    configLog.value = 5;
    for (uint32_t size = 0; size <= 4; ++size) GetComponentInterface()->LoadSettings(block, size);
    GetComponentInterface()->LoadSettings(nullptr, 100);
    EXPECT_EQ(configLog.value, 5);
}

TEST_F(Settings, WrongSizeRecordIsSkippedAndReadingGoesOn)
{
    const uint16_t two = 1;
    CBlock block;
    block.Record("MIDIReverb", &two, 2).Int("MIDIChorus", 1).Int("MIDINoSuchThing", 9).Int("MIDILog", 0);
    block.Load();
    EXPECT_EQ(configReverb.value, 0);
    EXPECT_EQ(configChorus.value, 1);
    EXPECT_EQ(configLog.value, 0);
}

TEST_F(Settings, OversizedDataLengthStopsReadingKeepingEarlierRecords)
{
    CBlock block;
    block.Int("MIDIReverb", 1).Word(7).Raw("MIDILog", 7).Word(5).Raw("\0\0\0\0", 4);
    block.Load();
    EXPECT_EQ(configReverb.value, 1);
    EXPECT_EQ(configLog.value, 1);
}

TEST_F(Settings, TruncatedBlocksNeverChangeWhatTheyDoNotFullyName)
{
    CBlock full;
    full.Int("MIDIOutputPort", 3).Int("MIDIPadBefore", 7);
    // Every cut inside the second record keeps its variable untouched.
    for (size_t cut = full.bytes.size() - 1; cut > full.bytes.size() / 2; --cut) {
        configOutputPort.value = -1;
        configPadBefore.value = 100;
        GetComponentInterface()->LoadSettings(full.bytes.data(), uint32_t(cut));
        EXPECT_EQ(configOutputPort.value, 3) << "cut at " << cut;
        EXPECT_EQ(configPadBefore.value, 100) << "cut at " << cut;
    }
    // A name length that runs past the end stops at once.
    CBlock bad;
    bad.Word(1000).Raw("MIDILog", 7).Word(4).Word(0);
    bad.Load();
    EXPECT_EQ(configLog.value, 1);
}

TEST_F(Settings, NamesMatchCaseSensitivelyAndEndAtTheirFirstNul)
{
    CBlock block;
    block.Int("midilog", 0).Int("MIDILOG", 0);
    block.Load();
    EXPECT_EQ(configLog.value, 1);
    CBlock withNul;
    withNul.Record(std::string("MIDIChorus\0xy", 13), "\1\0\0\0", 4);
    withNul.Load();
    EXPECT_EQ(configChorus.value, 1);
}

TEST_F(Settings, LaterRecordOverridesAnEarlierOne)
{
    CBlock block;
    block.Int("MIDIMasterVolume", 10).Int("MIDIMasterVolume", 80);
    block.Load();
    EXPECT_EQ(configMasterVolume.value, 80);
}

TEST_F(Settings, TextRecordsOfLengthZeroOrStartingWithNulEmptyTheText)
{
    configCustomDls.SetText("old.dls");
    CBlock empty;
    empty.Text("MIDICustomDLS", "").Int("MIDIReverb", 1);
    empty.Load();
    EXPECT_EQ(configCustomDls.CopyText(), "");
    EXPECT_EQ(configReverb.value, 1);

    CBlock cut;
    cut.Text("MIDICustomDLS", std::string("a.dls\0junk", 10));
    cut.Load();
    EXPECT_EQ(configCustomDls.CopyText(), "a.dls");
    configCustomDls.SetRawData("\0x", 2);
    EXPECT_EQ(configCustomDls.CopyText(), "");
}

TEST_F(Settings, FloatTakesItsFourBytesAsASingle)
{
    const float tempo = 12.25f;
    CBlock block;
    block.Record("MIDIMasterTempo", &tempo, 4);
    block.Load();
    EXPECT_EQ(configMasterTempo.value, 12.25f);
    configMasterTempo.SetRawData("\0\0\0\0\0", 5);
    EXPECT_EQ(configMasterTempo.value, 12.25f);
}

// "MIDIOutputBuffer" as a block size: whole frames from one frame to ten
// seconds; anything below is one second, anything above ten seconds.
TEST(BlockSize, SettingIsHeldToWholeFramesInASaneRange)
{
    const struct {
        int32_t setting;
        uint32_t block;
    } rows[] = {{INT32_MIN, 176400},
                {-1, 176400},
                {0, 176400},
                {3, 176400},
                {4, 4},
                {7, 4},
                {17640, 17640},
                {176400, 176400},
                {1764000, 1764000},
                {1764003, 1764000},
                {1764004, 1764000},
                {INT32_MAX, 1764000}};
    for (const auto& row : rows) EXPECT_EQ(GetBlockSize(row.setting), row.block) << row.setting;
}

}  // namespace
