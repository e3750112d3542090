// The host's small objects: file information, text receivers, audio
// chunks, the console and the host interface's enumeration.
#include "host/objects/audio_chunk.h"
#include "host/objects/file_info.h"
#include "host/objects/text_receiver.h"
#include "host/objects/velmora_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>
#include <thread>

namespace {

std::vector<std::string> FieldTexts(CFileInfo& info)
{
    std::vector<std::string> out;
    for (uint32_t i = 0; i < info.GetFieldCount(); ++i)
        out.push_back(std::string(info.GetFieldName(i)) + "=" + info.GetFieldValue(i));
    return out;
}

TEST(FileInfoTest, FieldsKeepTheOrderSetAndSetFieldReplacesTheFirst)
{
    CFileInfo info("/music/song.mid");
    info.SetField("codec", "MIDI");
    info.AddField("comment", "one");
    info.AddField("comment", "two");
    info.SetField("title", "Song");
    info.SetField("Codec", "DirectMusic");  // same field, its place kept
    info.SetField("comment", "first");      // only the first of two
    EXPECT_EQ(FieldTexts(info),
              (std::vector<std::string>{"codec=DirectMusic", "comment=first", "comment=two", "title=Song"}));
    EXPECT_STREQ(info.GetField("TITLE"), "Song");
    EXPECT_EQ(info.GetField("artist"), nullptr);
    EXPECT_EQ(info.FindField("comment"), 1);

    info.SetField("comment", nullptr);  // a null value removes the first
    EXPECT_EQ(FieldTexts(info), (std::vector<std::string>{"codec=DirectMusic", "comment=two", "title=Song"}));
    info.AddField("empty", "");
    info.AddField(nullptr, "x");
    info.AddField("x", nullptr);
    EXPECT_EQ(info.GetFieldCount(), 4u);
    EXPECT_EQ(info.GetFieldName(9), nullptr);
}

TEST(FileInfoTest, LengthLocationAndCopy)
{
    CFileInfo info("archive:///a.zip|b.mid");
    info.SetLength(12.5);
    info.SetInfo("bitrate", "1411");
    info.AddField("title", "T");
    EXPECT_DOUBLE_EQ(info.GetLength(), 12.5);
    EXPECT_STREQ(info.GetLocation()->GetPath(), "archive:///a.zip|b.mid");

    CFileInfo copy;
    copy.AddField("stale", "x");
    copy.CopyFrom(&info);
    EXPECT_EQ(FieldTexts(copy), (std::vector<std::string>{"title=T"}));
    EXPECT_STREQ(copy.GetInfo("BITRATE"), "1411");
    EXPECT_DOUBLE_EQ(copy.GetLength(), 12.5);
    EXPECT_STREQ(copy.GetLocation()->GetPath(), "archive:///a.zip|b.mid");
    copy.Reset();
    EXPECT_EQ(copy.GetFieldCount(), 0u);
    EXPECT_EQ(copy.GetInfoCount(), 0u);
}

TEST(TextReceiverTest, LengthMinusOneMeansUpToTheNul)
{
    CHostTextReceiver text;
    text.SetText("abcdef", -1);
    EXPECT_EQ(text.Text(), "abcdef");
    text.SetText("abcdef", 3);
    EXPECT_EQ(text.Text(), "abc");
    text.SetText("ab\0cd", 5);
    EXPECT_EQ(text.Text(), "ab");
    text.SetText(nullptr, -1);
    EXPECT_EQ(text.Text(), "");
    EXPECT_EQ(text.GetLength(), 0);
    EXPECT_EQ(text.SetCount(), 4);
}

TEST(AudioChunkTest, CapacityGrowsUpToItsLimit)
{
    CAudioChunk chunk;
    EXPECT_EQ(chunk.GetCapacity(), 0u);
    double* buffer = chunk.SetCapacity(1024);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(chunk.GetCapacity(), 1024u);
    EXPECT_EQ(chunk.GetBuffer(), buffer);
    buffer[1023] = 0.5;

    chunk.SetCapacityLimit(2048);
    EXPECT_EQ(chunk.SetCapacity(4096), nullptr);
    EXPECT_EQ(chunk.GetCapacity(), 1024u) << "a refused growth keeps the buffer";
    EXPECT_EQ(chunk.GetBuffer()[1023], 0.5);

    chunk.SetSampleRate(44100);
    chunk.SetChannels(2);
    chunk.SetSampleCount(512);
    EXPECT_EQ(chunk.GetSampleRate(), 44100u);
    EXPECT_EQ(chunk.GetChannels(), 2u);
    EXPECT_EQ(chunk.GetSampleCount(), 512u);
}

TEST(AudioChunkTest, SamplesBecomePcmRoundedToNearestEvenAndClamped)
{
    const struct {
        double sample;
        int16_t pcm;
    } rows[] = {
        {0.0, 0},
        {-1.0, -32768},
        {32767.0 / 32768.0, 32767},
        {1.0, 32767},
        {2.5, 32767},
        {-1.5, -32768},
        {0.5 / 32768, 0},
        {1.5 / 32768, 2},
        {2.5 / 32768, 2},
        {-0.5 / 32768, 0},
        {-1.5 / 32768, -2},
        {100.49 / 32768, 100},
        {-100.51 / 32768, -101},
        {std::nan(""), 0},
        {std::numeric_limits<double>::infinity(), 32767},
        {-std::numeric_limits<double>::infinity(), -32768},
    };
    std::vector<double> samples;
    for (const auto& row : rows) samples.push_back(row.sample);
    std::vector<int16_t> pcm(3, 7);
    SamplesToPcm(samples.data(), samples.size(), pcm);
    ASSERT_EQ(pcm.size(), samples.size());
    for (size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(pcm[i], rows[i].pcm) << "sample " << samples[i];
}

TEST(ConsoleTest, DiagnosticLinesNeedVerboseOtherLinesAlwaysShow)
{
    CVelmoraConsole* console = new CVelmoraConsole();
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    console->SetStream(stream);
    console->SetRecording(true);
    console->Output(1, "quiet", "libtessarine.so");
    console->Output(3, "A seek command was issued too soon.", "libtessarine.so");
    console->SetVerbose(true);
    console->Output(1, "loud", "");

    std::rewind(stream);
    char text[256] = {};
    size_t got = std::fread(text, 1, sizeof text - 1, stream);
    std::fclose(stream);
    EXPECT_EQ(std::string(text, got), "libtessarine.so: A seek command was issued too soon.\nloud\n");

    std::vector<CConsoleLine> lines = console->GetLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].severity, 1);
    EXPECT_EQ(lines[0].text, "quiet");
    EXPECT_EQ(lines[0].source, "libtessarine.so");
    EXPECT_EQ(lines[1].severity, 3);
    console->Release();
}

