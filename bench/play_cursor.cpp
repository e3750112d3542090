// How fast the platform buffer's play cursor moves per second of platform
// time (176400 bytes for the component's format) at clock rates 1 and 16,
// and what a cursor query costs.
#include <dsound.h>
#include <objbase.h>
#include <platform/clock.h>

#include <benchmark/benchmark.h>

namespace {

IDirectSoundBuffer* MakePlayingBuffer(IDirectSound** device)
{
    DirectSoundCreate(nullptr, device, nullptr);
    (*device)->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE;
    desc.dwBufferBytes = 176400 * 30;
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    (*device)->CreateSoundBuffer(&desc, &buffer, nullptr);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    return buffer;
}

// Each iteration lets half a platform second pass and reports the bytes the
// cursor moved per platform second.
void CursorBytesPerPlatformSecond(benchmark::State& state)
{
    double previousRate = platform::GetClockRate();
    platform::SetClockRate(double(state.range(0)));
    IDirectSound* device = nullptr;
    IDirectSoundBuffer* buffer = MakePlayingBuffer(&device);
    double bytes = 0;
    double ticks = 0;
    for (auto _ : state) {
        DWORD start = 0;
        DWORD end = 0;
        buffer->SetCurrentPosition(0);
        int64_t from = platform::ClockNow100ns();
        buffer->GetCurrentPosition(&start, nullptr);
        platform::SleepUntil100ns(from + 5000000);
        buffer->GetCurrentPosition(&end, nullptr);
        int64_t to = platform::ClockNow100ns();
        bytes += double(end - start);
        ticks += double(to - from);
    }
    state.counters["bytes_per_platform_second"] = bytes * 1e7 / ticks;
    buffer->Release();
    device->Release();
    platform::SetClockRate(previousRate);
}
BENCHMARK(CursorBytesPerPlatformSecond)->Arg(1)->Arg(16)->Iterations(4)->Unit(benchmark::kMillisecond);

void GetCurrentPositionCall(benchmark::State& state)
{
    IDirectSound* device = nullptr;
    IDirectSoundBuffer* buffer = MakePlayingBuffer(&device);
    DWORD play = 0;
    DWORD write = 0;
    for (auto _ : state) {
        buffer->GetCurrentPosition(&play, &write);
        benchmark::DoNotOptimize(play);
    }
    buffer->Release();
    device->Release();
}
BENCHMARK(GetCurrentPositionCall);

}  // namespace

BENCHMARK_MAIN();
