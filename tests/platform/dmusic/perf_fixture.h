// What the performance tests share: a performance on a fresh DirectMusic with
// one port on channel block 0 (the synth rendering into a recording buffer,
// or the emulated MIDI output with what reaches it recorded), segments loaded
// from the bytes of a file, and the notifications queued.
#pragma once

#include <dmusicc.h>
#include <dmusici.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <platform/clock.h>

#include <memory>
#include <unistd.h>
#include <vector>

#include "tests/platform/dmusic/synth_test_buffer.h"
#include "tests/support/recording_port.h"

namespace perf_test {

struct CNotice {
    DWORD option;
    REFERENCE_TIME at;
    bool operator==(const CNotice&) const = default;
};

enum class EPort { Synth, Recording };

class CPerformanceTest : public ::testing::Test {
protected:
    explicit CPerformanceTest(EPort kind) : kind(kind) {}

    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_EQ(CoCreateInstance(CLSID_DirectMusicPerformance, nullptr, CLSCTX_ALL, IID_IDirectMusicPerformance,
                                   reinterpret_cast<void**>(&performance)),
                  S_OK);
        ASSERT_EQ(performance->Init(&music, &directSound, nullptr), S_OK);
        if (kind == EPort::Recording) {
            recorder = std::make_unique<testsupport::CRecordingPort>(performance, music);
            port = recorder->Port();
            port->AddRef();
        } else {
            DMUS_PORTPARAMS8 params{};
            params.dwSize = sizeof(params);
            ASSERT_EQ(music->CreatePort(CLSID_DirectMusicSynth, &params, &port, nullptr), S_OK);
            ASSERT_EQ(port->SetDirectSound(&directSound, &buffer), S_OK);
            ASSERT_EQ(port->Activate(TRUE), S_OK);
            ASSERT_EQ(performance->AddPort(port), S_OK);
            ASSERT_EQ(performance->AssignPChannelBlock(0, port, 1), S_OK);
        }
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }

    void TearDown() override
    {
        if (performance) {
            performance->RemoveNotificationType(GUID_NULL);
            performance->Stop(nullptr, nullptr, 0, 0);
            if (port && kind == EPort::Synth) port->SetDirectSound(nullptr, nullptr);
            performance->CloseDown();
        }
        recorder.reset();
        if (event) CloseHandle(event);
        for (IDirectMusicSegment* segment : segments) segment->Release();
        if (port) port->Release();
        if (music) music->Release();
        if (performance) performance->Release();
        CoUninitialize();
    }

    // Loads a segment from a file's bytes; the fixture keeps it until the end.
    IDirectMusicSegment* Load(const std::vector<uint8_t>& bytes)
    {
        char name[] = "/tmp/perf-test-XXXXXX";
        int fd = mkstemp(name);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(fd);
        IDirectMusicLoader* loader = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_DirectMusicLoader, nullptr, CLSCTX_ALL, IID_IDirectMusicLoader,
                                   reinterpret_cast<void**>(&loader)),
                  S_OK);
        IDirectMusicSegment* loaded = nullptr;
        if (loader) {
            DMUS_OBJECTDESC desc{};
            desc.dwSize = sizeof(desc);
            desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
            desc.guidClass = CLSID_DirectMusicSegment;
            for (size_t i = 0; name[i]; ++i) desc.wszFileName[i] = WCHAR(name[i]);
            EXPECT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment, reinterpret_cast<void**>(&loaded)), S_OK);
            loader->Release();
        }
        unlink(name);
        if (loaded) segments.push_back(loaded);
        return loaded;
    }

    // The notifications queued now, oldest first.
    std::vector<CNotice> Drain()
    {
        std::vector<CNotice> got;
        DMUS_NOTIFICATION_PMSG* message = nullptr;
        while (performance->GetNotificationPMsg(&message) == S_OK && message) {
            got.push_back({message->dwNotificationOption, message->rtTime});
            performance->FreePMsg(reinterpret_cast<DMUS_PMSG*>(message));
        }
        return got;
    }

    static void Wait(double seconds) { WaitUntil(platform::ClockNow100ns() + REFERENCE_TIME(seconds * 1e7)); }
    static void WaitUntil(REFERENCE_TIME at) { platform::SleepUntil100ns(at); }

    const EPort kind;
    synth_test::CNullDirectSound directSound;
    synth_test::CRecordingBuffer buffer{176400};
    IDirectMusicPerformance* performance = nullptr;
    IDirectMusic* music = nullptr;
    IDirectMusicPort* port = nullptr;
    std::unique_ptr<testsupport::CRecordingPort> recorder;  // with EPort::Recording
    std::vector<IDirectMusicSegment*> segments;
    HANDLE event = nullptr;
};

}  // namespace perf_test
