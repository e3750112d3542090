// The platform alone, end to end: a DirectSound buffer, a performance, the
// synth port and a loaded MIDI file with one A4 note. The note's onset in
// the rendered stream and the performance notifications are checked against
// the tempo map, in real time and at a faster clock. Where notes go out under
// tempo changes and the master tempo is read from the messages (perf_playing).
#include <dmerror.h>
#include <dmusicc.h>
#include <dmusici.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <platform/clock.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/dmusic/port.h"
#include "tests/platform/dmusic/synth_test_buffer.h"
#include "tests/platform/dmusic/synth_test_support.h"

using synth_test::CClockRate;
using synth_test::CNullDirectSound;
using synth_test::CRecordingBuffer;

namespace {

// A format-0 Standard MIDI file, 480 ticks a quarter: tempo changes as
// (tick, bpm) and one A4 note on channel 1 from `noteTick` for a quarter,
// the track ending at `endTick`.
std::vector<uint8_t> BuildSmf(std::vector<std::pair<uint32_t, double>> tempos, uint32_t noteTick, uint32_t endTick)
{
    struct Item {
        uint32_t tick;
        std::vector<uint8_t> bytes;
    };
    std::vector<Item> items;
    for (auto [tick, bpm] : tempos) {
        uint32_t us = uint32_t(60000000.0 / bpm);
        items.push_back({tick, {0xFF, 0x51, 0x03, uint8_t(us >> 16), uint8_t(us >> 8), uint8_t(us)}});
    }
    items.push_back({noteTick, {0x90, 69, 100}});
    items.push_back({noteTick + 480, {0x80, 69, 0}});
    items.push_back({endTick, {0xFF, 0x2F, 0x00}});
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.tick < b.tick; });
    std::vector<uint8_t> track;
    uint32_t last = 0;
    for (const Item& item : items) {
        uint32_t delta = item.tick - last;
        last = item.tick;
        uint8_t vlq[5];
        int n = 0;
        vlq[n++] = delta & 0x7F;
        while (delta >>= 7) vlq[n++] = 0x80 | (delta & 0x7F);
        while (n) track.push_back(vlq[--n]);
        track.insert(track.end(), item.bytes.begin(), item.bytes.end());
    }
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 480 >> 8, 480 & 0xFF, 'M', 'T', 'r', 'k'};
    uint32_t size = uint32_t(track.size());
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(uint8_t(size >> shift));
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

std::string WriteTemporary(const std::vector<uint8_t>& bytes)
{
    char name[] = "/tmp/perf-harness-XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    close(fd);
    return name;
}

struct CNotice {
    DWORD option;
    REFERENCE_TIME stamped;   // the message's time
    REFERENCE_TIME received;  // when it was taken from the queue
};

struct CRun {
    std::vector<int16_t> stream;
    REFERENCE_TIME streamStart = 0;  // when frame 0 of the stream sounded
    REFERENCE_TIME segmentStart = 0;
    std::vector<CNotice> notices;
    long startInBlock = -1;  // the synth frame the music started at, modulo its 64-frame blocks
};