TEST(ConsoleTest, AcceptsLinesFromManyThreads)
{
    CVelmoraConsole* console = new CVelmoraConsole();
    console->SetStream(nullptr);
    console->SetRecording(true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([console] {
            for (int i = 0; i < 500; ++i) console->Output(1, "line", "src");
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(console->GetLines().size(), 2000u);
    console->Release();
}

TEST(VelmoraHostTest, EnumeratesFileSystemsThenConsoleWithAReferenceEach)
{
    CVelmoraHost host;
    CHostService* local = host.EnumerateService(&CLSID_HostFileSystem, 0);
    CHostService* archive = host.EnumerateService(&CLSID_HostFileSystem, 1);
    ASSERT_NE(local, nullptr);
    ASSERT_NE(archive, nullptr);
    EXPECT_NE(local, archive);
    EXPECT_EQ(host.EnumerateService(&CLSID_HostFileSystem, 2), nullptr);
    EXPECT_EQ(host.EnumerateService(&CLSID_HostFileSystem, -1), nullptr);
    EXPECT_TRUE(static_cast<CHostFileSystem*>(local)->ClaimsPath("/x.mid"));
    EXPECT_TRUE(static_cast<CHostFileSystem*>(archive)->ClaimsPath("archive:///a.zip|x.mid"));
    EXPECT_EQ(local->Release(), 1) << "the host keeps its own reference";
    EXPECT_EQ(archive->Release(), 1);

    CHostService* console = host.EnumerateService(&CLSID_HostConsole, 0);
    ASSERT_NE(console, nullptr);
    EXPECT_EQ(console, static_cast<CHostService*>(&host.Console()));
    EXPECT_EQ(host.EnumerateService(&CLSID_HostConsole, 1), nullptr);
    EXPECT_EQ(console->Release(), 1);
    EXPECT_EQ(host.EnumerateService(&CLSID_MidiDecoderService, 0), nullptr);
    EXPECT_EQ(host.EnumerateService(nullptr, 0), nullptr);

    EXPECT_NE(host.GetMainWindow(), nullptr);
    EXPECT_EQ(host.GetMainWindow(), host.GetMainWindow());
}

TEST(VelmoraHostTest, ServicesOutliveTheHostWhileReferenced)
{
    CHostService* console;
    {
        CVelmoraHost host;
        host.Console().SetStream(nullptr);
        console = host.EnumerateService(&CLSID_HostConsole, 0);
    }
    static_cast<CHostConsole*>(console)->Output(2, "after the host", "");
    EXPECT_EQ(console->Release(), 0);
}

}  // namespace
