// The synth sink: see sink.h.
#include "platform/dmusic/sink.h"

#include <platform/clock.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace dmusic {

CSynthSink::CSynthSink(CSynthesizer* synthesizer) : synth(synthesizer)
{
    sampleRate = synth->SampleRate();
    Anchor(platform::ClockNow100ns());
}

CSynthSink::~CSynthSink() { Stop(); }

void CSynthSink::Anchor(int64_t now)
{
    std::lock_guard<std::mutex> guard(anchorLock);
    anchorTime = now;
    anchorFrame = synth->RenderedFrames();
}

int64_t CSynthSink::FrameAt(int64_t referenceTime) const
{
    std::lock_guard<std::mutex> guard(anchorLock);
    // Exact integer arithmetic: the same time gives the same frame whatever
    // the clock rate, and rounding to the nearest frame keeps it unbiased.
    // (Exact for spans of many weeks.)
    int64_t offset = (referenceTime - anchorTime) * int64_t(sampleRate);
    int64_t frames = offset >= 0 ? (offset + 5000000) / 10000000 : -((-offset + 5000000) / 10000000);
    return anchorFrame + frames;
}

int64_t CSynthSink::TimeAtFrame(int64_t frame) const
{
    std::lock_guard<std::mutex> guard(anchorLock);
    return anchorTime + (frame - anchorFrame) * 10000000 / int64_t(sampleRate);
}

int64_t CSynthSink::FramesPerStep() const
{
    const int64_t scaled = platform::kFollowStep100ns * int64_t(sampleRate);
    return scaled % 10000000 == 0 ? scaled / 10000000 : 0;
}

int64_t CSynthSink::AlignedFrameAtOrAfter(int64_t frame, int64_t block) const
{
    block = std::max<int64_t>(1, block);
    auto up = [](int64_t value, int64_t unit) {
        return value >= 0 ? (value + unit - 1) / unit * unit : -(-value / unit * unit);
    };
    int64_t aligned = up(frame, block);
    const int64_t step = platform::ClockFollowsSinks() ? FramesPerStep() : 0;
    if (step <= 0) return aligned;
    int64_t origin;
    {
        std::lock_guard<std::mutex> guard(anchorLock);
        origin = anchorFrame;
    }
    // Block and step lengths share no factor for the usual rates, so a frame
    // on both comes within their product.
    for (int64_t tries = 0; tries < step && (aligned - origin) % step != 0; ++tries) aligned += block;
    return aligned;
}

int64_t CSynthSink::LatencyTime() const { return TimeAtFrame(std::max(claimedFrame.load(), synth->RenderedFrames())); }

void CSynthSink::SetHorizon(int64_t referenceTime)
{
    // The event is taken under the lock that Start and Stop make and close
    // it under: the sequencer may set a horizon while the port stops.
    std::lock_guard<std::mutex> guard(handshakeLock);
    horizon = referenceTime;
    if (starved.exchange(false) && horizonEvent) SetEvent(horizonEvent);
}

void CSynthSink::HoldHorizon()
{
    std::lock_guard<std::mutex> guard(handshakeLock);
    horizon = std::min(horizon, TimeAtFrame(std::max(claimedFrame.load(), synth->RenderedFrames())));
}

int64_t CSynthSink::Horizon() const
{
    std::lock_guard<std::mutex> guard(handshakeLock);
    return horizon;
}

int64_t CSynthSink::ClaimFrames(int64_t rendered, int64_t wanted)
{
    std::lock_guard<std::mutex> guard(handshakeLock);
    int64_t allowed = wanted;
    if (horizon != kNoHorizon) {
        // The frame that sounds at the horizon is the first one held back,
        // less half a block: the synth starts an event at the block boundary
        // nearest its frame, which may come up to half a block earlier.
        int64_t limit = FrameAt(horizon) - 32;
        allowed = std::clamp<int64_t>(limit - rendered, 0, wanted);
    }
    if (platform::ClockFollowsSinks() && allowed > 0) {
        // Pieces end on whole steps of the clock, so the time published
        // after each names its last frame exactly.
        const int64_t step = FramesPerStep();
        int64_t origin;
        {
            std::lock_guard<std::mutex> anchorGuard(anchorLock);
            origin = anchorFrame;
        }
        if (step > 0) {
            const int64_t end = rendered + allowed;
            const int64_t into = ((end - origin) % step + step) % step;
            if (end - into > rendered)
                allowed -= into;
            else if (allowed < wanted)
                allowed = 0;  // held at the horizon: wait for the next step
        }
    }
    claimedFrame = rendered + allowed;
    return allowed;
}