// Plays the file on a fresh performance and records what it renders.
CRun Play(const std::vector<uint8_t>& smf, double clockRate, double seconds)
{
    CRun run;
    CClockRate rate(clockRate);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IDirectMusicPerformance* performance = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_ALL, IID_IDirectMusicPerformance,
                               reinterpret_cast<void**>(&performance)),
              S_OK);
    IDirectMusicLoader* loader = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_ALL, IID_IDirectMusicLoader,
                               reinterpret_cast<void**>(&loader)),
              S_OK);
    if (!performance || !loader) return run;
    IDirectMusic* music = nullptr;
    CNullDirectSound directSound;
    EXPECT_EQ(performance->Init(&music, &directSound, nullptr), S_OK);
    DMUS_PORTPARAMS8 params{};
    params.dwSize = 32;
    params.dwValidParams = DMUS_PORTPARAMS_SAMPLERATE | DMUS_PORTPARAMS_EFFECTS;
    params.dwSampleRate = 44100;
    IDirectMusicPort* port = nullptr;
    EXPECT_EQ(music->CreatePort(CLSID_DirectMusicSynth, &params, &port, nullptr), S_OK);
    CRecordingBuffer buffer(176400);
    EXPECT_EQ(port->SetDirectSound(&directSound, &buffer), S_OK);
    EXPECT_EQ(port->Activate(TRUE), S_OK);
    EXPECT_EQ(performance->AddPort(port), S_OK);
    EXPECT_EQ(performance->AssignPChannelBlock(0, port, 1), S_OK);

    std::string path = WriteTemporary(smf);
    DMUS_OBJECTDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
    desc.guidClass = CLSID_DirectMusicSegment;
    for (size_t i = 0; i < path.size(); ++i) desc.wszFileName[i] = WCHAR(path[i]);
    IDirectMusicSegment* segment = nullptr;
    EXPECT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment, reinterpret_cast<void**>(&segment)), S_OK);
    unlink(path.c_str());
    if (!segment) return run;
    segment->SetParam(GUID_StandardMIDIFile, 0xFFFFFFFF, 0, 0, nullptr);
    // A sine starts at full level at once, so its onset is where the note
    // starts whatever the attack of the installed SoundFont's piano.
    std::string dlsPath = WriteTemporary(synth_test::BuildSineDls(0, 0, false));
    DMUS_OBJECTDESC dlsDesc{};
    dlsDesc.dwSize = sizeof(dlsDesc);
    dlsDesc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
    dlsDesc.guidClass = CLSID_DirectMusicCollection;
    for (size_t i = 0; i < dlsPath.size(); ++i) dlsDesc.wszFileName[i] = WCHAR(dlsPath[i]);
    IDirectMusicCollection* collection = nullptr;
    EXPECT_EQ(loader->GetObject(&dlsDesc, IID_IDirectMusicCollection, reinterpret_cast<void**>(&collection)), S_OK);
    unlink(dlsPath.c_str());
    if (collection) {
        EXPECT_EQ(segment->SetParam(GUID_ConnectToDLSCollection, 0xFFFFFFFF, 0, 0, collection), S_OK);
        collection->Release();
    }
    EXPECT_EQ(segment->SetParam(GUID_Download, 0xFFFFFFFF, 0, 0, performance), S_OK);

    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(performance->SetNotificationHandle(event, 0), S_OK);
    EXPECT_EQ(performance->AddNotificationType(GUID_NOTIFICATION_PERFORMANCE), S_OK);
    REFERENCE_TIME now = 0;
    performance->GetTime(&now, nullptr);
    IDirectMusicSegmentState* state = nullptr;
    EXPECT_EQ(performance->PlaySegment(segment, DMUS_SEGF_REFTIME | DMUS_SEGF_AFTERPREPARETIME, now + 11000000, &state),
              S_OK);
    MUSIC_TIME startMusic = 0;
    if (state) state->GetStartTime(&startMusic);
    performance->MusicToReferenceTime(startMusic, &run.segmentStart);

    const REFERENCE_TIME until = platform::ClockNow100ns() + REFERENCE_TIME(seconds * 1e7);
    while (platform::ClockNow100ns() < until) {
        if (WaitForSingleObject(event, 50) != WAIT_OBJECT_0) continue;
        DMUS_NOTIFICATION_PMSG* message = nullptr;
        while (performance->GetNotificationPMsg(&message) == S_OK) {
            run.notices.push_back({message->dwNotificationOption, message->rtTime, platform::ClockNow100ns()});
            performance->FreePMsg(reinterpret_cast<DMUS_PMSG*>(message));
        }
    }
    if (!run.notices.empty()) {
        if (dmusic::CSynthSink* sink = static_cast<dmusic::CDirectMusicPort*>(port)->Sink())
            run.startInBlock = long(sink->FrameAt(run.notices[0].stamped) % 64);
    }
    performance->RemoveNotificationType(GUID_NULL);
    performance->Stop(nullptr, nullptr, 0, 0);
    port->SetDirectSound(nullptr, nullptr);
    performance->RemovePort(port);
    performance->CloseDown();
    CloseHandle(event);
    {
        std::lock_guard<std::mutex> guard(buffer.lock);
        run.stream = buffer.stream;
    }
    run.streamStart = buffer.StartTime();
    if (state) state->Release();
    segment->Release();
    port->Release();
    music->Release();
    loader->Release();
    performance->Release();
    CoUninitialize();
    return run;
}

