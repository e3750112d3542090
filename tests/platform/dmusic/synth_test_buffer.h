// A recording DirectSound buffer for the sink and performance tests: a
// looping ring whose play cursor follows the platform clock, keeping every
// locked region's bytes in the order they were unlocked; and a clock-rate guard.
#pragma once

#include <dsound.h>
#include <gtest/gtest.h>
#include <platform/clock.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace synth_test {

class CClockRate {
public:
    explicit CClockRate(double rate) : previous(platform::GetClockRate()) { platform::SetClockRate(rate); }
    ~CClockRate() { platform::SetClockRate(previous); }

private:
    double previous;
};

class CRecordingBuffer : public IDirectSoundBuffer {
public:
    explicit CRecordingBuffer(DWORD bytes) : memory(bytes) {}

    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    STDMETHOD_(ULONG, Release)() override { return --references; }
    STDMETHOD(GetCaps)(LPDSBCAPS caps) override
    {
        caps->dwBufferBytes = DWORD(memory.size());
        return S_OK;
    }
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override
    {
        std::lock_guard<std::mutex> guard(lock);
        DWORD cursor = Cursor();
        if (play) *play = cursor;
        if (write) *write = (cursor + 4 * 441) % DWORD(memory.size());
        return S_OK;
    }
    STDMETHOD(GetFormat)(LPWAVEFORMATEX format, DWORD, LPDWORD written) override
    {
        *format = WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
        if (written) *written = sizeof(WAVEFORMATEX);
        return S_OK;
    }
    STDMETHOD(GetVolume)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetPan)(LPLONG) override { return E_NOTIMPL; }
    STDMETHOD(GetFrequency)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(GetStatus)(LPDWORD status) override
    {
        if (holdUp100ns > 0) {
            // The sink's thread is kept from running, as by a busy machine.
            int64_t span = holdUp100ns;
            holdUp100ns = 0;
            platform::SleepUntil100ns(platform::ClockNow100ns() + span);
        }
        std::lock_guard<std::mutex> guard(lock);
        *status = playing ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
        return S_OK;
    }
    STDMETHOD(Initialize)(LPDIRECTSOUND, LPCDSBUFFERDESC) override { return S_OK; }
    STDMETHOD(Lock)(DWORD offset, DWORD bytes, LPVOID* first, LPDWORD firstBytes, LPVOID* second, LPDWORD secondBytes,
                    DWORD) override
    {
        std::lock_guard<std::mutex> guard(lock);
        EXPECT_LT(bytes, memory.size()) << "a lock as large as the ring";
        EXPECT_EQ(offset % 4, 0u);
        if (locks > 0 && offset != expectedOffset) {
            ++discontinuities;
            jumps.push_back(offset);
        }
        lockOffsets.push_back(offset);
        DWORD size = DWORD(memory.size());
        DWORD head = std::min(bytes, size - offset);
        *first = memory.data() + offset;
        *firstBytes = head;
        *second = bytes > head ? memory.data() : nullptr;
        *secondBytes = bytes - head;
        expectedOffset = (offset + bytes) % size;
        ++locks;
        return S_OK;
    }
    STDMETHOD(Play)(DWORD, DWORD, DWORD) override
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!playing) start = platform::ClockNow100ns() - int64_t(position) * 10000000 / 176400;
        playing = true;
        return S_OK;
    }
    STDMETHOD(SetCurrentPosition)(DWORD offset) override
    {
        std::lock_guard<std::mutex> guard(lock);
        position = offset / 4 * 4;
        start = platform::ClockNow100ns() - int64_t(position) * 10000000 / 176400;
        return S_OK;
    }
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX) override { return E_NOTIMPL; }
    STDMETHOD(SetVolume)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetPan)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(SetFrequency)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Stop)() override
    {
        std::lock_guard<std::mutex> guard(lock);
        position = Cursor();
        playing = false;
        return S_OK;
    }
    STDMETHOD(Unlock)(LPVOID first, DWORD firstBytes, LPVOID second, DWORD secondBytes) override
    {
        std::lock_guard<std::mutex> guard(lock);
        auto append = [&](LPVOID at, DWORD bytes) {
            auto* samples = static_cast<int16_t*>(at);
            stream.insert(stream.end(), samples, samples + bytes / 2);
        };
        if (first) append(first, firstBytes);
        if (second) append(second, secondBytes);
        return S_OK;
    }
    STDMETHOD(Restore)() override { return S_OK; }

    // Platform time at which byte 0 of the stream played.
    int64_t StartTime()
    {
        std::lock_guard<std::mutex> guard(lock);
        return start;
    }

    // Bytes played since Play, as an absolute count.
    int64_t PlayedBytes()
    {
        std::lock_guard<std::mutex> guard(lock);
        return (platform::ClockNow100ns() - start) * 176400 / 10000000 / 4 * 4;
    }

    std::mutex lock;
    std::vector<uint8_t> memory;
    std::vector<int16_t> stream;
    std::vector<DWORD> lockOffsets;
    std::vector<DWORD> jumps;  // where each Lock that did not go on from the last one began
    int locks = 0, discontinuities = 0;
    std::atomic<int64_t> holdUp100ns{0};
    ULONG references = 1;

private:
    DWORD Cursor() const
    {
        if (!playing) return position;
        int64_t bytes = (platform::ClockNow100ns() - start) * 176400 / 10000000 / 4 * 4;
        return DWORD(bytes % int64_t(memory.size()));
    }

    bool playing = false;
    DWORD position = 0;
    int64_t start = 0;
    DWORD expectedOffset = 0;
};

// A DirectSound object that only vouches for a buffer handed over directly.
class CNullDirectSound : public IDirectSound {
public:
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(CreateSoundBuffer)(LPCDSBUFFERDESC, LPDIRECTSOUNDBUFFER*, LPUNKNOWN) override { return E_NOTIMPL; }
    STDMETHOD(GetCaps)(LPDSCAPS) override { return E_NOTIMPL; }
    STDMETHOD(DuplicateSoundBuffer)(LPDIRECTSOUNDBUFFER, LPDIRECTSOUNDBUFFER*) override { return E_NOTIMPL; }
    STDMETHOD(SetCooperativeLevel)(HWND, DWORD) override { return S_OK; }
    STDMETHOD(Compact)() override { return S_OK; }
    STDMETHOD(GetSpeakerConfig)(LPDWORD) override { return E_NOTIMPL; }
    STDMETHOD(SetSpeakerConfig)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(Initialize)(LPCGUID) override { return S_OK; }
};

}  // namespace synth_test