HRESULT CSynthSink::Start(IDirectSoundBuffer* target)
{
    if (!target) return E_POINTER;
    Stop();
    WAVEFORMATEX format{};
    DWORD written = 0;
    HRESULT hr = target->GetFormat(&format, sizeof(format), &written);
    if (FAILED(hr)) return hr;
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels != 2 || format.wBitsPerSample != 16)
        return DSERR_BADFORMAT;
    DSBCAPS caps{};
    caps.dwSize = sizeof(caps);
    hr = target->GetCaps(&caps);
    if (FAILED(hr)) return hr;
    // At least one of the synth's blocks of 16-bit stereo.
    if (caps.dwBufferBytes < 4 * kSynthBlockFrames) return DSERR_BUFFERTOOSMALL;

    DWORD status = 0;
    target->GetStatus(&status);
    if (!(status & DSBSTATUS_PLAYING)) {
        hr = target->Play(0, 0, DSBPLAY_LOOPING);
        if (FAILED(hr)) return hr;
    }
    target->AddRef();
    {
        std::lock_guard<std::mutex> guard(tickLock);
        buffer = target;
        ringBytes = caps.dwBufferBytes / 4 * 4;
        blockAlign = 4;
        bytesPerSecond = format.nSamplesPerSec * 4;
        DWORD play = 0, write = 0;
        // The first frame goes where the cursor is, so it sounds now and the
        // frames that follow sound at their nominal times. The cursor and the
        // time are one pair: read again while the clock moved between them.
        int64_t now = platform::ClockNow100ns();
        for (int attempt = 0; attempt < 16; ++attempt) {
            const int64_t before = now;
            buffer->GetCurrentPosition(&play, &write);
            now = platform::ClockNow100ns();
            if (now == before) break;
        }
        writeOffset = play / blockAlign * blockAlign % ringBytes;
        lastPlayCursor = play;
        lead = 0;
        wasStopped = false;
        lastTickTime = now;
        Anchor(lastTickTime);
    }
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        std::lock_guard<std::mutex> guard(handshakeLock);
        horizonEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    timeSource = platform::RegisterTimeSource();
    quit = false;
    Tick();
    thread = std::thread([this] { Run(); });
    return S_OK;
}

void CSynthSink::Stop()
{
    if (thread.joinable()) {
        quit = true;
        SetEvent(stopEvent);
        thread.join();
    }
    if (stopEvent) CloseHandle(stopEvent);
    stopEvent = nullptr;
    {
        std::lock_guard<std::mutex> guard(handshakeLock);
        if (horizonEvent) CloseHandle(horizonEvent);
        horizonEvent = nullptr;
    }
    if (timeSource) platform::UnregisterTimeSource(timeSource);
    timeSource = 0;
    std::lock_guard<std::mutex> guard(tickLock);
    if (buffer) {
        buffer->Stop();
        buffer->Release();
        buffer = nullptr;
    }
}

void CSynthSink::Run()
{
    const HANDLE events[2] = {stopEvent, horizonEvent};
    for (;;) {
        // While time follows the sinks, the next piece follows at once.
        bool rendered = Tick();
        if (quit) break;
        if (rendered && platform::ClockFollowsSinks()) continue;
        if (WaitForMultipleObjects(2, events, FALSE, kPeriodMs) == WAIT_OBJECT_0) break;
    }
}

bool CSynthSink::Tick()
{
    std::lock_guard<std::mutex> guard(tickLock);
    if (!buffer) return false;
    DWORD status = 0;
    if (FAILED(buffer->GetStatus(&status)) || !(status & DSBSTATUS_PLAYING)) {
        // Nothing plays, so nothing is consumed; time goes on without us.
        wasStopped = true;
        return false;
    }
    if (!FollowCursor()) return false;
    const bool follow = platform::ClockFollowsSinks();
    const bool renderedAny = RenderAhead(BytesWanted(follow));
    if (follow && renderedAny) platform::PublishTime(timeSource, TimeAtFrame(synth->RenderedFrames()));
    return renderedAny;
}

