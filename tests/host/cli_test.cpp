// bin/velmora as a user runs it: settings kept across runs, typed values,
// errors with status 2, damaged settings files left alone or backed up.
#include "host/objects/settings_block.h"
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

class CliTest : public ::testing::Test {
protected:
    CRun Run(const std::vector<std::string>& arguments)
    {
        return RunVelmora("VELMORA_CONFIG=" + Quote(configPath), arguments, folder / "stderr");
    }

    CScratchFolder folder;
    std::string configPath = folder / "config/tessarine.cfg";
};

const char* const freshList = "MIDICustomDLS=\n"
                              "MIDIUseCustomDLS=0\n"
                              "MIDIMasterTempo=0\n"
                              "MIDIMasterVolume=0\n"
                              "MIDIChorus=0\n"
                              "MIDIReverb=0\n"
                              "MIDIOutputPort=-1\n"
                              "MIDIPadBefore=100\n"
                              "MIDIOutputBuffer=176400\n"
                              "MIDILog=1\n";

TEST_F(CliTest, FreshConfigurationListsTheDefaultsAndTheFirstChangeWritesTheBlock)
{
    CRun run = Run({"config", "list"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, freshList);
    EXPECT_FALSE(std::filesystem::exists(configPath)) << "listing changes nothing, so saves nothing";

    ASSERT_EQ(Run({"config", "set", "MIDIReverb", "1"}).status, 0);
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(configPath).permissions() & perms::all, perms::owner_read | perms::owner_write);
    std::string file = ReadWholeFile(configPath);
    CSettingsParse parse = ParseSettingsBlock(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    EXPECT_TRUE(parse.complete);
    EXPECT_EQ(parse.records.size(), 10u);
    const std::string logRecord("\x07\0\0\0MIDILog\x04\0\0\0\x01\0\0\0", 19);
    ASSERT_GE(file.size(), 19u);
    EXPECT_EQ(file.substr(file.size() - 19), logRecord);
    EXPECT_EQ(std::string(file.data(), 4 + 13 + 4), std::string("\x0D\0\0\0MIDICustomDLS\0\0\0\0", 21));
}

// Hosts changing different settings at once, beside hosts that only read
// them, lose none of the changes.
TEST_F(CliTest, ConcurrentSettersLoseNothing)
{
    const struct {
        const char* name;
        const char* values[2];  // by the round's parity, so every round changes each
    } rows[] = {
        {"MIDICustomDLS", {"/kits/a.dls", "/kits/b.dls"}},
        {"MIDIUseCustomDLS", {"1", "0"}},
        {"MIDIMasterTempo", {"12.5", "40"}},
        {"MIDIMasterVolume", {"33", "77"}},
        {"MIDIChorus", {"1", "0"}},
        {"MIDIReverb", {"1", "0"}},
        {"MIDIPadBefore", {"7", "9"}},
        {"MIDILog", {"0", "1"}},
    };
    const std::string velmora = "VELMORA_CONFIG=" + Quote(configPath) + " " + Quote(BinaryFolder() + "/bin/velmora");
    for (int round = 0; round < 5; ++round) {
        std::string script;
        for (const auto& row : rows)
            script += velmora + " config set " + row.name + " " + Quote(row.values[round % 2]) + " & ";
        script += velmora + " config list >/dev/null & " + velmora + " config get MIDILog >/dev/null & wait";
        ASSERT_EQ(std::system(script.c_str()), 0);
        const CRun list = Run({"config", "list"});
        for (const auto& row : rows)
            EXPECT_NE(list.out.find(std::string(row.name) + "=" + row.values[round % 2] + "\n"), std::string::npos)
                << "round " << round << ": " << row.name << "\n"
                << list.out;
    }
}

// A command that changes no setting leaves the file as it is (or absent);
// one that changes a setting keeps the records the component does not
// know, byte for byte.
TEST_F(CliTest, OnlyChangesAreSavedAndUnknownRecordsStay)
{
    const std::string song = std::string(TESSARINE_SOURCE_DIR) + "/examples/morning_walk.mid";
    const std::vector<uint8_t> unknownBlock =
        BuildSettingsBlock({{"MIDIFromANewerBuild", {1, 2, 3}}, {"MIDIReverb", {1, 0, 0, 0}}});
    const std::string unknown(unknownBlock.begin(), unknownBlock.end());
    const struct {
        std::vector<std::string> command;
        bool changes;
    } rows[] = {
        {{"config", "list"}, false},
        {{"config", "get", "MIDILog"}, false},
        {{"config", "set", "MIDILog", "1"}, false},
        {{"info", song}, false},
        {{"decode", song, "-o", folder / "out.wav", "--set", "MIDIChorus=1"}, false},
        {{"config", "set", "MIDIChorus", "1"}, true},
    };
    for (const auto& row : rows)
        for (const bool present : {false, true}) {
            std::filesystem::remove(configPath);
            if (present) {
                std::filesystem::create_directories(folder / "config");
                WriteWholeFile(configPath, unknown);
            }
            const CRun run = Run(row.command);
            EXPECT_EQ(run.status, 0) << row.command[0] << ": " << run.err;
            if (!row.changes) {
                EXPECT_EQ(std::filesystem::exists(configPath), present) << row.command[0];
                if (present) {
                    EXPECT_EQ(ReadWholeFile(configPath), unknown) << row.command[0];
                }
                continue;
            }
            const std::string now = ReadWholeFile(configPath);
            EXPECT_EQ(now.find(unknown.substr(0, 4 + 19 + 4 + 3)) != std::string::npos, present) << now.size();
            EXPECT_EQ(Run({"config", "get", "MIDIChorus"}).out, "1\n");
            EXPECT_EQ(Run({"config", "get", "MIDIReverb"}).out, present ? "1\n" : "0\n");
        }
}

// A settings file reached through a link is changed where the link leads;
// the link stays, and nothing temporary is left in either folder.
TEST_F(CliTest, SymlinkedSettingsFileIsWrittenThrough)
{
    const struct {
        std::string linkTarget;  // as the link holds it
        bool exists;             // the target is there before
    } rows[] = {
        {"../real/tessarine.cfg", true},
        {folder / "real/tessarine.cfg", true},
        {"../real/tessarine.cfg", false},
    };
    for (const auto& row : rows) {
        std::filesystem::remove_all(folder / "config");
        std::filesystem::remove_all(folder / "real");
        std::filesystem::create_directories(folder / "config");
        std::filesystem::create_directories(folder / "real");
        if (row.exists) WriteWholeFile(folder / "real/tessarine.cfg", "");
        std::filesystem::create_symlink(row.linkTarget, configPath);
        ASSERT_EQ(Run({"config", "set", "MIDIReverb", "1"}).status, 0) << row.linkTarget;
        EXPECT_TRUE(std::filesystem::is_symlink(configPath)) << row.linkTarget;
        const std::string real = ReadWholeFile(folder / "real/tessarine.cfg");
        EXPECT_TRUE(ParseSettingsBlock(reinterpret_cast<const uint8_t*>(real.data()), real.size()).complete);
        EXPECT_NE(real.find(std::string("MIDIReverb\x04\0\0\0\x01", 15)), std::string::npos) << row.linkTarget;
        EXPECT_EQ(Run({"config", "get", "MIDIReverb"}).out, "1\n");
        for (const char* sub : {"config", "real"}) {
            size_t files = 0;
            for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder / sub)) ++files;
            EXPECT_EQ(files, 1u) << sub << " " << row.linkTarget;
        }
    }
}

