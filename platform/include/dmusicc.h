// DirectMusic core: the DirectMusic object, ports, buffers, instruments,
// collections and the reference clock, in SDK method order and layout.
#pragma once
#include <windows.h>

#include <objbase.h>
#include <mmsystem.h>

#include <dls1.h>
#include <dmerror.h>
#include <dmdls.h>
#include <dsound.h>
#include <dmusbuff.h>

// Windows types the DirectMusic declarations use that the platform's other
// headers do not give.
#ifndef _FILETIME_
#define _FILETIME_
typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;
#endif
struct IStream;
typedef IStream* LPSTREAM;
struct _OVERLAPPED;
typedef struct _OVERLAPPED* LPOVERLAPPED;

#pragma pack(push, 8)

DEFINE_GUID(CLSID_DirectMusic, 0x636b9f10, 0x0c7d, 0x11d1, 0x95, 0xb2, 0x00, 0x20, 0xaf, 0xdc, 0x74, 0x21);
DEFINE_GUID(CLSID_DirectMusicCollection, 0x480ff4b0, 0x28b2, 0x11d1, 0xbe, 0xf7, 0x00, 0xc0, 0x4f, 0xbf, 0x8f, 0xef);
DEFINE_GUID(CLSID_DirectMusicSynth, 0x58c2b4d0, 0x46e7, 0x11d1, 0x89, 0xac, 0x00, 0xa0, 0xc9, 0x05, 0x41, 0x29);

