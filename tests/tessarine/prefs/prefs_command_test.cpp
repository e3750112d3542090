// velmora prefs as a user runs it: the page's actions reach the saved
// settings, refused actions save nothing, show and render change nothing.
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

class PrefsCommandTest : public ::testing::Test {
protected:
    CRun Run(const std::string& arguments)
    {
        return RunVelmoraShell("cd " + Quote(folder.Path()) + " && VELMORA_CONFIG=" + Quote(configPath), arguments,
                               folder / "stderr");
    }
    std::string Get(const std::string& name)
    {
        std::string value = Run("config get " + name).out;
        return value.empty() ? value : value.substr(0, value.size() - 1);
    }

    CScratchFolder folder;
    std::string configPath = folder / "tessarine.cfg";
};

TEST_F(PrefsCommandTest, SetStoresThroughThePageOrNothing)
{
    WriteWholeFile(folder / "my.dls", "RIFF");
    // Longer than the chooser's answer can be: no such file can be named.
    std::string longPath = folder.Path();
    for (int i = 0; i < 17; ++i) longPath += "/" + std::string(250, 'd');
    const struct {
        std::string arguments;
        int status;
        std::vector<std::pair<std::string, std::string>> settings;
    } rows[] = {
        {"--reverb on --volume 37 --tempo 12",
         0,
         {{"MIDIReverb", "1"}, {"MIDIMasterVolume", "37"}, {"MIDIMasterTempo", "12"}}},
        {"--port 1 --chorus on --log off", 0, {{"MIDIOutputPort", "1"}, {"MIDIChorus", "1"}, {"MIDILog", "0"}}},
        {"--use-dls on --dls my.dls", 0, {{"MIDIUseCustomDLS", "1"}, {"MIDICustomDLS", folder / "my.dls"}}},
        // The chooser answers only a file that exists, and the page must take it.
        {"--reverb on --use-dls on --dls /sounds/none.dls", 1, {{"MIDIReverb", "0"}, {"MIDIUseCustomDLS", "0"}}},
        {"--use-dls on --dls " + longPath, 1, {{"MIDIUseCustomDLS", "0"}, {"MIDICustomDLS", ""}}},
        {"--use-dls on --dls " + folder.Path(), 1, {{"MIDIUseCustomDLS", "0"}, {"MIDICustomDLS", ""}}},
        {"--port default --use-dls off", 0, {{"MIDIOutputPort", "-1"}, {"MIDIUseCustomDLS", "0"}}},
        // Refused: a port off the list, a disabled button, bad values.
        {"--reverb on --port 2", 2, {{"MIDIReverb", "0"}, {"MIDIOutputPort", "-1"}}},
        {"--volume 50 --dls /x.dls", 2, {{"MIDIMasterVolume", "0"}, {"MIDICustomDLS", ""}}},
        {"--volume 101", 2, {{"MIDIMasterVolume", "0"}}},
        {"--reverb maybe", 2, {{"MIDIReverb", "0"}}},
        {"--speed-of-light 1", 2, {}},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(configPath);
        CRun run = Run("prefs set " + row.arguments);
        EXPECT_EQ(run.status, row.status) << row.arguments << "\n" << run.err;
        if (row.status == 1) {
            EXPECT_NE(run.err.find("--dls"), std::string::npos) << run.err;
        }
        for (const auto& [name, value] : row.settings) EXPECT_EQ(Get(name), value) << row.arguments << " " << name;
        if (row.status == 0) {
            EXPECT_EQ(Get("MIDIOutputBuffer"), "176400") << row.arguments;
        }
    }
}

TEST_F(PrefsCommandTest, ShowAndRenderLeaveTheSettingsAlone)
{
    ASSERT_EQ(Run("config set MIDIOutputBuffer 1000").status, 0);
    ASSERT_EQ(Run("config set MIDIOutputPort 1").status, 0);
    CRun show = Run("prefs show");
    ASSERT_EQ(show.status, 0) << show.err;
    const char* expectedLines[] = {
        "1001 combo box, selected 2 of 3\n    [0] \"Microsoft Synthesizer (with output)\"",
        "\n1003 check box \"Reverb\" unchecked\n",
        "\n1016 check box \"Debug Log\" checked\n",
        "\n1005 trackbar 0 (0..100)\n",
        "\n1009 read-only edit \"Capabilities\\r\\nMaximum Channels: 1\\r\\n",
        "\n1013 edit \"\" disabled\n1014 button \"...\" disabled\n",
        "\n1015 static \"Most settings take effect when you apply changes and restart playback.\"\n"};
    for (const char* line : expectedLines) EXPECT_NE(show.out.find(line), std::string::npos) << line << show.out;

    std::string png = folder / "page.png";
    CRun render = Run("prefs render '" + png + "'");
    ASSERT_EQ(render.status, 0) << render.err;
    std::string bytes = ReadWholeFile(png);
    ASSERT_GT(bytes.size(), 5000u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    // The page stored 176400 when it closed; the host put the settings back.
    EXPECT_EQ(Get("MIDIOutputBuffer"), "1000");
    EXPECT_EQ(Run("prefs render /no/such/folder/page.png").status, 1);
}

}  // namespace
