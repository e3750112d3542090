// The synth port's hold on its DirectSound buffer: the teardown the engine
// does (SetDirectSound with nothing while active) lets the buffer go at once
// and makes no buffer of its own on DirectMusic's device.
#include <dmerror.h>
#include <dmusicc.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include "tests/platform/dmusic/synth_test_buffer.h"

using synth_test::CClockRate;
using synth_test::CRecordingBuffer;

namespace {

// Counts the buffers made on it (the engine's capture device would make a
// temporary file for each).
class CCountingDirectSound : public synth_test::CNullDirectSound {
public:
    STDMETHOD(CreateSoundBuffer)(LPCDSBUFFERDESC, LPDIRECTSOUNDBUFFER*, LPUNKNOWN) override
    {
        ++created;
        return E_NOTIMPL;
    }
    int created = 0;
};

}  // namespace

TEST(PerfPort, SetDirectSoundWithNothingLetsTheBufferGoAndStops)
{
    CClockRate rate(4);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IDirectMusic* music = nullptr;
    ASSERT_EQ(
        CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_ALL, IID_IDirectMusic, reinterpret_cast<void**>(&music)),
        S_OK);
    CCountingDirectSound directSound;
    ASSERT_EQ(music->SetDirectSound(&directSound, nullptr), S_OK);
    DMUS_PORTPARAMS8 params{};
    params.dwSize = 32;
    IDirectMusicPort* port = nullptr;
    ASSERT_EQ(music->CreatePort(CLSID_DirectMusicSynth, &params, &port, nullptr), S_OK);
    CRecordingBuffer buffer(176400);
    ASSERT_EQ(port->SetDirectSound(&directSound, &buffer), S_OK);
    ASSERT_EQ(port->Activate(TRUE), S_OK);
    EXPECT_EQ(port->Activate(TRUE), S_FALSE);
    EXPECT_EQ(buffer.references, 3u);  // the port's and its sink's
    platform::SleepUntil100ns(platform::ClockNow100ns() + 1000000);

    EXPECT_EQ(port->SetDirectSound(nullptr, nullptr), S_OK);
    EXPECT_EQ(buffer.references, 1u);
    int locks = buffer.locks;
    platform::SleepUntil100ns(platform::ClockNow100ns() + 1000000);
    EXPECT_EQ(buffer.locks, locks) << "still rendering into a buffer it gave up";
    EXPECT_EQ(directSound.created, 0);
    EXPECT_EQ(port->Activate(FALSE), S_FALSE);

    // A buffer in a format the synth does not render is refused.
    CRecordingBuffer other(176400);
    port->Release();
    params.dwValidParams = DMUS_PORTPARAMS_SAMPLERATE;
    params.dwSampleRate = 22050;
    ASSERT_EQ(music->CreatePort(CLSID_DirectMusicSynth, &params, &port, nullptr), S_OK);
    EXPECT_EQ(port->SetDirectSound(&directSound, &other), DMUS_E_WAVEFORMATNOTSUPPORTED);
    port->Release();
    music->SetDirectSound(nullptr, nullptr);
    music->Release();
    CoUninitialize();
}
