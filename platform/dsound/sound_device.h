// The platform's sound device: the DirectSound object and its buffers. The
// device has no hardware voices and sends nothing anywhere: a playing buffer
// only moves its play cursor with the platform clock, at its byte rate, and
// signals the notification positions the cursor passes.
#pragma once

#include <dsound.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/com/unknown_impl.h"

namespace platform::dsound {

class SoundBuffer;

// What a device and the buffers made on it share. Buffers keep it alive, so
// a buffer outliving its device stays usable.
struct DeviceState {
    std::mutex lock;
    bool initialized = false;
    std::atomic<DWORD> cooperativeLevel{0};
    std::vector<SoundBuffer*> buffers;  // live buffers, for the write-primary level
    SoundBuffer* primary = nullptr;     // the one primary buffer, while it lives
};

class DirectSoundDevice final : public CUnknownImpl<IDirectSound> {
public:
    DirectSoundDevice();

    STDMETHOD(CreateSoundBuffer)(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) override;
    STDMETHOD(GetCaps)(LPDSCAPS caps) override;
    STDMETHOD(DuplicateSoundBuffer)(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) override;
    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD level) override;
    STDMETHOD(Compact)() override;
    STDMETHOD(GetSpeakerConfig)(LPDWORD config) override;
    STDMETHOD(SetSpeakerConfig)(DWORD config) override;
    STDMETHOD(Initialize)(LPCGUID device) override;

protected:
    void* Find(REFIID iid) override;

private:
    ~DirectSoundDevice() override;
    bool IsInitialized();

    std::shared_ptr<DeviceState> state;
};

// The memory of a buffer, shared by a buffer and its duplicates.
struct BufferMemory {
    explicit BufferMemory(DWORD size) : bytes(size) {}
    std::vector<BYTE> bytes;
};

class SoundBuffer final : public CUnknownImpl<IDirectSoundBuffer, IDirectSoundNotify> {
public:
    // flags as created; format null for the primary buffer.
    SoundBuffer(std::shared_ptr<DeviceState> device, DWORD flags, const WAVEFORMATEX* format, DWORD bytes);
    // A duplicate: same memory and format, a play state of its own.
    SoundBuffer(const SoundBuffer& original);

    STDMETHOD(GetCaps)(LPDSBCAPS caps) override;
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override;
    STDMETHOD(GetFormat)(LPWAVEFORMATEX format, DWORD sizeAllocated, LPDWORD sizeWritten) override;
    STDMETHOD(GetVolume)(LPLONG volume) override;
    STDMETHOD(GetPan)(LPLONG pan) override;
    STDMETHOD(GetFrequency)(LPDWORD frequency) override;
    STDMETHOD(GetStatus)(LPDWORD status) override;
    STDMETHOD(Initialize)(LPDIRECTSOUND directSound, LPCDSBUFFERDESC desc) override;
    STDMETHOD(Lock)(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2, LPDWORD bytes2,
                    DWORD flags) override;
    STDMETHOD(Play)(DWORD reserved, DWORD priority, DWORD flags) override;
    STDMETHOD(SetCurrentPosition)(DWORD position) override;
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX format) override;
    STDMETHOD(SetVolume)(LONG volume) override;
    STDMETHOD(SetPan)(LONG pan) override;
    STDMETHOD(SetFrequency)(DWORD frequency) override;
    STDMETHOD(Stop)() override;
    STDMETHOD(Unlock)(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) override;
    STDMETHOD(Restore)() override;

    STDMETHOD(SetNotificationPositions)(DWORD count, LPCDSBPOSITIONNOTIFY positions) override;

    // Adds a reference unless the buffer is already being destroyed.
    using CUnknownImpl::TryAddRef;
    bool IsPrimary() const { return (flags & DSBCAPS_PRIMARYBUFFER) != 0; }
    DWORD Flags() const { return flags; }
    // The device took the write-primary level: secondary buffers stop and
    // their memory counts as lost until restored.
    void MarkLost();

protected:
    void* Find(REFIID iid) override;

private:
    ~SoundBuffer() override;

    struct LockedRegion {
        BYTE* first;
        DWORD firstBytes;
        BYTE* second;
        DWORD secondBytes;
    };

    // All below with lock held.
    int64_t ByteRateScaled(int64_t span100ns) const;  // bytes played in a span, unaligned
    int64_t PlayedUnwrapped(int64_t now) const;         // startPosition + aligned bytes played
    void Advance(int64_t now);                           // applies the end of a one-shot buffer
    DWORD PlayCursor(int64_t now) const;
    DWORD WriteLead() const;
    void Rebase(int64_t now);                            // restarts the cursor arithmetic at now
    void SignalCrossed(int64_t fromUnwrapped, int64_t toUnwrapped);
    void SignalStop();
    void StartNotifier();
    std::thread TakeNotifier();                          // stops the notifier; join outside the lock
    void NotifierLoop(uint64_t generation);
    HRESULT GetControl(DWORD control, const LONG& field, LPLONG value);
    HRESULT SetControl(DWORD control, LONG minimum, LONG maximum, LONG& field, LONG value);

    std::shared_ptr<DeviceState> device;
    const DWORD flags;

    mutable std::mutex lock;
    std::shared_ptr<BufferMemory> memory;
    std::vector<BYTE> format;  // WAVEFORMATEX and its extra bytes
    std::vector<LockedRegion> lockedRegions;
    LONG volume = DSBVOLUME_MAX;
    LONG pan = DSBPAN_CENTER;
    DWORD frequency = 0;  // 0: the format's own rate
    bool lost = false;

    bool playing = false;
    bool looping = false;
    DWORD startPosition = 0;  // where the cursor stood at the last rebase
    int64_t startTime = 0;    // platform time of the last rebase

    std::vector<DSBPOSITIONNOTIFY> notifications;
    std::thread notifier;
    std::condition_variable notifierWake;
    uint64_t notifierGeneration = 0;  // a notifier runs while its generation is current
    bool notifierActive = false;
    int64_t notifiedUpTo = 0;  // unwrapped position the notifier has checked up to

    const WAVEFORMATEX& Format() const { return *reinterpret_cast<const WAVEFORMATEX*>(format.data()); }
    DWORD Size() const { return static_cast<DWORD>(memory->bytes.size()); }
};

// Checks a wave format a buffer can hold.
bool IsSupportedFormat(const WAVEFORMATEX* format);

}  // namespace platform::dsound
