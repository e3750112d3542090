// velmora decode over a collection: the files it makes, the report, the exit
// status, an interrupted run and its resumption, and shards.
#include "tests/host/host_test_support.h"
#include "tests/support/zip_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Example(const std::string& name) { return std::string(TESSARINE_SOURCE_DIR) + "/examples/" + name; }
std::string Shared(const std::string& name) { return std::string(TESSARINE_TESTDATA_DIR) + "/midi/" + name; }

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& part)
{
    size_t count = 0;
    for (const std::string& line : lines) count += line.find(part) != std::string::npos;
    return count;
}

class CollectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(folder / "tmp");
        fs::create_directories(folder / "in/sub");
    }

    std::string Environment()
    {
        return "TMPDIR=" + Quote(folder / "tmp") + " VELMORA_CONFIG=" + Quote(folder / "velmora.cfg");
    }
    CRun Run(const std::vector<std::string>& arguments)
    {
        return RunVelmora(Environment(), arguments, folder / "stderr");
    }

    // Runs a shell script in the scratch folder.
    CRun RunScript(const std::string& script)
    {
        return RunShell("cd " + Quote(folder.Path()) + " && { " + script + "\n}", folder / "stderr");
    }

    // The names in a folder; hidden ones (a partial file) included.
    std::set<std::string> Names(const std::string& sub)
    {
        std::set<std::string> names;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder / sub, ignored)) names.insert(entry.path().filename());
        return names;
    }

    void Copy(const std::string& from, const std::string& to) { fs::copy_file(from, folder / to); }

    CScratchFolder folder;
};

}  // namespace

// Six inputs, one of them junk, two jobs: five files, each the bytes a decode
// of its input alone gives, and a report line for each of the six.
TEST_F(CollectionTest, SixFilesOneJunkGiveFiveFilesAndSixReportLines)
{
    Copy(Shared("test-2-tracks-type-1.mid"), "in/two.mid");
    Copy(Shared("test-2-tracks-type-0.mid"), "in/zero.mid");
    Copy(Shared("test-2-tracks-type-2.mid"), "in/sub/two.mid");
    Copy(Example("morning_walk.rmi"), "in/walk.rmi");
    Copy(Shared("test-not-a-midi-file.mid"), "in/junk.mid");
    WriteWholeFile(folder / "in/notes.txt", "not music");
    ASSERT_TRUE(
        testsupport::WriteZip(folder / "songs.zip", {{"readme.txt", "text"},
                                                     {"dir/kar.mid", ReadWholeFile(Shared("test-karaoke-kar.mid"))}}));
    const CRun run = Run({"decode", folder / "in", folder / "songs.zip", "-o", folder / "out/", "--jobs", "2",
                          "--report", folder / "report.jsonl"});
    EXPECT_EQ(run.status, 1) << run.err;

    const struct {
        const char* output;
        std::string input;
    } rows[] = {
        {"two.wav", folder / "in/sub/two.mid"},  // sorted first: ".../in/sub/two.mid" < ".../in/two.mid"
        {"two-2.wav", folder / "in/two.mid"},   {"zero.wav", folder / "in/zero.mid"},
        {"walk.wav", folder / "in/walk.rmi"},   {"kar.wav", "archive://" + (folder / "songs.zip") + "|dir/kar.mid"},
    };
    std::set<std::string> expected;
    for (const auto& row : rows) {
        expected.insert(row.output);
        ASSERT_EQ(Run({"decode", row.input, "-o", folder / "alone.wav"}).status, 0) << row.input;
        const std::string made = ReadWholeFile(folder / (std::string("out/") + row.output));
        EXPECT_GT(made.size(), 176400u) << row.output;
        const std::string alone = ReadWholeFile(folder / "alone.wav");
        const size_t same = size_t(
            std::mismatch(made.begin(), made.begin() + long(std::min(made.size(), alone.size())), alone.begin()).first -
            made.begin());
        EXPECT_TRUE(made == alone) << row.output << " differs from a decode of " << row.input << ": " << made.size()
                                   << " against " << alone.size() << " bytes, the same up to byte " << same;
        if (made != alone && std::getenv("TESSARINE_KEEP_DIFFERENCES"))
            fs::copy(folder / "", std::getenv("TESSARINE_KEEP_DIFFERENCES"), fs::copy_options::recursive);
    }
    EXPECT_EQ(Names("out"), expected);

    const std::vector<std::string> report = Lines(ReadWholeFile(folder / "report.jsonl"));
    EXPECT_EQ(report.size(), 6u);
    EXPECT_EQ(CountContaining(report, "\"status\": \"converted\""), 5u);
    EXPECT_EQ(CountContaining(report, "\"status\": \"failed\""), 1u);
    EXPECT_EQ(CountContaining(report, "\"error\": null"), 5u);
    EXPECT_EQ(CountContaining(report, "junk.mid\", \"output\": null, \"length\": null"), 1u);
    EXPECT_EQ(CountContaining(report, "\"length\": "), 6u);
    EXPECT_EQ(Names("tmp"), std::set<std::string>{});
}