TEST_F(CliTest, SettingsSurviveARestartAndResetRestoresDefaults)
{
    ASSERT_EQ(Run({"config", "set", "MIDIReverb", "1"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "MIDIMasterTempo", "37.5"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "MIDIOutputPort", "-1"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "MIDICustomDLS", "/sounds/my kit.dls"}).status, 0);
    EXPECT_EQ(Run({"config", "get", "MIDIReverb"}).out, "1\n");
    EXPECT_EQ(Run({"config", "get", "MIDIMasterTempo"}).out, "37.5\n");
    EXPECT_EQ(Run({"config", "get", "MIDICustomDLS"}).out, "/sounds/my kit.dls\n");

    ASSERT_EQ(Run({"config", "set", "MIDICustomDLS", ""}).status, 0);
    EXPECT_EQ(Run({"config", "get", "MIDICustomDLS"}).out, "\n");

    ASSERT_EQ(Run({"config", "reset"}).status, 0);
    EXPECT_EQ(Run({"config", "list"}).out, freshList);
}

TEST_F(CliTest, UnknownNamesAndBadValuesFailWithStatusTwoAndSaveNothing)
{
    ASSERT_EQ(Run({"config", "set", "MIDIChorus", "1"}).status, 0);
    std::string before = ReadWholeFile(configPath);

    CRun unknown = Run({"config", "set", "MIDIchorus", "0"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown setting 'MIDIchorus'"), std::string::npos) << unknown.err;
    CRun bad = Run({"config", "set", "MIDIChorus", "yes"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("MIDIChorus"), std::string::npos) << bad.err;
    EXPECT_EQ(Run({"config", "set", "MIDIMasterTempo", "fast"}).status, 2);
    EXPECT_EQ(Run({"config", "get", "NoSuchSetting"}).status, 2);
    EXPECT_EQ(Run({"config", "set", "MIDIChorus"}).status, 2);
    EXPECT_EQ(Run({"config", "frobnicate"}).status, 2);
    EXPECT_EQ(Run({"--no-such-option", "about"}).status, 2);
    EXPECT_EQ(ReadWholeFile(configPath), before);
    EXPECT_EQ(Run({"config", "get", "MIDIChorus"}).out, "1\n");
}

TEST_F(CliTest, DamagedFileIsReportedLeftAloneAndBackedUpBeforeReplacing)
{
    ASSERT_EQ(Run({"config", "set", "MIDIReverb", "1"}).status, 0);
    std::string damaged = ReadWholeFile(configPath);
    damaged.resize(damaged.size() - 3);  // the last record cut short
    WriteWholeFile(configPath, damaged);

    CRun list = Run({"config", "list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.err.find("damaged"), std::string::npos) << list.err;
    EXPECT_NE(list.out.find("MIDIReverb=1\n"), std::string::npos) << "records before the damage still apply";
    EXPECT_EQ(ReadWholeFile(configPath), damaged);
    EXPECT_FALSE(std::filesystem::exists(configPath + ".corrupt"));

    CRun set = Run({"config", "set", "MIDIChorus", "1"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(ReadWholeFile(configPath + ".corrupt"), damaged);
    std::string now = ReadWholeFile(configPath);
    EXPECT_TRUE(ParseSettingsBlock(reinterpret_cast<const uint8_t*>(now.data()), now.size()).complete);
    EXPECT_EQ(Run({"config", "get", "MIDIChorus"}).out, "1\n");

    // A second damaged file gets a backup of its own.
    WriteWholeFile(configPath, "garbage");
    ASSERT_EQ(Run({"config", "reset"}).status, 0);
    EXPECT_EQ(ReadWholeFile(configPath + ".corrupt"), damaged);
    EXPECT_EQ(ReadWholeFile(configPath + ".corrupt.1"), "garbage");
}

TEST_F(CliTest, AboutPrintsTheVersionTextsAndPageNames)
{
    CRun run = Run({"about"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* text :
         {"DirectMusic Synthesised MIDI player", "1.02", "Plays back MIDI files using the DirectMusic API",
          "libtessarine.so", "Page name: DirectMusic Player", "Parent page: Input"})
        EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
    EXPECT_LT(run.out.find("Version information"), run.out.find("Preferences page"));
}

TEST_F(CliTest, EveryCommandHasHelp)
{
    // With what a help must say, where it says more than its usage.
    for (const auto& [words, says] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--help"}, ""},
             {{"about", "--help"}, ""},
             {{"config", "--help"}, ""},
             {{"config", "list", "--help"}, ""},
             {{"config", "get", "--help"}, ""},
             {{"config", "set", "--help"}, ""},
             {{"--help", "config", "reset"}, ""},
             {{"decode", "--help"}, "decoding fails\nor it was interrupted"},
             {{"info", "--help"}, ""}}) {
        CRun run = Run(words);
        EXPECT_EQ(run.status, 0) << words[0];
        EXPECT_EQ(run.out.rfind("Usage: velmora", 0), 0u) << run.out;
        EXPECT_NE(run.out.find(says), std::string::npos) << run.out;
    }
    EXPECT_FALSE(std::filesystem::exists(configPath)) << "help loads nothing and saves nothing";
    EXPECT_EQ(Run({}).status, 2);
}

TEST_F(CliTest, MissingComponentIsAClearFailure)
{
    CRun run = Run({"--component", folder / "libnothing.so", "about"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot load the component"), std::string::npos) << run.err;
}

}  // namespace
