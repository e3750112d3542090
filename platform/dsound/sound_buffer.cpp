// DirectSound buffers: real memory, Lock and Unlock, and a play cursor that
// the platform clock moves at the buffer's byte rate. Nothing is mixed: the
// device discards what it plays. Notification positions are signalled by a
// small thread per playing buffer, so a waiting client wakes when the cursor
// passes them.
#include "platform/dsound/sound_buffer.h"

#include <platform/clock.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace platform::dsound {
namespace {

__extension__ typedef __int128 Wide;

constexpr int64_t ticksPerSecond = 10000000;  // 100-ns units
// How far the write cursor runs ahead of the play cursor.
constexpr int64_t writeLeadTicks = 100000;  // 10 ms
// The longest real wait of the notifier between looks at the clock, so a
// change of the clock rate is noticed soon.
constexpr auto notifierLongestWait = std::chrono::milliseconds(20);

DWORD AlignDown(int64_t value, DWORD block) { return static_cast<DWORD>(value - value % block); }

// A format as the buffer keeps it: with its extra bytes, and none for PCM
// (whose cbSize is ignored).
std::vector<BYTE> CopyFormat(const WAVEFORMATEX* wave)
{
    const size_t formatBytes = sizeof(WAVEFORMATEX) + (wave->wFormatTag == WAVE_FORMAT_PCM ? 0 : wave->cbSize);
    std::vector<BYTE> copy(reinterpret_cast<const BYTE*>(wave), reinterpret_cast<const BYTE*>(wave) + formatBytes);
    if (wave->wFormatTag == WAVE_FORMAT_PCM) reinterpret_cast<WAVEFORMATEX*>(copy.data())->cbSize = 0;
    return copy;
}

}  // namespace

CDirectSoundBuffer::CDirectSoundBuffer(std::shared_ptr<CDeviceState> device, DWORD flags, const WAVEFORMATEX* wave,
                                       DWORD bytes)
    : device(std::move(device)), flags(flags)
{
    format = CopyFormat(wave);
    if (IsPrimary()) {
        // A quarter of a second of the primary format.
        bytes = AlignDown(wave->nAvgBytesPerSec / 4, wave->nBlockAlign);
    }
    memory = std::make_shared<CBufferMemory>(bytes);
    std::lock_guard<std::mutex> guard(this->device->lock);
    this->device->buffers.push_back(this);
}

CDirectSoundBuffer::CDirectSoundBuffer(const CDirectSoundBuffer& original)
    : CUnknownImpl(), device(original.device), flags(original.flags)
{
    {
        std::lock_guard<std::mutex> guard(original.lock);
        memory = original.memory;
        format = original.format;
        volume = original.volume;
        pan = original.pan;
        frequency = original.frequency;
        lost = original.lost;
    }
    std::lock_guard<std::mutex> guard(device->lock);
    device->buffers.push_back(this);
}

CDirectSoundBuffer::~CDirectSoundBuffer()
{
    std::thread old;
    {
        std::lock_guard<std::mutex> guard(lock);
        old = TakeNotifier();
    }
    if (old.joinable()) old.join();
    std::lock_guard<std::mutex> guard(device->lock);
    auto& list = device->buffers;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (device->primary == this) device->primary = nullptr;
}

void* CDirectSoundBuffer::Find(REFIID riid)
{
    if (IsEqualIID(riid, IID_IDirectSoundBuffer)) return static_cast<IDirectSoundBuffer*>(this);
    if (IsEqualIID(riid, IID_IDirectSoundNotify) && (flags & DSBCAPS_CTRLPOSITIONNOTIFY))
        return static_cast<IDirectSoundNotify*>(this);
    // A buffer of a DirectSound object (not 8) is not a version 8 buffer.
    return nullptr;
}

// ---- The cursor ------------------------------------------------------------

int64_t CDirectSoundBuffer::ByteRateScaled(int64_t span100ns) const
{
    const WAVEFORMATEX& wave = Format();
    Wide numerator = Wide(span100ns) * wave.nAvgBytesPerSec;
    Wide denominator = ticksPerSecond;
    if (frequency != 0) {
        numerator *= frequency;
        denominator *= wave.nSamplesPerSec;
    }
    return static_cast<int64_t>(numerator / denominator);
}

