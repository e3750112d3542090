// DirectMusic tracks and tools: the plug-in interfaces a segment is built
// from, in SDK method order.
#pragma once
#include <windows.h>

#include <objbase.h>
#include <mmsystem.h>
#include <dmusici.h>
#pragma pack(push, 8)

#define DMUS_REGSTR_PATH_TOOLS "Software\\Microsoft\\DirectMusic\\Tools"

DEFINE_GUID(CLSID_DirectMusicBandTrack, 0xd2ac2894, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicChordTrack, 0xd2ac288b, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicChordMapTrack, 0xd2ac2896, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicCommandTrack, 0xd2ac288c, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicLyricsTrack, 0x995c1cf5, 0x54ff, 0x11d3, 0x8b, 0xda, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xb6);
DEFINE_GUID(CLSID_DirectMusicMarkerTrack, 0x55a8fd00, 0x4288, 0x11d3, 0x9b, 0xd1, 0x8a, 0x0d, 0x61, 0xc8, 0x88, 0x35);
DEFINE_GUID(CLSID_DirectMusicMotifTrack, 0xd2ac288e, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicMuteTrack, 0xd2ac2898, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicParamControlTrack, 0x4be0537b, 0x5c19, 0x11d3, 0x8b, 0xdc, 0x00, 0x60, 0x08, 0x93, 0xb1,
            0xb6);
DEFINE_GUID(CLSID_DirectMusicScriptTrack, 0x4108fa85, 0x3586, 0x11d3, 0x8b, 0xd7, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xb6);
DEFINE_GUID(CLSID_DirectMusicSegmentTriggerTrack, 0xbae4d665, 0x4ea1, 0x11d3, 0x8b, 0xda, 0x00, 0x60, 0x08, 0x93, 0xb1,
            0xb6);