// Stopped once the first file is done, a run keeps that file and nothing
// partial; run again with --skip-existing, it leaves that file as it was and
// converts the rest.
TEST_F(CollectionTest, InterruptedRunResumesWithoutRedoingFinishedFiles)
{
    for (const char* name : {"a.mid", "b.mid", "c.mid"}) Copy(Example("morning_walk.mid"), std::string("in/") + name);
    const std::string velmora = "env " + Environment() + " " + Quote(BinaryFolder() + "/bin/velmora");
    const std::string started = velmora +
                                " decode in -o out/ --jobs 1 --speed 8 --report first.jsonl 2>stderr & p=$!; "
                                "i=0; while [ $i -lt 600 ] && [ ! -f out/a.wav ]; do sleep 0.05; i=$((i+1)); done; "
                                "sleep 0.3; kill -";
    for (const char* signal : {"INT", "TERM"}) {
        fs::remove_all(folder / "out");
        const CRun stopped = RunScript(started + signal + " $p; wait $p");
        EXPECT_EQ(stopped.status, 1) << signal << ": " << stopped.err;
        EXPECT_EQ(Names("out"), std::set<std::string>{"a.wav"}) << signal;
        const std::vector<std::string> first = Lines(ReadWholeFile(folder / "first.jsonl"));
        EXPECT_EQ(CountContaining(first, "\"status\": \"converted\""), 1u) << signal;
        EXPECT_EQ(CountContaining(first, "\"status\": \"interrupted\""), 1u) << signal;

        const auto before = fs::last_write_time(folder / "out/a.wav");
        const std::string kept = ReadWholeFile(folder / "out/a.wav");
        const CRun resumed = Run({"decode", folder / "in", "-o", folder / "out", "--jobs", "2", "--skip-existing",
                                  "--report", folder / "second.jsonl"});
        EXPECT_EQ(resumed.status, 0) << signal << ": " << resumed.err;
        EXPECT_EQ(Names("out"), (std::set<std::string>{"a.wav", "b.wav", "c.wav"})) << signal;
        EXPECT_TRUE(fs::last_write_time(folder / "out/a.wav") == before) << signal;
        EXPECT_TRUE(ReadWholeFile(folder / "out/a.wav") == kept) << signal;
        const std::vector<std::string> second = Lines(ReadWholeFile(folder / "second.jsonl"));
        EXPECT_EQ(CountContaining(second, "a.mid\", \"output\": \"" + (folder / "out/a.wav") +
                                              "\", \"length\": null, \"seconds\": 0.000, \"status\": \"skipped\""),
                  1u)
            << signal;
        EXPECT_EQ(CountContaining(second, "\"status\": \"converted\""), 2u) << signal;
        EXPECT_EQ(Names("tmp"), std::set<std::string>{}) << signal;
    }
}

// The shards of a collection split its sorted list: each file in exactly
// one, under the name the whole collection gives it; bad usage is status 2.
TEST_F(CollectionTest, ShardsSplitTheSortedListAndBadOptionsAreUsageErrors)
{
    for (const char* name : {"a.mid", "b.mid", "c.mid", "sub/a.mid", "e.mid"})
        Copy(Shared("test-2-tracks-type-0.mid"), std::string("in/") + name);
    std::set<std::string> all;
    size_t total = 0;
    for (const char* shard : {"1/2", "2/2"}) {
        fs::remove_all(folder / "out");
        const CRun run = Run({"decode", folder / "in", "-o", folder / "out/", "--shard", shard});
        EXPECT_EQ(run.status, 0) << shard << ": " << run.err;
        for (const std::string& name : Names("out")) all.insert(name);
        total += Names("out").size();
    }
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(all, (std::set<std::string>{"a.wav", "a-2.wav", "b.wav", "c.wav", "e.wav"}));

    const std::vector<std::vector<std::string>> usage = {
        {"decode", folder / "in", "-o", folder / "out/", "--jobs", "0"},
        {"decode", folder / "in", "-o", folder / "out/", "--shard", "3/2"},
        {"decode", folder / "in", "-o", folder / "out/", "--shard", "1"},
        {"decode", folder / "in", "-o", folder / "out/", "--frobnicate"},
        {"decode", folder / "in", Example("morning_walk.rmi")},
        {"decode", folder / "in", Example("morning_walk.rmi"), "-o", Example("morning_walk.mid")},
    };
    for (const auto& row : usage) EXPECT_EQ(Run(row).status, 2) << row.back();
}

// A job whose decode stops names the component's reason in its report line,
// not only the host's last word on it.
TEST_F(CollectionTest, AFailedDecodeNamesItsReason)
{
    Copy(Example("morning_walk.mid"), "in/walk.mid");
    const CRun run = RunVelmora(
        "TMPDIR=" + Quote(folder / "no-such-folder") + " VELMORA_CONFIG=" + Quote(folder / "velmora.cfg"),
        {"decode", folder / "in", "-o", folder / "out/", "--report", folder / "report.jsonl"}, folder / "stderr");
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<std::string> report = Lines(ReadWholeFile(folder / "report.jsonl"));
    ASSERT_EQ(report.size(), 1u);
    EXPECT_NE(report[0].find("decoding failed"), std::string::npos) << report[0];
    // The hidden file the job wrote to is gone, and not named.
    EXPECT_EQ(report[0].find(".part-"), std::string::npos) << report[0];
    EXPECT_NE(report[0].find("Decoding stopped after 0.000 s of audio: the capture file could not be made in TMPDIR"),
              std::string::npos)
        << report[0];
    EXPECT_EQ(Names("out"), std::set<std::string>{});
}
