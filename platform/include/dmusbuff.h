// The event header of a DirectMusic buffer (packed to 4 bytes, as in the SDK).
#pragma once
#include <windows.h>
#include <dmdls.h>

#define QWORD_ALIGN(x) (((x) + 7) & ~7)
#define DMUS_EVENT_SIZE(cb) QWORD_ALIGN(sizeof(DMUS_EVENTHEADER) + cb)

#define DMUS_EVENT_STRUCTURED 0x1

typedef struct _DMUS_EVENTHEADER DMUS_EVENTHEADER, *LPDMUS_EVENTHEADER;

#pragma pack(push, 4)
struct _DMUS_EVENTHEADER {
    DWORD cbEvent;
    DWORD dwChannelGroup;
    REFERENCE_TIME rtDelta;
    DWORD dwFlags;
};
#pragma pack(pop)