DEFINE_GUID(CLSID_DirectMusicSeqTrack, 0xd2ac2886, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicSignPostTrack, 0xf17e8672, 0xc3b4, 0x11d1, 0x87, 0x0b, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicStyleTrack, 0xd2ac288d, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicSysExTrack, 0xd2ac2887, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicTempoTrack, 0xd2ac2885, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicTimeSigTrack, 0xd2ac2888, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(CLSID_DirectMusicWaveTrack, 0xeed36461, 0x9ea5, 0x11d3, 0x9b, 0xd1, 0x00, 0x80, 0xc7, 0x15, 0x0a, 0x74);

DEFINE_GUID(CLSID_DirectMusicMelodyFormulationTrack, 0xb0684266, 0xb57f, 0x11d2, 0x97, 0xf9, 0x00, 0xc0, 0x4f, 0xa3,
            0x6e, 0x58);

DEFINE_GUID(IID_IDirectMusicTool, 0xd2ac28ba, 0xb39b, 0x11d1, 0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(IID_IDirectMusicTool8, 0x0e674303, 0x3b05, 0x11d3, 0x9b, 0xd1, 0xf9, 0xe7, 0xf0, 0xa0, 0x15, 0x36);
DEFINE_GUID(IID_IDirectMusicTrack, 0xf96029a1, 0x4282, 0x11d2, 0x87, 0x17, 0x00, 0x60, 0x08, 0x93, 0xb1, 0xbd);
DEFINE_GUID(IID_IDirectMusicTrack8, 0x0e674304, 0x3b05, 0x11d3, 0x9b, 0xd1, 0xf9, 0xe7, 0xf0, 0xa0, 0x15, 0x36);

typedef struct IDirectMusicTrack* LPDIRECTMUSICTRACK;
typedef struct IDirectMusicTrack8* LPDIRECTMUSICTRACK8;
typedef struct IDirectMusicTool* LPDIRECTMUSICTOOL;
typedef struct IDirectMusicTool8* LPDIRECTMUSICTOOL8;

typedef struct IDirectMusicPerformance* LPDIRECTMUSICPERFORMANCE;
typedef struct IDirectMusicPerformance8* LPDIRECTMUSICPERFORMANCE8;
typedef struct IDirectMusicSegment* LPDIRECTMUSICSEGMENT;
typedef struct IDirectMusicSegment8* LPDIRECTMUSICSEGMENT8;
typedef struct IDirectMusicSegmentState* LPDIRECTMUSICSEGMENTSTATE;
typedef struct IDirectMusicSegmentState8* LPDIRECTMUSICSEGMENTSTATE8;
typedef struct IDirectMusicGraph* LPDIRECTMUSICGRAPH;
typedef struct IDirectMusicGraph IDirectMusicGraph8, *LPDIRECTMUSICGRAPH8;

typedef struct _DMUS_PMSG DMUS_PMSG;
typedef LONG MUSIC_TIME;

#define DMUS_TRACK_PARAMF_CLOCK 0x1

typedef enum enumDMUS_TRACKF_FLAGS {
    DMUS_TRACKF_SEEK = 0x001,
    DMUS_TRACKF_LOOP = 0x002,
    DMUS_TRACKF_START = 0x004,
    DMUS_TRACKF_FLUSH = 0x008,
    DMUS_TRACKF_DIRTY = 0x010,
    DMUS_TRACKF_NOTIFY_OFF = 0x020,
    DMUS_TRACKF_PLAY_OFF = 0x040,
    DMUS_TRACKF_LOOPEND = 0x080,
    DMUS_TRACKF_STOP = 0x100,
    DMUS_TRACKF_RECOMPOSE = 0x200,
    DMUS_TRACKF_CLOCK = 0x400,
} DMUS_TRACKF_FLAGS;

struct IDirectMusicTool : public IUnknown {
    STDMETHOD(Init)(struct IDirectMusicGraph* pGraph) PURE;
    STDMETHOD(GetMsgDeliveryType)(DWORD* pdwDeliveryType) PURE;
    STDMETHOD(GetMediaTypeArraySize)(DWORD* pdwNumElements) PURE;
    STDMETHOD(GetMediaTypes)(DWORD** padwMediaTypes, DWORD dwNumElements) PURE;
    STDMETHOD(ProcessPMsg)(struct IDirectMusicPerformance* pPerf, DMUS_PMSG* pPMSG) PURE;
    STDMETHOD(Flush)(struct IDirectMusicPerformance* pPerf, DMUS_PMSG* pPMSG, REFERENCE_TIME rtTime) PURE;
};

struct IDirectMusicTool8 : public IDirectMusicTool {
    STDMETHOD(Clone)(IDirectMusicTool** ppTool) PURE;
};

struct IDirectMusicTrack : public IUnknown {
    STDMETHOD(Init)(struct IDirectMusicSegment* pSegment) PURE;
    STDMETHOD(InitPlay)(struct IDirectMusicSegmentState* pSegmentState, struct IDirectMusicPerformance* pPerformance,
                        void** ppStateData, DWORD dwVirtualTrackID, DWORD dwFlags) PURE;
    STDMETHOD(EndPlay)(void* pStateData) PURE;
    STDMETHOD(Play)(void* pStateData, MUSIC_TIME mtStart, MUSIC_TIME mtEnd, MUSIC_TIME mtOffset, DWORD dwFlags,
                    struct IDirectMusicPerformance* pPerf, struct IDirectMusicSegmentState* pSegSt,
                    DWORD dwVirtualID) PURE;
    STDMETHOD(GetParam)(REFGUID rguidType, MUSIC_TIME mtTime, MUSIC_TIME* pmtNext, void* pParam) PURE;
    STDMETHOD(SetParam)(REFGUID rguidType, MUSIC_TIME mtTime, void* pParam) PURE;
    STDMETHOD(IsParamSupported)(REFGUID rguidType) PURE;
    STDMETHOD(AddNotificationType)(REFGUID rguidNotificationType) PURE;
    STDMETHOD(RemoveNotificationType)(REFGUID rguidNotificationType) PURE;
    STDMETHOD(Clone)(MUSIC_TIME mtStart, MUSIC_TIME mtEnd, IDirectMusicTrack** ppTrack) PURE;
};

struct IDirectMusicTrack8 : public IDirectMusicTrack {
    STDMETHOD(PlayEx)(void* pStateData, REFERENCE_TIME rtStart, REFERENCE_TIME rtEnd, REFERENCE_TIME rtOffset,
                      DWORD dwFlags, struct IDirectMusicPerformance* pPerf, struct IDirectMusicSegmentState* pSegSt,
                      DWORD dwVirtualID) PURE;
    STDMETHOD(GetParamEx)(REFGUID rguidType, REFERENCE_TIME rtTime, REFERENCE_TIME* prtNext, void* pParam,
                          void* pStateData, DWORD dwFlags) PURE;
    STDMETHOD(SetParamEx)(REFGUID rguidType, REFERENCE_TIME rtTime, void* pParam, void* pStateData, DWORD dwFlags) PURE;
    STDMETHOD(Compose)(IUnknown* pContext, DWORD dwTrackGroup, IDirectMusicTrack** ppResultTrack) PURE;
    STDMETHOD(Join)(IDirectMusicTrack* pNewTrack, MUSIC_TIME mtJoin, IUnknown* pContext, DWORD dwTrackGroup,
                    IDirectMusicTrack** ppResultTrack) PURE;
};

#pragma pack(pop)