// The stream frame at which a reference time sounds.
long FrameOf(const CRun& run, REFERENCE_TIME at) { return long((at - run.streamStart) * 44100 / 10000000); }

void ExpectOnsetAt(const CRun& run, double secondsIntoSegment, const char* what)
{
    long expected = FrameOf(run, run.segmentStart + REFERENCE_TIME(secondsIntoSegment * 1e7));
    long onset = synth_test::FindToneOnset(run.stream, size_t(std::max(0L, expected - 22050)));
    // Within 5 ms (220 frames) of where the tempo map puts it.
    EXPECT_NEAR(onset, expected, 220) << what;
}

}  // namespace

TEST(PerfHarness, NoteOnsetFollowsTheTempoMapInRealTimeAndAtRateEight)
{
    // 120 bpm: the note at beat 2 (0.5 s), the music ends after 4 beats (2 s).
    auto smf = BuildSmf({{0, 120.0}}, 480, 1920);
    for (double rate : {1.0, 8.0}) {
        CRun run = Play(smf, rate, 4.5);
        ASSERT_FALSE(run.stream.empty());
        ExpectOnsetAt(run, 0.5, rate == 1.0 ? "at rate 1" : "at rate 8");

        // Started, almost-end, stopped, in that order and each near its time.
        ASSERT_EQ(run.notices.size(), 3u) << "at rate " << rate;
        EXPECT_EQ(run.notices[0].option, DWORD(DMUS_NOTIFICATION_MUSICSTARTED));
        EXPECT_EQ(run.notices[1].option, DWORD(DMUS_NOTIFICATION_MUSICALMOSTEND));
        EXPECT_EQ(run.notices[2].option, DWORD(DMUS_NOTIFICATION_MUSICSTOPPED));
        EXPECT_NEAR(double(run.notices[0].stamped - run.segmentStart), 0.0, 1e4);
        // The segment starts on a boundary of the synthesizer's 64-frame
        // blocks, so its events fall among them the same way whenever it
        // was asked for.
        EXPECT_EQ(run.startInBlock, 0) << "at rate " << rate;
        EXPECT_NEAR(double(run.notices[2].stamped - run.segmentStart), 2e7, 1e4);
        EXPECT_LT(run.notices[1].stamped, run.notices[2].stamped);
        for (const CNotice& notice : run.notices) {
            EXPECT_GE(notice.received, notice.stamped);
            EXPECT_LT(notice.received - notice.stamped, 1000000) << "delivered late";
        }
        // Silence returns after the end: no note is left hanging.
        long end = FrameOf(run, run.segmentStart + 20000000);
        EXPECT_LT(synth_test::MeanSquare(run.stream, size_t(end + 66150), run.stream.size() / 2), 4.0);
    }
}