DEFINE_GUID(IID_IDirectMusic, 0x6536115a, 0x7b2d, 0x11d2, 0xba, 0x18, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);
DEFINE_GUID(IID_IDirectMusic2, 0x6fc2cae1, 0xbc78, 0x11d2, 0xaf, 0xa6, 0x00, 0xaa, 0x00, 0x24, 0xd8, 0xb6);
DEFINE_GUID(IID_IDirectMusic8, 0x2d3629f7, 0x813d, 0x4939, 0x85, 0x08, 0xf0, 0x5c, 0x6b, 0x75, 0xfd, 0x97);
DEFINE_GUID(IID_IDirectMusicBuffer, 0xd2ac2878, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(IID_IDirectMusicCollection, 0xd2ac287c, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(IID_IDirectMusicDownload, 0xd2ac287b, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(IID_IDirectMusicDownloadedInstrument, 0xd2ac287e, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1,
            0xbd);
DEFINE_GUID(IID_IDirectMusicInstrument, 0xd2ac287d, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(IID_IDirectMusicPort, 0x08f2d8c9, 0x37c2, 0x11d2, 0xb9, 0xf9, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);
DEFINE_GUID(IID_IDirectMusicPortDownload, 0xd2ac287a, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(IID_IDirectMusicThru, 0xced153e7, 0x3606, 0x11d2, 0xb9, 0xf9, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);

#define IID_IDirectMusicCollection8 IID_IDirectMusicCollection
#define IID_IDirectMusicDownload8 IID_IDirectMusicDownload
#define IID_IDirectMusicDownloadedInstrument8 IID_IDirectMusicDownloadedInstrument
#define IID_IDirectMusicInstrument8 IID_IDirectMusicInstrument
#define IID_IDirectMusicPort8 IID_IDirectMusicPort
#define IID_IDirectMusicPortDownload8 IID_IDirectMusicPortDownload
#define IID_IDirectMusicThru8 IID_IDirectMusicThru

DEFINE_GUID(GUID_DMUS_PROP_GM_Hardware, 0x178f2f24, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);
DEFINE_GUID(GUID_DMUS_PROP_GS_Capable, 0x6496aba2, 0x61b0, 0x11d2, 0xaf, 0xa6, 0x00, 0xaa, 0x00, 0x24, 0xd8, 0xb6);
DEFINE_GUID(GUID_DMUS_PROP_GS_Hardware, 0x178f2f25, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);
DEFINE_GUID(GUID_DMUS_PROP_DLS1, 0x178f2f27, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);
DEFINE_GUID(GUID_DMUS_PROP_DLS2, 0xf14599e5, 0x4689, 0x11d2, 0xaf, 0xa6, 0x00, 0xaa, 0x00, 0x24, 0xd8, 0xb6);
DEFINE_GUID(GUID_DMUS_PROP_Effects, 0xcda8d611, 0x684a, 0x11d2, 0x87, 0x1e, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(GUID_DMUS_PROP_INSTRUMENT2, 0x865fd372, 0x9f67, 0x11d2, 0x87, 0x2a, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(GUID_DMUS_PROP_LegacyCaps, 0xcfa7cdc2, 0x00a1, 0x11d2, 0xaa, 0xd5, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);
DEFINE_GUID(GUID_DMUS_PROP_MemorySize, 0x178f2f28, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);
DEFINE_GUID(GUID_DMUS_PROP_SampleMemorySize, 0x178f2f28, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac,
            0x12);
DEFINE_GUID(GUID_DMUS_PROP_SamplePlaybackRate, 0x2a91f713, 0xa4bf, 0x11d2, 0xbb, 0xdf, 0x00, 0x60, 0x08, 0x33, 0xdb,
            0xd8);
DEFINE_GUID(GUID_DMUS_PROP_SynthSink_DSOUND, 0x0aa97844, 0xc877, 0x11d1, 0x87, 0x0c, 0x00, 0x60, 0x08, 0x93, 0xb1,
            0xbd);
DEFINE_GUID(GUID_DMUS_PROP_SynthSink_WAVE, 0x0aa97845, 0xc877, 0x11d1, 0x87, 0x0c, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(GUID_DMUS_PROP_Volume, 0xfedfae25, 0xe46e, 0x11d1, 0xaa, 0xce, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);
DEFINE_GUID(GUID_DMUS_PROP_WavesReverb, 0x04cb5622, 0x32e5, 0x11d2, 0xaf, 0xa6, 0x00, 0xaa, 0x00, 0x24, 0xd8, 0xb6);
DEFINE_GUID(GUID_DMUS_PROP_WriteLatency, 0x268a0fa0, 0x60f2, 0x11d2, 0xaf, 0xa6, 0x00, 0xaa, 0x00, 0x24, 0xd8, 0xb6);
DEFINE_GUID(GUID_DMUS_PROP_WritePeriod, 0x268a0fa1, 0x60f2, 0x11d2, 0xaf, 0xa6, 0x00, 0xaa, 0x00, 0x24, 0xd8, 0xb6);
DEFINE_GUID(GUID_DMUS_PROP_XG_Capable, 0x6496aba1, 0x61b0, 0x11d2, 0xaf, 0xa6, 0x00, 0xaa, 0x00, 0x24, 0xd8, 0xb6);
DEFINE_GUID(GUID_DMUS_PROP_XG_Hardware, 0x178f2f26, 0xc364, 0x11d1, 0xa7, 0x60, 0x00, 0x00, 0xf8, 0x75, 0xac, 0x12);

typedef struct IDirectMusic* LPDIRECTMUSIC;
typedef struct IDirectMusic8* LPDIRECTMUSIC8;
typedef struct IDirectMusicBuffer* LPDIRECTMUSICBUFFER;
typedef struct IDirectMusicBuffer IDirectMusicBuffer8, *LPDIRECTMUSICBUFFER8;
typedef struct IDirectMusicInstrument* LPDIRECTMUSICINSTRUMENT;
typedef struct IDirectMusicInstrument IDirectMusicInstrument8, *LPDIRECTMUSICINSTRUMENT8;
typedef struct IDirectMusicDownloadedInstrument* LPDIRECTMUSICDOWNLOADEDINSTRUMENT;
typedef struct IDirectMusicDownloadedInstrument IDirectMusicDownloadedInstrument8, *LPDIRECTMUSICDOWNLOADEDINSTRUMENT8;
typedef struct IDirectMusicCollection* LPDIRECTMUSICCOLLECTION;
typedef struct IDirectMusicCollection IDirectMusicCollection8, *LPDIRECTMUSICCOLLECTION8;
typedef struct IDirectMusicDownload* LPDIRECTMUSICDOWNLOAD;
typedef struct IDirectMusicDownload IDirectMusicDownload8, *LPDIRECTMUSICDOWNLOAD8;
typedef struct IDirectMusicPortDownload* LPDIRECTMUSICPORTDOWNLOAD;
typedef struct IDirectMusicPortDownload IDirectMusicPortDownload8, *LPDIRECTMUSICPORTDOWNLOAD8;
typedef struct IDirectMusicPort* LPDIRECTMUSICPORT;
typedef struct IDirectMusicPort IDirectMusicPort8, *LPDIRECTMUSICPORT8;
typedef struct IDirectMusicThru* LPDIRECTMUSICTHRU;
typedef struct IDirectMusicThru IDirectMusicThru8, *LPDIRECTMUSICTHRU8;
typedef struct IReferenceClock* LPREFERENCECLOCK;

typedef ULONGLONG SAMPLE_TIME, *LPSAMPLE_TIME;
typedef ULONGLONG SAMPLE_POSITION, *LPSAMPLE_POSITION;

#ifndef _DIRECTAUDIO_PRIORITIES_DEFINED_
#define _DIRECTAUDIO_PRIORITIES_DEFINED_

#define DAUD_CRITICAL_VOICE_PRIORITY 0xF0000000
#define DAUD_HIGH_VOICE_PRIORITY 0xC0000000
#define DAUD_STANDARD_VOICE_PRIORITY 0x80000000
#define DAUD_LOW_VOICE_PRIORITY 0x40000000
#define DAUD_PERSIST_VOICE_PRIORITY 0x10000000

#define DAUD_CHAN1_VOICE_PRIORITY_OFFSET 0x0000000E
#define DAUD_CHAN2_VOICE_PRIORITY_OFFSET 0x0000000D
#define DAUD_CHAN3_VOICE_PRIORITY_OFFSET 0x0000000C
#define DAUD_CHAN4_VOICE_PRIORITY_OFFSET 0x0000000B
#define DAUD_CHAN5_VOICE_PRIORITY_OFFSET 0x0000000A
#define DAUD_CHAN6_VOICE_PRIORITY_OFFSET 0x00000009
#define DAUD_CHAN7_VOICE_PRIORITY_OFFSET 0x00000008
#define DAUD_CHAN8_VOICE_PRIORITY_OFFSET 0x00000007
#define DAUD_CHAN9_VOICE_PRIORITY_OFFSET 0x00000006
#define DAUD_CHAN10_VOICE_PRIORITY_OFFSET 0x0000000F
#define DAUD_CHAN11_VOICE_PRIORITY_OFFSET 0x00000005
#define DAUD_CHAN12_VOICE_PRIORITY_OFFSET 0x00000004
#define DAUD_CHAN13_VOICE_PRIORITY_OFFSET 0x00000003
#define DAUD_CHAN14_VOICE_PRIORITY_OFFSET 0x00000002
#define DAUD_CHAN15_VOICE_PRIORITY_OFFSET 0x00000001
#define DAUD_CHAN16_VOICE_PRIORITY_OFFSET 0x00000000

#define DAUD_CHAN1_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN1_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN2_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN2_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN3_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN3_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN4_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN4_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN5_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN5_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN6_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN6_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN7_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN7_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN8_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN8_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN9_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN9_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN10_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN10_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN11_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN11_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN12_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN12_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN13_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN13_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN14_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN14_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN15_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN15_VOICE_PRIORITY_OFFSET)
#define DAUD_CHAN16_DEF_VOICE_PRIORITY (DAUD_STANDARD_VOICE_PRIORITY | DAUD_CHAN16_VOICE_PRIORITY_OFFSET)
#endif

#define DMUS_CLOCKF_GLOBAL 0x1

#define DMUS_EFFECT_NONE 0x0
#define DMUS_EFFECT_REVERB 0x1
#define DMUS_EFFECT_CHORUS 0x2
#define DMUS_EFFECT_DELAY 0x4

#define DMUS_MAX_DESCRIPTION 0x80
#define DMUS_MAX_DRIVER 0x80

#define DMUS_PC_INPUTCLASS 0x0
#define DMUS_PC_OUTPUTCLASS 0x1

#define DMUS_PC_DLS 0x00000001
#define DMUS_PC_EXTERNAL 0x00000002
#define DMUS_PC_SOFTWARESYNTH 0x00000004
#define DMUS_PC_MEMORYSIZEFIXED 0x00000008
#define DMUS_PC_GMINHARDWARE 0x00000010
#define DMUS_PC_GSINHARDWARE 0x00000020
#define DMUS_PC_XGINHARDWARE 0x00000040
#define DMUS_PC_DIRECTSOUND 0x00000080
#define DMUS_PC_SHAREABLE 0x00000100
#define DMUS_PC_DLS2 0x00000200
#define DMUS_PC_AUDIOPATH 0x00000400
#define DMUS_PC_WAVE 0x00000800
#define DMUS_PC_SYSTEMMEMORY 0x7FFFFFFF

#define DMUS_PORT_WINMM_DRIVER 0x0
#define DMUS_PORT_USER_MODE_SYNTH 0x1
#define DMUS_PORT_KERNEL_MODE 0x2

#define DMUS_PORT_FEATURE_AUDIOPATH 0x1
#define DMUS_PORT_FEATURE_STREAMING 0x2

#define DMUS_PORTPARAMS_VOICES 0x01
#define DMUS_PORTPARAMS_CHANNELGROUPS 0x02
#define DMUS_PORTPARAMS_AUDIOCHANNELS 0x04
#define DMUS_PORTPARAMS_SAMPLERATE 0x08
#define DMUS_PORTPARAMS_EFFECTS 0x20
#define DMUS_PORTPARAMS_SHARE 0x40
#define DMUS_PORTPARAMS_FEATURES 0x80

#define DMUS_VOLUME_MAX 2000
#define DMUS_VOLUME_MIN -20000

#define DMUS_SYNTHSTATS_VOICES 0x01
#define DMUS_SYNTHSTATS_TOTAL_CPU 0x02
#define DMUS_SYNTHSTATS_CPU_PER_VOICE 0x04
#define DMUS_SYNTHSTATS_LOST_NOTES 0x08
#define DMUS_SYNTHSTATS_PEAK_VOLUME 0x10
#define DMUS_SYNTHSTATS_FREE_MEMORY 0x20
#define DMUS_SYNTHSTATS_SYSTEMMEMORY DMUS_PC_SYSTEMMEMORY

#define DSBUSID_FIRST_SPKR_LOC 0x00000000
#define DSBUSID_FRONT_LEFT 0x00000000
#define DSBUSID_LEFT 0x00000000
#define DSBUSID_FRONT_RIGHT 0x00000001
#define DSBUSID_RIGHT 0x00000001
#define DSBUSID_FRONT_CENTER 0x00000002
#define DSBUSID_LOW_FREQUENCY 0x00000003
#define DSBUSID_BACK_LEFT 0x00000004
#define DSBUSID_BACK_RIGHT 0x00000005
#define DSBUSID_FRONT_LEFT_OF_CENTER 0x00000006
#define DSBUSID_FRONT_RIGHT_OF_CENTER 0x00000007
#define DSBUSID_BACK_CENTER 0x00000008
#define DSBUSID_SIDE_LEFT 0x00000009
#define DSBUSID_SIDE_RIGHT 0x0000000A
#define DSBUSID_TOP_CENTER 0x0000000B
#define DSBUSID_TOP_FRONT_LEFT 0x0000000C
#define DSBUSID_TOP_FRONT_CENTER 0x0000000D
#define DSBUSID_TOP_FRONT_RIGHT 0x0000000E
#define DSBUSID_TOP_BACK_LEFT 0x0000000F
#define DSBUSID_TOP_BACK_CENTER 0x00000010
#define DSBUSID_TOP_BACK_RIGHT 0x011
#define DSBUSID_LAST_SPKR_LOC 0x00000011
#define DSBUSID_IS_SPKR_LOC(id) (((id) >= DSBUSID_FIRST_SPKR_LOC) && ((id) <= DSBUSID_LAST_SPKR_LOC))

#define DSBUSID_REVERB_SEND 0x00000040
#define DSBUSID_CHORUS_SEND 0x00000041

#define DSBUSID_DYNAMIC_0 0x00000200

#define DSBUSID_NULL 0xFFFFFFFF

typedef enum { DMUS_CLOCK_SYSTEM = 0x0, DMUS_CLOCK_WAVE = 0x1 } DMUS_CLOCKTYPE;

typedef struct _DMUS_BUFFERDESC DMUS_BUFFERDESC, *LPDMUS_BUFFERDESC;
typedef struct _DMUS_PORTCAPS DMUS_PORTCAPS, *LPDMUS_PORTCAPS;
typedef struct _DMUS_PORTPARAMS DMUS_PORTPARAMS7, *LPDMUS_PORTPARAMS7;
typedef struct _DMUS_PORTPARAMS8 DMUS_PORTPARAMS8, *LPDMUS_PORTPARAMS8;
typedef DMUS_PORTPARAMS8 DMUS_PORTPARAMS, *LPDMUS_PORTPARAMS;
typedef struct _DMUS_SYNTHSTATS DMUS_SYNTHSTATS, *LPDMUS_SYNTHSTATS;
typedef struct _DMUS_SYNTHSTATS8 DMUS_SYNTHSTATS8, *LPDMUS_SYNTHSTATS8;
typedef struct _DMUS_WAVES_REVERB_PARAMS DMUS_WAVES_REVERB_PARAMS, *LPDMUS_WAVES_REVERB_PARAMS;
typedef struct _DMUS_CLOCKINFO7 DMUS_CLOCKINFO7, *LPDMUS_CLOCKINFO7;
typedef struct _DMUS_CLOCKINFO8 DMUS_CLOCKINFO8, *LPDMUS_CLOCKINFO8;
typedef DMUS_CLOCKINFO8 DMUS_CLOCKINFO, *LPDMUS_CLOCKINFO;

struct _DMUS_BUFFERDESC {
    DWORD dwSize;
    DWORD dwFlags;
    GUID guidBufferFormat;
    DWORD cbBuffer;
};

struct _DMUS_PORTCAPS {
    DWORD dwSize;
    DWORD dwFlags;
    GUID guidPort;
    DWORD dwClass;
    DWORD dwType;
    DWORD dwMemorySize;
    DWORD dwMaxChannelGroups;
    DWORD dwMaxVoices;
    DWORD dwMaxAudioChannels;
    DWORD dwEffectFlags;
    WCHAR wszDescription[DMUS_MAX_DESCRIPTION];
};

struct _DMUS_PORTPARAMS {
    DWORD dwSize;
    DWORD dwValidParams;
    DWORD dwVoices;
    DWORD dwChannelGroups;
    DWORD dwAudioChannels;
    DWORD dwSampleRate;
    DWORD dwEffectFlags;
    BOOL fShare;
};

struct _DMUS_PORTPARAMS8 {
    DWORD dwSize;
    DWORD dwValidParams;
    DWORD dwVoices;
    DWORD dwChannelGroups;
    DWORD dwAudioChannels;
    DWORD dwSampleRate;
    DWORD dwEffectFlags;
    BOOL fShare;
    DWORD dwFeatures;
};
static_assert(sizeof(DMUS_PORTCAPS) == 308, "DMUS_PORTCAPS keeps the SDK's size");
static_assert(sizeof(DMUS_PORTPARAMS7) == 32, "the DirectX 7 port parameters are 32 bytes");
static_assert(sizeof(DMUS_PORTPARAMS8) == 36, "the DirectX 8 port parameters add dwFeatures");

struct _DMUS_SYNTHSTATS {
    DWORD dwSize;
    DWORD dwValidStats;
    DWORD dwVoices;
    DWORD dwTotalCPU;
    DWORD dwCPUPerVoice;
    DWORD dwLostNotes;
    DWORD dwFreeMemory;
    LONG lPeakVolume;
};

struct _DMUS_SYNTHSTATS8 {
    DWORD dwSize;
    DWORD dwValidStats;
    DWORD dwVoices;
    DWORD dwTotalCPU;
    DWORD dwCPUPerVoice;
    DWORD dwLostNotes;
    DWORD dwFreeMemory;
    LONG lPeakVolume;
    DWORD dwSynthMemUse;
};

struct _DMUS_WAVES_REVERB_PARAMS {
    float fInGain;
    float fReverbMix;
    float fReverbTime;
    float fHighFreqRTRatio;
};

struct _DMUS_CLOCKINFO7 {
    DWORD dwSize;
    DMUS_CLOCKTYPE ctType;
    GUID guidClock;
    WCHAR wszDescription[DMUS_MAX_DESCRIPTION];
};

struct _DMUS_CLOCKINFO8 {
    DWORD dwSize;
    DMUS_CLOCKTYPE ctType;
    GUID guidClock;
    WCHAR wszDescription[DMUS_MAX_DESCRIPTION];
    DWORD dwFlags;
};

struct IDirectMusic : public IUnknown {
    STDMETHOD(EnumPort)(DWORD dwIndex, LPDMUS_PORTCAPS pPortCaps) PURE;
    STDMETHOD(CreateMusicBuffer)(LPDMUS_BUFFERDESC pBufferDesc, LPDIRECTMUSICBUFFER* ppBuffer,
                                 LPUNKNOWN pUnkOuter) PURE;
    STDMETHOD(CreatePort)(REFCLSID rclsidPort, LPDMUS_PORTPARAMS pPortParams, LPDIRECTMUSICPORT* ppPort,
                          LPUNKNOWN pUnkOuter) PURE;
    STDMETHOD(EnumMasterClock)(DWORD dwIndex, LPDMUS_CLOCKINFO lpClockInfo) PURE;
    STDMETHOD(GetMasterClock)(LPGUID pguidClock, struct IReferenceClock** ppReferenceClock) PURE;
    STDMETHOD(SetMasterClock)(REFGUID rguidClock) PURE;
    STDMETHOD(Activate)(BOOL fEnable) PURE;
    STDMETHOD(GetDefaultPort)(LPGUID pguidPort) PURE;
    STDMETHOD(SetDirectSound)(LPDIRECTSOUND pDirectSound, HWND hWnd) PURE;
};

struct IDirectMusic8 : public IDirectMusic {
    STDMETHOD(SetExternalMasterClock)(struct IReferenceClock* pClock) PURE;
};

struct IDirectMusicBuffer : public IUnknown {
    STDMETHOD(Flush)() PURE;
    STDMETHOD(TotalTime)(LPREFERENCE_TIME prtTime) PURE;
    STDMETHOD(PackStructured)(REFERENCE_TIME rt, DWORD dwChannelGroup, DWORD dwChannelMessage) PURE;
    STDMETHOD(PackUnstructured)(REFERENCE_TIME rt, DWORD dwChannelGroup, DWORD cb, LPBYTE lpb) PURE;
    STDMETHOD(ResetReadPtr)() PURE;
    STDMETHOD(GetNextEvent)(LPREFERENCE_TIME prt, LPDWORD pdwChannelGroup, LPDWORD pdwLength, LPBYTE* ppData) PURE;
    STDMETHOD(GetRawBufferPtr)(LPBYTE* ppData) PURE;
    STDMETHOD(GetStartTime)(LPREFERENCE_TIME prt) PURE;
    STDMETHOD(GetUsedBytes)(LPDWORD pcb) PURE;
    STDMETHOD(GetMaxBytes)(LPDWORD pcb) PURE;
    STDMETHOD(GetBufferFormat)(LPGUID pGuidFormat) PURE;
    STDMETHOD(SetStartTime)(REFERENCE_TIME rt) PURE;
    STDMETHOD(SetUsedBytes)(DWORD cb) PURE;
};

struct IDirectMusicInstrument : public IUnknown {
    STDMETHOD(GetPatch)(DWORD* pdwPatch) PURE;
    STDMETHOD(SetPatch)(DWORD dwPatch) PURE;
};

struct IDirectMusicDownloadedInstrument : public IUnknown {};

struct IDirectMusicCollection : public IUnknown {
    STDMETHOD(GetInstrument)(DWORD dwPatch, IDirectMusicInstrument** ppInstrument) PURE;
    STDMETHOD(EnumInstrument)(DWORD dwIndex, DWORD* pdwPatch, LPWSTR pwszName, DWORD dwNameLen) PURE;
};

struct IDirectMusicDownload : public IUnknown {
    STDMETHOD(GetBuffer)(void** ppvBuffer, DWORD* pdwSize) PURE;
};

struct IDirectMusicPortDownload : public IUnknown {
    STDMETHOD(GetBuffer)(DWORD dwDLId, IDirectMusicDownload** ppIDMDownload) PURE;
    STDMETHOD(AllocateBuffer)(DWORD dwSize, IDirectMusicDownload** ppIDMDownload) PURE;
    STDMETHOD(GetDLId)(DWORD* pdwStartDLId, DWORD dwCount) PURE;
    STDMETHOD(GetAppend)(DWORD* pdwAppend) PURE;
    STDMETHOD(Download)(IDirectMusicDownload* pIDMDownload) PURE;
    STDMETHOD(Unload)(IDirectMusicDownload* pIDMDownload) PURE;
};

struct IDirectMusicPort : public IUnknown {
    STDMETHOD(PlayBuffer)(LPDIRECTMUSICBUFFER pBuffer) PURE;
    STDMETHOD(SetReadNotificationHandle)(HANDLE hEvent) PURE;
    STDMETHOD(Read)(LPDIRECTMUSICBUFFER pBuffer) PURE;
    STDMETHOD(DownloadInstrument)(IDirectMusicInstrument* pInstrument,
                                  IDirectMusicDownloadedInstrument** ppDownloadedInstrument,
                                  DMUS_NOTERANGE* pNoteRanges, DWORD dwNumNoteRanges) PURE;
    STDMETHOD(UnloadInstrument)(IDirectMusicDownloadedInstrument* pDownloadedInstrument) PURE;
    STDMETHOD(GetLatencyClock)(struct IReferenceClock** ppClock) PURE;
    STDMETHOD(GetRunningStats)(LPDMUS_SYNTHSTATS pStats) PURE;
    STDMETHOD(Compact)() PURE;
    STDMETHOD(GetCaps)(LPDMUS_PORTCAPS pPortCaps) PURE;
    STDMETHOD(DeviceIoControl)(DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize, LPVOID lpOutBuffer,
                               DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) PURE;
    STDMETHOD(SetNumChannelGroups)(DWORD dwChannelGroups) PURE;
    STDMETHOD(GetNumChannelGroups)(LPDWORD pdwChannelGroups) PURE;
    STDMETHOD(Activate)(BOOL fActive) PURE;
    STDMETHOD(SetChannelPriority)(DWORD dwChannelGroup, DWORD dwChannel, DWORD dwPriority) PURE;
    STDMETHOD(GetChannelPriority)(DWORD dwChannelGroup, DWORD dwChannel, LPDWORD pdwPriority) PURE;
    STDMETHOD(SetDirectSound)(LPDIRECTSOUND pDirectSound, LPDIRECTSOUNDBUFFER pDirectSoundBuffer) PURE;
    STDMETHOD(GetFormat)(LPWAVEFORMATEX pWaveFormatEx, LPDWORD pdwWaveFormatExSize, LPDWORD pdwBufferSize) PURE;
};

struct IDirectMusicThru : public IUnknown {
    STDMETHOD(ThruChannel)(DWORD dwSourceChannelGroup, DWORD dwSourceChannel, DWORD dwDestinationChannelGroup,
                           DWORD dwDestinationChannel, LPDIRECTMUSICPORT pDestinationPort) PURE;
};

#ifndef __IReferenceClock_INTERFACE_DEFINED__
#define __IReferenceClock_INTERFACE_DEFINED__
DEFINE_GUID(IID_IReferenceClock, 0x56a86897, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70);

struct IReferenceClock : public IUnknown {
    STDMETHOD(GetTime)(REFERENCE_TIME* pTime) PURE;
    STDMETHOD(AdviseTime)(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HANDLE hEvent,
                          DWORD* pdwAdviseCookie) PURE;
    STDMETHOD(AdvisePeriodic)(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HANDLE hSemaphore,
                              DWORD* pdwAdviseCookie) PURE;
    STDMETHOD(Unadvise)(DWORD dwAdviseCookie) PURE;
};

#endif

#pragma pack(pop)
