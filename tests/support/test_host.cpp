// The test host.
#include "tests/support/test_host.h"

#include <cstdlib>

CTestHost::CTestHost()
{
    host.Console().SetRecording(true);
    host.Console().SetVerbose(true);
    if (!std::getenv("TESSARINE_TEST_VERBOSE")) host.Console().SetStream(nullptr);
    component = velmora_get_interface(&host, nullptr);
}

CTestHost::~CTestHost() { velmora_get_interface(nullptr, nullptr); }

size_t CTestHost::CountConsoleLines(const std::string& text, int32_t severity)
{
    size_t count = 0;
    for (const CConsoleLine& line : host.Console().GetLines())
        if ((severity == 0 || line.severity == severity) && line.text.find(text) != std::string::npos) ++count;
    return count;
}

std::vector<uint8_t> CTestHost::SaveSettings()
{
    CSettingsBuffer buffer;
    if (component) component->SaveSettings(&buffer);
    return buffer.Bytes();
}
