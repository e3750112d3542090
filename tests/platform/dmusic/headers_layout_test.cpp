// The platform's DirectMusic headers against the SDK's (mingw-w64): the same
// structure sizes and offsets, constants, method positions and GUID values.
// The layout half compiles a probe twice with the 32-bit Windows compiler and
// compares the data it emits; it is skipped where that compiler is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const char* kCompiler = "i686-w64-mingw32-g++";
const char* kSdkInclude = "/usr/share/mingw-w64/include";

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool HaveCompiler()
{
    return std::system((std::string(kCompiler) + " --version >/dev/null 2>&1").c_str()) == 0 &&
           std::filesystem::exists(std::string(kSdkInclude) + "/dmusici.h");
}

// Every label of the assembly with the 32-bit words that follow it.
std::map<std::string, std::vector<uint32_t>> DataWords(const std::string& assembly)
{
    std::map<std::string, std::vector<uint32_t>> words;
    std::vector<uint32_t>* current = nullptr;
    std::istringstream lines(assembly);
    std::string line;
    const std::regex label(R"(^(_\w+):)");
    const std::regex word(R"(^\s+\.long\s+(-?\d+))");
    const std::regex zeros(R"(^\s+\.(?:space|zero)\s+(\d+))");
    std::smatch match;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, match, label)) {
            current = &words[match[1]];
        } else if (current && std::regex_search(line, match, word)) {
            current->push_back(uint32_t(std::stoll(match[1])));
        } else if (current && std::regex_search(line, match, zeros)) {
            current->insert(current->end(), std::stoul(match[1]) / 4, 0u);
        }
    }
    return words;
}

std::string CompileProbe(const std::string& flags, const std::filesystem::path& output)
{
    const std::string probe = TESSARINE_SOURCE_DIR "/tests/platform/dmusic/data/sdk_layout_probe.cpp";
    const std::string command =
        std::string(kCompiler) + " -std=c++20 -S " + flags + " -o " + output.string() + " " + probe + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadText(output);
}

TEST(HeadersLayout, StructuresConstantsAndMethodOrderMatchTheSdk)
{
    if (!HaveCompiler()) GTEST_SKIP() << "no 32-bit mingw-w64 compiler";
    const auto dir = std::filesystem::temp_directory_path() / ("dmusic_probe_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto ours = DataWords(CompileProbe("-I " TESSARINE_SOURCE_DIR "/platform/include", dir / "ours.s"));
    const auto sdk = DataWords(CompileProbe("-DPROBE_SDK", dir / "sdk.s"));
    std::filesystem::remove_all(dir);

    // The probe's value list, to name a mismatch by its source line.
    const std::string source = ReadText(TESSARINE_SOURCE_DIR "/tests/platform/dmusic/data/sdk_layout_probe.cpp");
    std::vector<std::string> items;
    {
        std::istringstream lines(source.substr(source.find("probe_values[] = {")));
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line) && line != "};") items.push_back(line);
    }

    ASSERT_TRUE(ours.count("_probe_values"));
    ASSERT_TRUE(sdk.count("_probe_values"));
    const auto& mine = ours.at("_probe_values");
    const auto& theirs = sdk.at("_probe_values");
    ASSERT_EQ(mine.size(), theirs.size());
    ASSERT_EQ(mine.size(), items.size());
    for (size_t i = 0; i < mine.size(); ++i) EXPECT_EQ(mine[i], theirs[i]) << items[i];

    // The sizes callers rely on by number.
    EXPECT_NE(source.find("sizeof(_DMUS_OBJECTDESC)"), std::string::npos);
    int methods = 0;
    for (const auto& [name, words] : sdk) {
        if (name.rfind("_vt_", 0) != 0) continue;
        ++methods;
        ASSERT_TRUE(ours.count(name)) << name;
        EXPECT_EQ(ours.at(name), words) << name;
    }
    EXPECT_GT(methods, 150);
}

// name -> the eleven numbers of its DEFINE_GUID, from every header given.
std::map<std::string, std::vector<unsigned long>> GuidDefinitions(const std::vector<std::filesystem::path>& files)
{
    std::map<std::string, std::vector<unsigned long>> guids;
    const std::regex define(R"(DEFINE_GUID\(\s*(\w+)\s*,([^)]*)\))");
    for (const auto& file : files) {
        const std::string text = ReadText(file);
        for (std::sregex_iterator it(text.begin(), text.end(), define), end; it != end; ++it) {
            std::vector<unsigned long> values;
            std::stringstream parts((*it)[2].str());
            std::string part;
            while (std::getline(parts, part, ',')) values.push_back(std::stoul(part, nullptr, 0));
            guids[(*it)[1].str()] = values;
        }
    }
    return guids;
}

TEST(HeadersLayout, EveryGuidHasTheSdkValue)
{
    const std::vector<std::string> headers = {"dmusicc.h", "dmusici.h", "dmplugin.h", "dmusicf.h", "dls1.h", "dls2.h"};
    if (!std::filesystem::exists(std::string(kSdkInclude) + "/dmusici.h")) GTEST_SKIP() << "no SDK headers";
    std::vector<std::filesystem::path> ourFiles, sdkFiles;
    for (const auto& header : headers) {
        ourFiles.push_back(std::filesystem::path(TESSARINE_SOURCE_DIR "/platform/include") / header);
        sdkFiles.push_back(std::filesystem::path(kSdkInclude) / header);
    }
    const auto ours = GuidDefinitions(ourFiles);
    const auto sdk = GuidDefinitions(sdkFiles);
    EXPECT_GT(ours.size(), 150u);
    for (const auto& [name, values] : ours) {
        ASSERT_TRUE(sdk.count(name)) << name << " is not an SDK name";
        EXPECT_EQ(values, sdk.at(name)) << name;
    }
    // The identifiers the engine names by value.
    for (const char* name : {"CLSID_DirectMusicLoader", "IID_IDirectMusicLoader", "CLSID_DirectMusicPerformance",
                             "IID_IDirectMusicPerformance", "CLSID_DirectMusicSegment", "IID_IDirectMusicSegment",
                             "CLSID_DirectMusicCollection", "IID_IDirectMusicCollection", "GUID_DirectMusicAllTypes",
                             "GUID_StandardMIDIFile", "GUID_ConnectToDLSCollection", "GUID_Download", "GUID_Unload",
                             "GUID_TempoParam", "GUID_TimeSignature", "GUID_PerfMasterTempo", "GUID_PerfMasterVolume",
                             "GUID_NOTIFICATION_PERFORMANCE", "CLSID_DirectMusicSynth"})
        EXPECT_TRUE(ours.count(name)) << name;
}

}  // namespace
