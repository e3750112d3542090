// The test host installed into the component: what the component sends to
// the console arrives recorded, and files open through the host.
#include "tessarine/frame/config.h"
#include "tessarine/frame/host_access.h"
#include "tessarine/frame/log.h"
#include "tests/host/host_test_support.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

namespace {

TEST(TestHostTest, RecordsTheComponentsConsoleLines)
{
    CTestHost host;
    int32_t oldLog = configLog.value;
    configLog.value = 1;
    LogLine("Port Enumeration failed");
    configLog.value = oldLog;
    ConsoleOutput(3, "A seek command was issued too soon.");
    std::vector<CConsoleLine> lines = host.ConsoleLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].severity, 1);
    EXPECT_EQ(lines[0].text, "Port Enumeration failed");
    EXPECT_EQ(host.CountConsoleLines("issued too soon", 3), 1u);
    host.ClearConsoleLines();
    EXPECT_TRUE(host.ConsoleLines().empty());
}

TEST(TestHostTest, ComponentOpensLocalFilesAndArchiveMembersThroughIt)
{
    CTestHost host;
    CScratchFolder folder;
    CHostFile* file = OpenHostFile((folder / "temp.bin").c_str(), HOST_OPEN_READWRITE);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Write("abc", 3), 3u);
    file->Close();
    EXPECT_EQ(ReadWholeFile(folder / "temp.bin"), "abc");
    EXPECT_EQ(OpenHostFile(("archive://" + (folder / "none.zip") + "|a.mid").c_str(), HOST_OPEN_READ), nullptr);
    EXPECT_TRUE(RemoveHostFile(("file://" + folder.Path() + "/temp.bin").c_str()));
    EXPECT_FALSE(std::filesystem::exists(folder / "temp.bin"));
    EXPECT_EQ(host.SaveSettings().size() > 0, true);
}

}  // namespace