bool CSynthSink::FollowCursor()
{
    // The cursor belongs to some moment between the two reads of the clock;
    // the tolerance below widens by that span, so a thread preempted between
    // the reads does not take its own delay for a moved cursor.
    const int64_t before = platform::ClockNow100ns();
    DWORD play = 0, write = 0;
    if (FAILED(buffer->GetCurrentPosition(&play, &write))) return false;
    const int64_t now = platform::ClockNow100ns();
    const int64_t spread = now - before;
    play %= ringBytes;

    // How far the cursor moved: its ring distance plus as many whole rings as
    // the time passed says (a sink that was held up may miss whole wraps).
    const double expected = double(now - lastTickTime) * bytesPerSecond / 1e7;
    const int64_t ring = ringBytes;
    int64_t moved = (int64_t(play) - int64_t(lastPlayCursor) + ring) % ring;
    int64_t wraps = std::max<int64_t>(0, std::llround((expected - double(moved)) / double(ring)));
    moved += wraps * ring;
    const double tolerance =
        0.1 * bytesPerSecond + 0.1 * expected + double(spread + lastReadSpread) * bytesPerSecond / 1e7;
    lastReadSpread = spread;
    if (wasStopped || std::fabs(double(moved) - expected) > tolerance) {
        // The cursor was set elsewhere (or the buffer restarted): write from
        // there on. The synth's stream stays contiguous; only where it lands
        // in the ring changes. After a stop, the time mapping starts afresh.
        if (wasStopped) Anchor(now);
        writeOffset = play / blockAlign * blockAlign;
        lead = 0;
        ++statistics.repositions;
        wasStopped = false;
    } else {
        lead -= moved;
    }
    lastPlayCursor = play;
    lastTickTime = now;
    return true;
}

int64_t CSynthSink::LargestPiece() const
{
    const int64_t ring = ringBytes;
    return std::max<int64_t>(blockAlign, ring / 2 / blockAlign * blockAlign);
}

int64_t CSynthSink::BytesWanted(bool follow) const
{
    if (follow) {
        // Time waits for this sink: one piece, then the clock moves on.
        return std::min<int64_t>(LargestPiece(),
                                 kLongestPiece100ns * bytesPerSecond / 10000000 / blockAlign * blockAlign);
    }
    // 55 ms ahead, as DirectMusic; on a clock run fast, at least 30 ms of
    // real time ahead (up to 250 ms of platform time), so a thread that
    // the machine holds up briefly does not leave the cursor to overtake it.
    const double rate = platform::GetClockRate();
    const double ahead100ns = std::clamp(30e4 * rate, double(kWriteAhead100ns), 25e5);
    int64_t target = int64_t(ahead100ns * bytesPerSecond / 1e7) / blockAlign * blockAlign;
    return target - lead;
}

bool CSynthSink::RenderAhead(int64_t need)
{
    // Behind by more than the ring, or not: every frame is rendered in order,
    // in pieces shorter than the ring so a reader of the ring sees each wrap.
    const int64_t largestPiece = LargestPiece();
    bool renderedAny = false;
    while (need >= blockAlign) {
        const int64_t wanted = std::min(need, largestPiece) / blockAlign;
        const int64_t frames = ClaimFrames(synth->RenderedFrames(), wanted);
        if (frames < wanted) ++statistics.heldAtHorizon;
        if (frames == 0) {
            // Woken when the sequencer moves the horizon.
            starved = true;
            break;
        }
        const DWORD done = WritePiece(DWORD(frames * blockAlign));
        if (done == 0) break;
        renderedAny = true;
        ++statistics.locks;
        statistics.bytesWritten += done;
        statistics.largestLock = std::max<uint64_t>(statistics.largestLock, done);
        writeOffset = DWORD((writeOffset + done) % ringBytes);
        lead += done;
        need -= done;
        if (frames < wanted) break;
    }
    return renderedAny;
}

DWORD CSynthSink::WritePiece(DWORD piece)
{
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    if (FAILED(buffer->Lock(writeOffset, piece, &first, &firstBytes, &second, &secondBytes, 0))) return 0;
    DWORD done = 0;
    for (auto [region, bytes] : {std::pair{first, firstBytes}, std::pair{second, secondBytes}}) {
        if (!region || bytes == 0) continue;
        bytes = std::min(bytes, piece - done) / blockAlign * blockAlign;
        synth->Render(static_cast<int16_t*>(region), bytes / blockAlign);
        done += bytes;
    }
    buffer->Unlock(first, firstBytes, second, secondBytes);
    return done;
}

CSynthSink::Statistics CSynthSink::GetStatistics() const
{
    std::lock_guard<std::mutex> guard(const_cast<std::mutex&>(tickLock));
    return statistics;
}

}  // namespace dmusic