TEST(PerfHarness, PortsAndParametersAnswerAsDirectMusicDoes)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IDirectMusic* music = nullptr;
    ASSERT_EQ(
        CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_ALL, IID_IDirectMusic, reinterpret_cast<void**>(&music)),
        S_OK);
    DMUS_PORTCAPS caps{};
    caps.dwSize = sizeof(caps);
    ASSERT_EQ(music->EnumPort(0, &caps), S_OK);
    EXPECT_TRUE(caps.guidPort == CLSID_DirectMusicSynth);
    EXPECT_EQ(caps.dwEffectFlags, DWORD(DMUS_EFFECT_REVERB | DMUS_EFFECT_CHORUS));
    EXPECT_TRUE(caps.dwFlags & DMUS_PC_SOFTWARESYNTH);
    ASSERT_EQ(music->EnumPort(1, &caps), S_OK);
    EXPECT_TRUE(caps.dwFlags & DMUS_PC_EXTERNAL);
    GUID external = caps.guidPort;
    DMUS_PORTCAPS kept = caps;
    EXPECT_EQ(music->EnumPort(2, &caps), S_FALSE);
    EXPECT_EQ(music->EnumPort(0xFFFFFFFF, &caps), S_FALSE);
    EXPECT_EQ(std::memcmp(&kept, &caps, sizeof(caps)), 0) << "the record changed past the end";

    // A rate the synth does not render at and an effect it lacks are adjusted.
    DMUS_PORTPARAMS8 params{};
    params.dwSize = sizeof(params);
    params.dwValidParams = DMUS_PORTPARAMS_SAMPLERATE | DMUS_PORTPARAMS_EFFECTS;
    params.dwSampleRate = 44000;
    params.dwEffectFlags = DMUS_EFFECT_REVERB | DMUS_EFFECT_DELAY;
    IDirectMusicPort* port = nullptr;
    EXPECT_EQ(music->CreatePort(CLSID_DirectMusicSynth, &params, &port, nullptr), S_FALSE);
    EXPECT_EQ(params.dwSampleRate, 44100u);
    EXPECT_EQ(params.dwEffectFlags, DWORD(DMUS_EFFECT_REVERB));
    ASSERT_NE(port, nullptr);
    port->Release();
    DMUS_PORTPARAMS7 seven{};
    seven.dwSize = 32;
    EXPECT_EQ(music->CreatePort(external, reinterpret_cast<DMUS_PORTPARAMS*>(&seven), &port, nullptr), S_OK);
    port->Release();
    seven.dwSize = 30;
    EXPECT_EQ(music->CreatePort(external, reinterpret_cast<DMUS_PORTPARAMS*>(&seven), &port, nullptr), E_INVALIDARG);
    GUID defaultPort{};
    EXPECT_EQ(music->GetDefaultPort(&defaultPort), S_OK);
    EXPECT_TRUE(defaultPort == CLSID_DirectMusicSynth);
    music->Release();

    IDirectMusicPerformance* performance = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_ALL, IID_IDirectMusicPerformance,
                               reinterpret_cast<void**>(&performance)),
              S_OK);
    ASSERT_EQ(performance->Init(nullptr, nullptr, nullptr), S_OK);
    float tempo = 150.0f;
    EXPECT_EQ(performance->SetGlobalParam(GUID_PerfMasterTempo, &tempo, sizeof(tempo)), E_INVALIDARG);
    tempo = 0.5f;
    EXPECT_EQ(performance->SetGlobalParam(GUID_PerfMasterTempo, &tempo, sizeof(tempo)), S_OK);
    LONG volume = -50000;
    EXPECT_EQ(performance->SetGlobalParam(GUID_PerfMasterVolume, &volume, sizeof(volume)), S_OK);
    EXPECT_EQ(performance->GetGlobalParam(GUID_PerfMasterVolume, &volume, sizeof(volume)), S_OK);
    EXPECT_EQ(volume, DMUS_VOLUME_MIN);
    DMUS_NOTIFICATION_PMSG* message = reinterpret_cast<DMUS_NOTIFICATION_PMSG*>(1);
    EXPECT_EQ(performance->GetNotificationPMsg(&message), S_FALSE);
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(performance->FreePMsg(nullptr), E_POINTER);
    EXPECT_EQ(performance->RemovePort(nullptr), E_POINTER);
    EXPECT_EQ(performance->CloseDown(), S_OK);
    performance->Release();
    CoUninitialize();
}
