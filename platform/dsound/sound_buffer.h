// The platform's DirectSound buffers: real memory, and a play cursor that
// only moves with the platform clock, at the buffer's byte rate, signalling
// the notification positions it passes.
#pragma once

#include <dsound.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/com/unknown_impl.h"
#include "platform/dsound/direct_sound.h"

namespace platform::dsound {

// The memory of a buffer, shared by a buffer and its duplicates.
struct CBufferMemory {
    explicit CBufferMemory(DWORD size) : bytes(size) {}
    std::vector<BYTE> bytes;
};

class CDirectSoundBuffer final : public CUnknownImpl<IDirectSoundBuffer, IDirectSoundNotify> {
public:
    // flags as created; format null for the primary buffer.
    CDirectSoundBuffer(std::shared_ptr<CDeviceState> device, DWORD flags, const WAVEFORMATEX* format, DWORD bytes);
    // A duplicate: same memory and format, a play state of its own.
    CDirectSoundBuffer(const CDirectSoundBuffer& original);

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
    ~CDirectSoundBuffer() override;

    struct LockedRegion {
        BYTE* first;
        DWORD firstBytes;
        BYTE* second;
        DWORD secondBytes;
    };

    // All below with lock held.
    int64_t ByteRateScaled(int64_t span100ns) const;  // bytes played in a span, unaligned
    int64_t PlayedUnwrapped(int64_t now) const;       // startPosition + aligned bytes played
    void Advance(int64_t now);                        // applies the end of a one-shot buffer
    DWORD PlayCursor(int64_t now) const;
    DWORD WriteLead() const;
    void Rebase(int64_t now);  // restarts the cursor arithmetic at now
    void SignalCrossed(int64_t fromUnwrapped, int64_t toUnwrapped);
    void SignalStop();
    void StartNotifier();
    std::thread TakeNotifier();  // stops the notifier; join outside the lock
    void NotifierLoop(uint64_t generation);
    HRESULT GetControl(DWORD control, const LONG& field, LPLONG value);
    HRESULT SetControl(DWORD control, LONG minimum, LONG maximum, LONG& field, LONG value);

    std::shared_ptr<CDeviceState> device;
    const DWORD flags;

    mutable std::mutex lock;
    std::shared_ptr<CBufferMemory> memory;
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

}  // namespace platform::dsound
