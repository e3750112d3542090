// LogLine's gate and bound, and the warning line of ReportDirectXResult.
#include "fake_host.h"

#include "tessarine/frame/config.h"
#include "tessarine/frame/log.h"

namespace {

class Logging : public CFakeHostTest {
protected:
    void SetUp() override
    {
        CFakeHostTest::SetUp();
        host.console = &console;
        configLog.value = 1;
    }
    void TearDown() override
    {
        configLog.value = 1;
        EXPECT_EQ(console.refCount, 1);
        CFakeHostTest::TearDown();
    }

    CRecordingConsole console;
};

TEST_F(Logging, LinesReachTheConsoleOnlyWhileTheSwitchIsExactlyOne)
{
    LogLine("Port Enumeration failed");
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_EQ(console.lines[0].severity, 1);
    EXPECT_EQ(console.lines[0].text, "Port Enumeration failed");
    for (int32_t value : {0, 2, -1}) {
        configLog.value = value;
        LogLine("Port Enumeration failed");
        ReportDirectXResult(E_FAIL, "Performance->Init");
    }
    EXPECT_EQ(console.lines.size(), 1u);
}

TEST_F(Logging, FormatsValuesAndCutsLongLinesAt511)
{
    LogLine("Wait increased MIDI song length by %g seconds", 1.5);
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_EQ(console.lines[0].text, "Wait increased MIDI song length by 1.5 seconds");
    const std::string longText(2000, 'x');
    LogLine("%s", longText.c_str());
    ASSERT_EQ(console.lines.size(), 2u);
    EXPECT_EQ(console.lines[1].text, longText.substr(0, 511));
}

TEST_F(Logging, ReportSkipsSuccessAndNamesEveryOtherCode)
{
    ReportDirectXResult(S_OK, "Performance->Init");
    EXPECT_TRUE(console.lines.empty());
    ReportDirectXResult(S_FALSE, "Port->Activate");
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_EQ(console.lines[0].text, "Warning: A DirectX call returned S_FALSE. Message: Port->Activate");
    ReportDirectXResult(HRESULT(0x7FFFFFFF), nullptr);
    EXPECT_EQ(console.lines[1].text, "Warning: A DirectX call returned Unknown. Message: ");
}

TEST_F(Logging, LabelIsCutAt128Characters)
{
    const std::string label = std::string(128, 'a') + "TAIL";
    ReportDirectXResult(S_FALSE, label.c_str());
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_EQ(console.lines[0].text, "Warning: A DirectX call returned S_FALSE. Message: " + std::string(128, 'a'));
}

}  // namespace