int64_t CDirectSoundBuffer::PlayedUnwrapped(int64_t now) const
{
    if (!playing) return startPosition;
    int64_t played = ByteRateScaled(std::max<int64_t>(0, now - startTime));
    int64_t unwrapped = startPosition + AlignDown(played, Format().nBlockAlign);
    if (!looping) unwrapped = std::min<int64_t>(unwrapped, Size());
    return unwrapped;
}

void CDirectSoundBuffer::Advance(int64_t now)
{
    if (!playing) return;
    int64_t unwrapped = PlayedUnwrapped(now);
    if (unwrapped > notifiedUpTo) {
        SignalCrossed(notifiedUpTo, unwrapped);
        notifiedUpTo = unwrapped;
    }
    if (!looping && unwrapped >= Size()) {
        // A one-shot buffer stops at its end; the cursor is back at the start.
        playing = false;
        startPosition = 0;
        notifiedUpTo = 0;
        SignalStop();
        notifierWake.notify_all();
    }
}

DWORD CDirectSoundBuffer::PlayCursor(int64_t now) const { return static_cast<DWORD>(PlayedUnwrapped(now) % Size()); }

DWORD CDirectSoundBuffer::WriteLead() const
{
    int64_t lead = AlignDown(ByteRateScaled(writeLeadTicks), Format().nBlockAlign);
    lead = std::max<int64_t>(lead, Format().nBlockAlign);
    return static_cast<DWORD>(std::min<int64_t>(lead, Size() - Format().nBlockAlign));
}

void CDirectSoundBuffer::Rebase(int64_t now)
{
    Advance(now);
    startPosition = PlayCursor(now);
    startTime = now;
    notifiedUpTo = startPosition;
}

void CDirectSoundBuffer::SignalCrossed(int64_t fromUnwrapped, int64_t toUnwrapped)
{
    int64_t size = Size();
    for (const DSBPOSITIONNOTIFY& position : notifications) {
        if (position.dwOffset == DSBPN_OFFSETSTOP) continue;
        // Crossed when some lap's copy of the offset lies in (from, to].
        int64_t offset = position.dwOffset;
        int64_t lapsTo = toUnwrapped >= offset ? (toUnwrapped - offset) / size + 1 : 0;
        int64_t lapsFrom = fromUnwrapped >= offset ? (fromUnwrapped - offset) / size + 1 : 0;
        if (lapsTo > lapsFrom) SetEvent(position.hEventNotify);
    }
}

void CDirectSoundBuffer::SignalStop()
{
    for (const DSBPOSITIONNOTIFY& position : notifications)
        if (position.dwOffset == DSBPN_OFFSETSTOP) SetEvent(position.hEventNotify);
}

void CDirectSoundBuffer::StartNotifier()
{
    if (notifier.joinable() || notifications.empty()) return;
    uint64_t generation = ++notifierGeneration;
    notifierActive = true;
    notifier = std::thread([this, generation] { NotifierLoop(generation); });
}

std::thread CDirectSoundBuffer::TakeNotifier()
{
    ++notifierGeneration;
    notifierActive = false;
    notifierWake.notify_all();
    return std::move(notifier);
}

void CDirectSoundBuffer::NotifierLoop(uint64_t generation)
{
    std::unique_lock<std::mutex> guard(lock);
    while (generation == notifierGeneration && playing) {
        int64_t now = platform::ClockNow100ns();
        Advance(now);
        if (!playing) break;
        // The next unwrapped position the cursor will pass: a notification
        // offset, or the end of a one-shot buffer.
        int64_t size = Size();
        int64_t next = looping ? INT64_MAX : size;
        for (const DSBPOSITIONNOTIFY& position : notifications) {
            if (position.dwOffset == DSBPN_OFFSETSTOP) continue;
            int64_t offset = position.dwOffset;
            int64_t candidate = offset;
            if (candidate <= notifiedUpTo) candidate += ((notifiedUpTo - offset) / size + 1) * size;
            next = std::min(next, candidate);
        }
        auto wait = std::chrono::duration<double>(notifierLongestWait);
        if (next != INT64_MAX) {
            // The platform time at which the aligned cursor reaches next.
            const WAVEFORMATEX& wave = Format();
            Wide bytes = Wide(next - startPosition) + wave.nBlockAlign - 1;
            bytes -= bytes % wave.nBlockAlign;
            Wide numerator = bytes * ticksPerSecond;
            Wide denominator = wave.nAvgBytesPerSec;
            if (frequency != 0) {
                numerator *= wave.nSamplesPerSec;
                denominator *= frequency;
            }
            int64_t due = startTime + static_cast<int64_t>((numerator + denominator - 1) / denominator);
            double real = platform::PlatformToRealSeconds(std::max<int64_t>(0, due - now));
            wait = std::min(wait, std::chrono::duration<double>(real));
            // Time that follows the sinks may jump ahead at any moment.
            if (platform::ClockFollowsSinks()) wait = std::min(wait, std::chrono::duration<double>(0.002));
        }
        notifierWake.wait_for(guard, wait);
    }
    if (generation == notifierGeneration) notifierActive = false;
}

