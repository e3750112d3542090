// The extraction's diagnostic lines reach the host console while "MIDILog"
// is 1, and only then.
#include "tessarine/decoder/metadata.h"

#include "tessarine/frame/config.h"
#include "tessarine/frame/globals.h"

#include "tests/support/chunk_writer.h"
#include "tests/support/memory_host_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using testsupport::ByteVector;
using testsupport::CChunkWriter;
using testsupport::CMemoryHostFile;
using testsupport::CRecordingFileInfo;

namespace {

class CLineConsole : public CHostConsole {
public:
    int32_t Release() override { return 1; }
    int32_t AddRef() override { return 2; }
    CHostService* QueryClass(const GUID*) override { return nullptr; }
    void Output(int32_t severity, const char* text, const char* source) override
    {
        EXPECT_EQ(severity, 1);
        lines.emplace_back(text);
    }
    size_t Count(const std::string& line) const { return size_t(std::count(lines.begin(), lines.end(), line)); }

    std::vector<std::string> lines;
};

class CConsoleHost : public CHostInterface {
public:
    CHostService* EnumerateService(const GUID* cls, int32_t index) override
    {
        if (index == 0 && std::memcmp(cls, &CLSID_HostConsole, sizeof(GUID)) == 0) return &console;
        return nullptr;
    }
    int32_t GetHostVersion() override { return 1; }
    HWND GetMainWindow() override { return nullptr; }

    CLineConsole console;
};

class MetadataLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedLog = configLog.value;
        configLog.value = 1;
        velmora_get_interface(&host, nullptr);
    }
    void TearDown() override
    {
        velmora_get_interface(nullptr, nullptr);
        configLog.value = savedLog;
    }

    CConsoleHost host;
    int32_t savedLog = 0;
};

}  // namespace

// The file ends right after a marker: the type byte cannot be read.
TEST_F(MetadataLog, MissingTypeByteLogsThePosition)
{
    // A track that claims more than the file holds, cut after a marker.
    const ByteVector bytes = CChunkWriter().Fill(92, 0x01).Text("MTrk").Be32(0xFFFFFFF0).U8(0x00).U8(0xFF).Bytes();
    CMemoryHostFile file(bytes);
    CRecordingFileInfo info;
    EXPECT_TRUE(ExtractMetadata(&info, &file));
    EXPECT_EQ(host.console.Count("Error encountered in file at: 102"), 1u);
}

// Each search step in a short block logs, whether it finds the first byte or
// not; full blocks log nothing.
TEST_F(MetadataLog, NearEndForEachStepInAShortBlock)
{
    // 1000 bytes, pattern length 4: blocks of 28 read every 24 bytes, the one
    // at 984 short (16 bytes). Its three 'L's give three steps that find one
    // and a fourth that finds none.
    ByteVector bytes(1000, 0x01);
    bytes[990] = bytes[993] = bytes[996] = 'L';
    CMemoryHostFile file(bytes);
    EXPECT_EQ(FindInFile(&file, "LIST", 4), -1);
    EXPECT_EQ(host.console.Count("Near end."), 4u);

    host.console.lines.clear();
    CMemoryHostFile exact(ByteVector(1000, 0x01));
    EXPECT_EQ(FindInFile(&exact, "LIST", 4), -1);
    EXPECT_EQ(host.console.Count("Near end."), 1u);
}

TEST_F(MetadataLog, UnsearchableFileIsReported)
{
    CMemoryHostFile file(ByteVector(500, 0x01));
    file.canSeek = false;
    EXPECT_EQ(FindInFile(&file, "LIST", 4), -1);
    EXPECT_EQ(host.console.lines,
              std::vector<std::string>{"The reader has either entered a corrupted state or does not support a "
                                       "required feature for searching."});
}

TEST_F(MetadataLog, NothingIsLoggedWhileTheSwitchIsOff)
{
    configLog.value = 0;
    // A track that claims more than the file holds, cut after a marker.
    const ByteVector bytes = CChunkWriter().Fill(92, 0x01).Text("MTrk").Be32(0xFFFFFFF0).U8(0x00).U8(0xFF).Bytes();
    CMemoryHostFile file(bytes);
    CRecordingFileInfo info;
    EXPECT_TRUE(ExtractMetadata(&info, &file));
    EXPECT_TRUE(host.console.lines.empty());
}
