// The multimedia part of Windows the component uses: the millisecond clock
// and the PCM wave format.
#pragma once

#include <windows.h>

typedef DWORD MMRESULT;
#define TIMERR_NOERROR 0

extern "C" {
// Milliseconds of platform time (see platform/clock.h); wraps after 2^32.
DWORD WINAPI timeGetTime(void);
MMRESULT WINAPI timeBeginPeriod(UINT period);
MMRESULT WINAPI timeEndPeriod(UINT period);
}

#ifndef _WAVEFORMATEX_
#define _WAVEFORMATEX_
#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
} WAVEFORMATEX, *PWAVEFORMATEX, *LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX keeps the SDK's packed layout");
#endif
#define WAVE_FORMAT_PCM 1