// ---- IDirectSoundBuffer ------------------------------------------------------

STDMETHODIMP CDirectSoundBuffer::GetCaps(LPDSBCAPS caps)
{
    if (caps == nullptr || caps->dwSize != sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock);
    caps->dwFlags = flags;
    // Everything lives in software here.
    if (!(flags & DSBCAPS_LOCDEFER)) caps->dwFlags |= DSBCAPS_LOCSOFTWARE;
    caps->dwBufferBytes = Size();
    caps->dwUnlockTransferRate = 0;
    caps->dwPlayCpuOverhead = 0;
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::GetCurrentPosition(LPDWORD play, LPDWORD write)
{
    if (play == nullptr && write == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock);
    int64_t now = platform::ClockNow100ns();
    Advance(now);
    DWORD cursor = PlayCursor(now);
    if (play != nullptr) *play = cursor;
    if (write != nullptr) *write = playing ? (cursor + WriteLead()) % Size() : cursor;
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::GetFormat(LPWAVEFORMATEX wave, DWORD sizeAllocated, LPDWORD sizeWritten)
{
    if (wave == nullptr && sizeWritten == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock);
    DWORD needed = static_cast<DWORD>(format.size());
    if (wave == nullptr) {
        *sizeWritten = needed;
        return DS_OK;
    }
    if (sizeAllocated < needed) return DSERR_INVALIDPARAM;
    std::memcpy(wave, format.data(), needed);
    if (sizeWritten != nullptr) *sizeWritten = needed;
    return DS_OK;
}

// Volume and pan answer only when the buffer was made with their control.
HRESULT CDirectSoundBuffer::GetControl(DWORD control, const LONG& field, LPLONG value)
{
    if (value == nullptr) return DSERR_INVALIDPARAM;
    if (!(flags & control)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard<std::mutex> guard(lock);
    *value = field;
    return DS_OK;
}

HRESULT CDirectSoundBuffer::SetControl(DWORD control, LONG minimum, LONG maximum, LONG& field, LONG value)
{
    if (!(flags & control)) return DSERR_CONTROLUNAVAIL;
    if (value < minimum || value > maximum) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock);
    field = value;
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::GetVolume(LPLONG value) { return GetControl(DSBCAPS_CTRLVOLUME, volume, value); }

STDMETHODIMP CDirectSoundBuffer::SetVolume(LONG value)
{
    return SetControl(DSBCAPS_CTRLVOLUME, DSBVOLUME_MIN, DSBVOLUME_MAX, volume, value);
}

STDMETHODIMP CDirectSoundBuffer::GetPan(LPLONG value) { return GetControl(DSBCAPS_CTRLPAN, pan, value); }

STDMETHODIMP CDirectSoundBuffer::SetPan(LONG value)
{
    return SetControl(DSBCAPS_CTRLPAN, DSBPAN_LEFT, DSBPAN_RIGHT, pan, value);
}

STDMETHODIMP CDirectSoundBuffer::GetFrequency(LPDWORD value)
{
    if (value == nullptr) return DSERR_INVALIDPARAM;
    if (!(flags & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    std::lock_guard<std::mutex> guard(lock);
    *value = frequency != 0 ? frequency : Format().nSamplesPerSec;
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::SetFrequency(DWORD value)
{
    if (!(flags & DSBCAPS_CTRLFREQUENCY) || IsPrimary()) return DSERR_CONTROLUNAVAIL;
    if (value != DSBFREQUENCY_ORIGINAL && (value < DSBFREQUENCY_MIN || value > DSBFREQUENCY_MAX))
        return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock);
    // The cursor keeps its place and moves at the new pace from now on.
    Rebase(platform::ClockNow100ns());
    frequency = value;
    notifierWake.notify_all();
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::GetStatus(LPDWORD status)
{
    if (status == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock);
    Advance(platform::ClockNow100ns());
    DWORD value = 0;
    if (playing) {
        value |= DSBSTATUS_PLAYING;
        if (looping) value |= DSBSTATUS_LOOPING;
    }
    if (lost) value |= DSBSTATUS_BUFFERLOST;
    *status = value;
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC desc)
{
    // CreateSoundBuffer has initialised every buffer there is.
    if (desc == nullptr) return DSERR_INVALIDPARAM;
    return DSERR_ALREADYINITIALIZED;
}

STDMETHODIMP CDirectSoundBuffer::Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2,
                                      LPDWORD bytes2, DWORD lockFlags)
{
    if (audio1 == nullptr || bytes1 == nullptr) return DSERR_INVALIDPARAM;
    *audio1 = nullptr;
    *bytes1 = 0;
    if (audio2 != nullptr) *audio2 = nullptr;
    if (bytes2 != nullptr) *bytes2 = 0;
    if ((audio2 == nullptr) != (bytes2 == nullptr)) return DSERR_INVALIDPARAM;
    if (lockFlags & ~DWORD(DSBLOCK_FROMWRITECURSOR | DSBLOCK_ENTIREBUFFER)) return DSERR_INVALIDPARAM;
    if (IsPrimary() && device->cooperativeLevel.load() != DSSCL_WRITEPRIMARY) return DSERR_PRIOLEVELNEEDED;
    std::lock_guard<std::mutex> guard(lock);
    if (lost) return DSERR_BUFFERLOST;
    DWORD size = Size();
    if (lockFlags & DSBLOCK_FROMWRITECURSOR) {
        int64_t now = platform::ClockNow100ns();
        Advance(now);
        DWORD cursor = PlayCursor(now);
        offset = playing ? (cursor + WriteLead()) % size : cursor;
    }
    if (lockFlags & DSBLOCK_ENTIREBUFFER) bytes = size;
    if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
    BYTE* base = memory->bytes.data();
    LockedRegion region{base + offset, std::min(bytes, size - offset), nullptr, 0};
    // Without a place for the second region the lock ends at the buffer's end.
    if (bytes > size - offset && audio2 != nullptr) {
        region.second = base;
        region.secondBytes = bytes - (size - offset);
    }
    lockedRegions.push_back(region);
    *audio1 = region.first;
    *bytes1 = region.firstBytes;
    if (audio2 != nullptr) {
        *audio2 = region.second;
        *bytes2 = region.secondBytes;
    }
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::Unlock(LPVOID audio1, DWORD written1, LPVOID audio2, DWORD written2)
{
    if (audio1 == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock);
    // Only what a Lock handed out can be unlocked, and no more of it.
    auto match = std::find_if(lockedRegions.begin(), lockedRegions.end(), [&](const LockedRegion& region) {
        return region.first == audio1 && written1 <= region.firstBytes &&
               (written2 == 0 || (region.second == audio2 && written2 <= region.secondBytes));
    });
    if (match == lockedRegions.end()) return DSERR_INVALIDPARAM;
    lockedRegions.erase(match);
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::Play(DWORD reserved, DWORD priority, DWORD playFlags)
{
    if (reserved != 0) return DSERR_INVALIDPARAM;
    const DWORD voiceFlags = DSBPLAY_LOCHARDWARE | DSBPLAY_LOCSOFTWARE | DSBPLAY_TERMINATEBY_TIME |
                             DSBPLAY_TERMINATEBY_DISTANCE | DSBPLAY_TERMINATEBY_PRIORITY;
    if (playFlags & ~(voiceFlags | DSBPLAY_LOOPING)) return DSERR_INVALIDPARAM;
    // Priorities and voice placement are only for deferred buffers.
    if (!(flags & DSBCAPS_LOCDEFER) && (priority != 0 || (playFlags & voiceFlags))) return DSERR_INVALIDPARAM;
    if ((playFlags & DSBPLAY_LOCHARDWARE) && (playFlags & DSBPLAY_LOCSOFTWARE)) return DSERR_INVALIDPARAM;
    if (playFlags & DSBPLAY_LOCHARDWARE) return DSERR_INVALIDCALL;  // no hardware voices
    if (IsPrimary() && !(playFlags & DSBPLAY_LOOPING)) return DSERR_INVALIDPARAM;
    if (!IsPrimary() && device->cooperativeLevel.load() == DSSCL_WRITEPRIMARY) return DSERR_INVALIDCALL;
    std::thread old;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (lost) return DSERR_BUFFERLOST;
        int64_t now = platform::ClockNow100ns();
        // Playing again keeps the cursor; the newest flags count.
        if (playing)
            Rebase(now);
        else {
            startTime = now;
            notifiedUpTo = startPosition;
        }
        playing = true;
        looping = (playFlags & DSBPLAY_LOOPING) != 0;
        if (notifierActive) return DS_OK;  // the running notifier carries on
        old = TakeNotifier();
    }
    if (old.joinable()) old.join();
    std::lock_guard<std::mutex> guard(lock);
    if (playing) StartNotifier();
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::SetCurrentPosition(DWORD position)
{
    std::lock_guard<std::mutex> guard(lock);
    if (lost) return DSERR_BUFFERLOST;
    if (position >= Size()) return DSERR_INVALIDPARAM;
    int64_t now = platform::ClockNow100ns();
    Advance(now);
    startPosition = AlignDown(position, Format().nBlockAlign);
    startTime = now;
    notifiedUpTo = startPosition;
    notifierWake.notify_all();
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::SetFormat(LPCWAVEFORMATEX wave)
{
    if (!IsPrimary()) return DSERR_INVALIDCALL;
    if (wave == nullptr) return DSERR_INVALIDPARAM;
    if (device->cooperativeLevel.load() < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
    if (!IsSupportedFormat(wave)) return DSERR_BADFORMAT;
    std::lock_guard<std::mutex> guard(lock);
    if (!lockedRegions.empty()) return DSERR_INVALIDCALL;
    format = CopyFormat(wave);
    memory = std::make_shared<CBufferMemory>(AlignDown(wave->nAvgBytesPerSec / 4, wave->nBlockAlign));
    int64_t now = platform::ClockNow100ns();
    startPosition = 0;
    startTime = now;
    notifiedUpTo = 0;
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::Stop()
{
    std::thread old;
    {
        std::lock_guard<std::mutex> guard(lock);
        int64_t now = platform::ClockNow100ns();
        Advance(now);
        if (playing) {
            startPosition = PlayCursor(now);
            notifiedUpTo = startPosition;
            playing = false;
            SignalStop();
        }
        old = TakeNotifier();
    }
    if (old.joinable()) old.join();
    return DS_OK;
}

STDMETHODIMP CDirectSoundBuffer::Restore()
{
    std::lock_guard<std::mutex> guard(lock);
    if (!lost) return DS_OK;
    // While another buffer writes the primary directly there is nothing to restore into.
    if (!IsPrimary() && device->cooperativeLevel.load() == DSSCL_WRITEPRIMARY) return DSERR_BUFFERLOST;
    lost = false;
    return DS_OK;
}

void CDirectSoundBuffer::MarkLost()
{
    std::thread old;
    {
        std::lock_guard<std::mutex> guard(lock);
        int64_t now = platform::ClockNow100ns();
        Advance(now);
        if (playing) {
            startPosition = PlayCursor(now);
            playing = false;
        }
        lost = true;
        old = TakeNotifier();
    }
    if (old.joinable()) old.join();
}

// ---- IDirectSoundNotify --------------------------------------------------------

STDMETHODIMP CDirectSoundBuffer::SetNotificationPositions(DWORD count, LPCDSBPOSITIONNOTIFY positions)
{
    if (count > DSBNOTIFICATIONS_MAX || (count > 0 && positions == nullptr)) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock);
    Advance(platform::ClockNow100ns());
    if (playing) return DSERR_INVALIDCALL;
    for (DWORD i = 0; i < count; ++i)
        if ((positions[i].dwOffset >= Size() && positions[i].dwOffset != DSBPN_OFFSETSTOP) ||
            positions[i].hEventNotify == nullptr || positions[i].hEventNotify == INVALID_HANDLE_VALUE)
            return DSERR_INVALIDPARAM;
    notifications.assign(positions, positions + count);
    return DS_OK;
}

}  // namespace platform::dsound
