// The engine: creates the loader, the performance and the capture DirectSound
// object, opens the output port, loads and plays one segment, converts music
// time to seconds through the segment's tempo map, and hands out the
// captured PCM.
#include "tessarine/engine/midi_music.h"

#include "sdk/velmora/velmora_utf8.h"
#include "tessarine/capture/capture_direct_sound.h"
#include "tessarine/engine/notification_listener.h"
#include "tessarine/frame/config.h"
#include "tessarine/frame/host_access.h"
#include "tessarine/frame/log.h"
#include "tessarine/frame/pcm_format.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <stdexcept>
#include <vector>

// The records whose sizes the calls rely on, as 32-bit Windows lays them out.
static_assert(sizeof(void*) != 4 || sizeof(DSBUFFERDESC) == 36, "DSBUFFERDESC is 36 bytes");
static_assert(sizeof(void*) != 4 || sizeof(DMUS_PORTCAPS) == 308, "DMUS_PORTCAPS is 308 bytes");
static_assert(sizeof(void*) != 4 || sizeof(DMUS_OBJECTDESC) == 848, "DMUS_OBJECTDESC is 848 bytes");
static_assert(sizeof(DMUS_PORTPARAMS7) == 32, "the DirectX 7 port parameters are 32 bytes");

namespace {

// GUID_TempoParam's record (DMUS_TEMPO_PARAM). Declared here because the
// file-format header that carries it does not compile as C++ with every SDK.
struct CTempoParam {
    MUSIC_TIME mtTime;
    double dblTempo;
};
static_assert(offsetof(CTempoParam, dblTempo) == 8 && sizeof(CTempoParam) == 16, "the SDK's layout");

constexpr DWORD allGroups = 0xFFFFFFFF;
// The capture buffer's ring: one second of audio.
constexpr DWORD captureBufferBytes = pcmBytesPerSecond;
// How far after Play the segment starts, in 100-ns units: past the prepare time.
constexpr REFERENCE_TIME playStartDelay = 11000000;
// The largest DLS file given to the loader: far beyond the General MIDI sets
// (a few MB) and the largest sampled collections in use (a few hundred MB),
// and within reach of a 32-bit process, into whose memory it is read whole.
constexpr int64_t largestCollectionBytes = int64_t{512} << 20;
// Bytes of PCM beyond any capture (about 1,600 years of audio).
constexpr double largestCapture = 9e15;
constexpr double defaultTempo = 120.0;
constexpr double musicUnitsPerQuarter = DMUS_PPQ;
// A tempo map longer than this is taken as broken; the rest of the segment
// keeps the last tempo found.
constexpr int maxTempoSteps = 100000;
// The file-name field's room, terminating NUL included.
constexpr size_t fileNameUnits = sizeof(DMUS_OBJECTDESC::wszFileName) / sizeof(WCHAR);

// CoCreateInstance, OleRun and QueryInterface. E_NOINTERFACE leaves the
// reference empty; any other failure raises _com_error.
template <class T> void CreateComObject(REFCLSID classId, REFIID interfaceId, CComReference<T>& target)
{
    target.Release();
    IUnknown* unknown = nullptr;
    HRESULT result = CoCreateInstance(classId, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&unknown));
    if (SUCCEEDED(result) && unknown) {
        result = OleRun(unknown);
        if (SUCCEEDED(result)) result = unknown->QueryInterface(interfaceId, target.ReceiveVoid());
        unknown->Release();
    } else if (SUCCEEDED(result)) {
        result = E_NOINTERFACE;
    }
    if (FAILED(result)) {
        target.Release();
        if (result != E_NOINTERFACE) throw _com_error(result);
    }
}

HRESULT SetParamWithRetry(IDirectMusicSegment* segment, REFGUID type, void* param)
{
    HRESULT result = segment->SetParam(type, allGroups, DMUS_SEG_ALLTRACKS, 0, param);
    if (FAILED(result)) result = segment->SetParam(type, allGroups, 0, 0, param);
    return result;
}

HRESULT GetParamWithRetry(IDirectMusicSegment* segment, REFGUID type, MUSIC_TIME time, MUSIC_TIME* next, void* param)
{
    if (next) *next = 0;
    HRESULT result = segment->GetParam(type, allGroups, DMUS_SEG_ANYTRACK, time, next, param);
    if (FAILED(result)) {
        if (next) *next = 0;
        result = segment->GetParam(type, allGroups, 0, time, next, param);
    }
    return result;
}

// UTF-8 to the UTF-16 of a DirectMusic file name; false when it does not fit
// or is not UTF-8.
bool ToFileName(const char* text, size_t bytes, WCHAR (&output)[fileNameUnits])
{
    if (bytes >= fileNameUnits * 3) return false;  // surely more units than fit
    std::vector<WCHAR> converted(bytes + 1);
    const uint32_t units = ConvertUtf8ToUtf16(text, uint32_t(bytes), converted.data());
    if (units >= fileNameUnits) return false;
    // The conversion stops at a sequence that is not UTF-8; such a path would
    // name another file.
    std::vector<char> back(size_t(units) * 3 + 1);
    const uint32_t backBytes = ConvertUtf16ToUtf8(converted.data(), units, back.data());
    if (backBytes != bytes || std::memcmp(back.data(), text, bytes) != 0) return false;
    std::memcpy(output, converted.data(), units * sizeof(WCHAR));
    output[units] = 0;
    return true;
}

// The descriptor GetObject loads a file of the given class by.
bool BuildDescriptor(REFGUID classId, const char* path, DMUS_OBJECTDESC& descriptor)
{
    std::memset(&descriptor, 0, sizeof(descriptor));
    descriptor.dwSize = sizeof(DMUS_OBJECTDESC);
    descriptor.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
    descriptor.guidClass = classId;
    if (!path) path = "";
    return ToFileName(path, std::strlen(path), descriptor.wszFileName);
}

// Hundredths of a decibel for a volume percentage (100 % is 0 dB).
LONG PercentToHundredthsOfDecibel(int32_t percent)
{
    const double p = std::min<int32_t>(percent, 100);
    return LONG(std::lround(2000.0 * std::log10(p / 100.0)));
}

// Why a collection was not used, in the user's words where the result says
// something a user can act on.
std::string CollectionFailure(const char* what, HRESULT result)
{
    switch (result) {
    case DMUS_E_LOADER_FAILEDOPEN: return "it cannot be opened";
    case DMUS_E_UNSUPPORTED_STREAM:
    case DMUS_E_INVALIDFILE:
    case DMUS_E_LOADER_FORMATNOTSUPPORTED: return "it is not a DLS collection";
    case DMUS_E_NOTADLSCOL: return "the synthesizer cannot read its instruments";
    default: return std::string(what) + " (" + GetResultName(result) + ")";
    }
}

}  // namespace

// ---- Construction and teardown ---------------------------------------------

CMidiMusic::CMidiMusic(HWND mainWindow, bool useDefaultPort)
{
    InterlockedExchange(&playing, 0);
    startedEvent.Reset(uCreateEvent(nullptr, TRUE, FALSE, nullptr));

    CreateComObject(CLSID_DirectMusicLoader, IID_IDirectMusicLoader, loader);
    CreateComObject(CLSID_DirectMusicPerformance, IID_IDirectMusicPerformance, performance);
    CComReference<IDirectSound> realDirectSound;
    CreateComObject(CLSID_DirectSound, IID_IDirectSound, realDirectSound);

    if (useDefaultPort && realDirectSound) {
        captureDirectSound = CComReference<IDirectSound>::Adopt(new CCaptureDirectSound(realDirectSound.Get()));
        captureDirectSound->Initialize(nullptr);
        captureDirectSound->SetCooperativeLevel(mainWindow, DSSCL_PRIORITY);
    }

    ReportDirectXResult(performance->Init(directMusic.Receive(), captureDirectSound.Get(), mainWindow),
                        "Performance->Init");
    ReportDirectXResult(loader->EnableCache(GUID_DirectMusicAllTypes, FALSE), "Performance->Init");
}

CMidiMusic::~CMidiMusic()
{
    LogLine("Tearing down DirectMusic");
    try {
        if (performance) Stop();
    } catch (const _com_error&) {
        // Teardown goes on whatever Stop met.
    }
    if (segment) {
        // The same form as the download; these results are not reported.
        if (FAILED(SetParamWithRetry(segment.Get(), GUID_UnloadFromAudioPath, performance.Get())))
            SetParamWithRetry(segment.Get(), GUID_Unload, performance.Get());
        segment.Release();
    }
    if (outputPort) outputPort->SetDirectSound(nullptr, nullptr);
    if (performance) {
        // An engine opened for information has no port; a null one is not
        // to be passed (some DirectMusics release it unchecked).
        if (outputPort) performance->RemovePort(outputPort.Get());
        performance->CloseDown();
    }
    if (directMusic) directMusic->SetDirectSound(nullptr, nullptr);
    // The capture's file goes now, whoever still holds the buffer: some
    // DirectMusics keep a port, and the buffer it was given, past its release.
    captureRead.Release();
    if (CCaptureSoundBuffer* buffer = GetCaptureBuffer()) buffer->CloseStore();

    listener.reset();
    segmentState.Release();
    segment.Release();
    collection.Release();
    performance.Release();
    loader.Release();
    outputPort.Release();
    directMusic.Release();
    captureDirectSound.Release();
    startedEvent.Close();
}

// ---- Output port ------------------------------------------------------------

HRESULT CMidiMusic::FindOutputPort(DWORD portIndex, DMUS_PORTCAPS* caps)
{
    std::memset(caps, 0, sizeof(DMUS_PORTCAPS));
    caps->dwSize = sizeof(DMUS_PORTCAPS);
    const HRESULT result = directMusic->EnumPort(portIndex, caps);
    if (FAILED(result)) LogLine("Port Enumeration failed");
    return result;
}

bool CMidiMusic::CreateOutputPort(HWND mainWindow, DMUS_PORTCAPS* caps, bool useDefaultPort)
{
    // The DirectX 7 record: no dwFeatures member.
    DMUS_PORTPARAMS8 parameters{};
    parameters.dwSize = sizeof(DMUS_PORTPARAMS7);
    parameters.dwValidParams = DMUS_PORTPARAMS_SAMPLERATE | DMUS_PORTPARAMS_EFFECTS;
    parameters.dwSampleRate = pcmSampleRate;
    parameters.dwEffectFlags = caps->dwEffectFlags;
    parameters.fShare = TRUE;

    HRESULT result;
    if (useDefaultPort) {
        ReportDirectXResult(directMusic->SetDirectSound(captureDirectSound.Get(), mainWindow),
                            "DMusic->SetDirectSound");
        outputPort.Release();
        result = directMusic->CreatePort(CLSID_DirectMusicSynth, &parameters, outputPort.Receive(), nullptr);
        ReportDirectXResult(result, "DMusic->CreatePort");
        if (FAILED(result) || !outputPort) return false;

        WAVEFORMATEX format = PcmFormat();
        DSBUFFERDESC description{};
        description.dwSize = sizeof(DSBUFFERDESC);
        // A synth sink may pace itself by the buffer's position notifications
        // (it asks the buffer for IDirectSoundNotify), which a buffer has only
        // when made with the flag.
        description.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_LOCSOFTWARE | DSBCAPS_CTRLPOSITIONNOTIFY;
        description.dwBufferBytes = captureBufferBytes;
        description.lpwfxFormat = &format;
        CComReference<IDirectSoundBuffer> buffer;
        ReportDirectXResult(captureDirectSound->CreateSoundBuffer(&description, buffer.Receive(), nullptr),
                            "DSound->CreateSoundBuffer");
        ReportDirectXResult(outputPort->SetDirectSound(captureDirectSound.Get(), buffer.Get()), "Port->SetDirectSound");
    } else {
        outputPort.Release();
        result = directMusic->CreatePort(caps->guidPort, &parameters, outputPort.Receive(), nullptr);
        ReportDirectXResult(result, "DMusic->CreatePort");
        if (FAILED(result) || !outputPort) return false;
    }

    result = outputPort->Activate(TRUE);
    ReportDirectXResult(result, "Port->Activate");
    if (FAILED(result)) return false;
    result = performance->AddPort(outputPort.Get());
    ReportDirectXResult(result, "Performance->AddPort");
    if (FAILED(result)) return false;
    result = performance->AssignPChannelBlock(0, outputPort.Get(), 1);
    ReportDirectXResult(result, "Performance->AssignPChannelBlock");
    return SUCCEEDED(result);
}

// ---- Loading ----------------------------------------------------------------

bool CMidiMusic::LoadMidiFromFile(bool isMidiFile, const char* path)
{
    // A load that fails, for whatever reason, leaves no segment behind.
    segment.Release();
    segmentData.clear();
    if (!path) path = "";
    DMUS_OBJECTDESC descriptor;
    if (!BuildDescriptor(CLSID_DirectMusicSegment, path, descriptor)) {
        LogLine("The path cannot be given to DirectMusic (too long or not UTF-8): %s", path);
        return false;
    }

    // The folder: the path cut before its last separator that stands after
    // the first character; the whole path when there is none.
    const size_t pathBytes = std::strlen(path);
    size_t folderBytes = pathBytes;
    for (size_t i = pathBytes; i > 1; --i) {
        const char c = path[i - 1];
        if (c == '\\' || c == '/' || c == '|' || c == ':') {
            folderBytes = i - 1;
            break;
        }
    }
    WCHAR folder[fileNameUnits];
    if (!ToFileName(path, folderBytes, folder)) {
        LogLine("The path cannot be given to DirectMusic (too long or not UTF-8): %s", path);
        return false;
    }
    ReportDirectXResult(loader->SetSearchDirectory(GUID_DirectMusicAllTypes, folder, TRUE),
                        "Loader->SetSearchDirectory");

    HRESULT result = loader->GetObject(&descriptor, IID_IDirectMusicSegment, segment.ReceiveVoid());
    ReportDirectXResult(result, "Loader->GetSegment");
    if (!segment) return false;
    if (isMidiFile) {
        result = SetParamWithRetry(segment.Get(), GUID_StandardMIDIFile, nullptr);
        ReportDirectXResult(result, "Segment->StandardMIDIFile");
    }
    return SUCCEEDED(result);
}

bool CMidiMusic::LoadMidiFromMemory(std::vector<uint8_t> bytes)
{
    segment.Release();
    segmentData = std::move(bytes);
    if (segmentData.empty()) return false;
    DMUS_OBJECTDESC descriptor;
    std::memset(&descriptor, 0, sizeof(descriptor));
    descriptor.dwSize = sizeof(DMUS_OBJECTDESC);
    descriptor.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY;
    descriptor.guidClass = CLSID_DirectMusicSegment;
    descriptor.pbMemData = segmentData.data();
    descriptor.llMemLength = LONGLONG(segmentData.size());
    HRESULT result = loader->GetObject(&descriptor, IID_IDirectMusicSegment, segment.ReceiveVoid());
    ReportDirectXResult(result, "Loader->GetSegment");
    if (!segment) return false;
    result = SetParamWithRetry(segment.Get(), GUID_StandardMIDIFile, nullptr);
    ReportDirectXResult(result, "Segment->StandardMIDIFile");
    return SUCCEEDED(result);
}

bool CMidiMusic::LoadCollection(const char* path)
{
    if (path) {
        std::string why;
        const HRESULT result = LoadCustomCollection(path, why);
        if (SUCCEEDED(result)) return true;
        // The user chose these instruments: a decode that goes on without
        // them says so, whatever "MIDILog" says.
        char line[512];
        std::snprintf(line, sizeof line,
                      "The custom DLS collection%s%.200s was not used: %.200s. The default instruments play instead.",
                      *path ? " " : "", path, why.c_str());
        ConsoleOutput(2, line);
        LoadDefaultCollection();
        return false;
    }
    return SUCCEEDED(LoadDefaultCollection());
}

HRESULT CMidiMusic::LoadDefaultCollection()
{
    // Without a collection of its own the segment plays on the default
    // General MIDI set. Windows' synthesizer falls back on it by itself;
    // a DirectMusic that finds instruments only in a connected collection
    // needs it connected, which changes nothing where the fallback exists.
    DMUS_OBJECTDESC descriptor;
    std::memset(&descriptor, 0, sizeof(descriptor));
    descriptor.dwSize = sizeof(DMUS_OBJECTDESC);
    descriptor.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_OBJECT;
    descriptor.guidClass = CLSID_DirectMusicCollection;
    descriptor.guidObject = GUID_DefaultGMCollection;
    collection.Release();
    const HRESULT found = loader->GetObject(&descriptor, IID_IDirectMusicCollection, collection.ReceiveVoid());
    ReportDirectXResult(found, "Loader->GetDefaultCollection");
    if (SUCCEEDED(found) && collection)
        ReportDirectXResult(SetParamWithRetry(segment.operator->(), GUID_ConnectToDLSCollection, collection.Get()),
                            "Segment->ConnectToDLSCollection");
    return DownloadInstruments();
}

HRESULT CMidiMusic::LoadCustomCollection(const char* path, std::string& why)
{
    // The loader reads a collection whole, into the memory of a 32-bit
    // process: the size is checked before it sees the file.
    if (!*path) {
        why = "no file is named";
        return E_INVALIDARG;
    }
    CHostFile* file = OpenHostFile(path, HOST_OPEN_READ);
    const int64_t size = file ? file->GetSize() : -1;
    if (file) file->Close();
    if (!file) {
        why = "it cannot be opened";
        return DMUS_E_LOADER_FAILEDOPEN;
    }
    if (size > largestCollectionBytes) {
        why = "it is larger than " + std::to_string(largestCollectionBytes >> 20) +
              " MB, more than any instrument collection holds";
        return E_OUTOFMEMORY;
    }
    DMUS_OBJECTDESC descriptor;
    if (!BuildDescriptor(CLSID_DirectMusicCollection, path, descriptor)) {
        LogLine("The path cannot be given to DirectMusic (too long or not UTF-8): %s", path);
        why = "its path cannot be given to DirectMusic (too long or not UTF-8)";
        return E_INVALIDARG;
    }
    collection.Release();
    HRESULT result = loader->GetObject(&descriptor, IID_IDirectMusicCollection, collection.ReceiveVoid());
    ReportDirectXResult(result, "Loader->GetCollection");
    if (FAILED(result) || !collection) {
        why = CollectionFailure("DirectMusic cannot load it", FAILED(result) ? result : E_POINTER);
        return FAILED(result) ? result : E_POINTER;
    }
    result = SetParamWithRetry(segment.operator->(), GUID_ConnectToDLSCollection, collection.Get());
    ReportDirectXResult(result, "Segment->ConnectToDLSCollection");
    if (FAILED(result)) {
        why = CollectionFailure("the song cannot be connected to it", result);
        return result;
    }
    result = DownloadInstruments();
    if (FAILED(result)) why = CollectionFailure("its instruments cannot be downloaded", result);
    return result;
}

HRESULT CMidiMusic::DownloadInstruments()
{
    // GUID_DownloadToAudioPath takes the performance as well as an audio
    // path; some DirectMusics answer GUID_Download without downloading
    // anything, and those older than audio paths know only GUID_Download.
    HRESULT result = SetParamWithRetry(segment.operator->(), GUID_DownloadToAudioPath, performance.Get());
    if (FAILED(result)) result = SetParamWithRetry(segment.operator->(), GUID_Download, performance.Get());
    ReportDirectXResult(result, "Segment->Download");
    return result;
}

// ---- Tempo and volume ---------------------------------------------------------

HRESULT CMidiMusic::SetMasterTempoVolume(int32_t volume, float tempo)
{
    HRESULT result = S_OK;
    // A tempo DirectMusic would refuse (0 is the setting's "unset") is not
    // sent, so it cannot keep the volume from being set.
    if (IsUsableMasterTempo(tempo)) {
        result = performance->SetGlobalParam(GUID_PerfMasterTempo, &tempo, sizeof(tempo));
        ReportDirectXResult(result, "Performance->set_PerfMasterTempo");
        if (FAILED(result)) return result;
        masterTempoFactor = tempo;
    }
    // The setting is a percentage; DirectMusic takes hundredths of a decibel.
    if (volume > 0) {
        LONG hundredths = PercentToHundredthsOfDecibel(volume);
        result = performance->SetGlobalParam(GUID_PerfMasterVolume, &hundredths, sizeof(hundredths));
        ReportDirectXResult(result, "Performance->set_PerfMasterVolume");
    }
    return result;
}

// ---- The segment's tempo map --------------------------------------------------

std::vector<CMidiMusic::CTempoSpan> CMidiMusic::ReadTempoMap(MUSIC_TIME length)
{
    // Each query gives the tempo at t and how far past t it holds (0: to the
    // end). A failed query or an absurd tempo counts as 120 over that span.
    std::vector<CTempoSpan> spans;
    MUSIC_TIME at = 0;
    for (int step = 0; step < maxTempoSteps; ++step) {
        CTempoParam tempo{};
        MUSIC_TIME next = 0;
        const HRESULT result = GetParamWithRetry(segment.operator->(), GUID_TempoParam, at, &next, &tempo);
        ReportDirectXResult(result, "Segment->TempoParam");
        double bpm = defaultTempo;
        if (SUCCEEDED(result) && tempo.dblTempo >= 1.0 && tempo.dblTempo <= 1000000.0) bpm = tempo.dblTempo;
        if (spans.empty() || spans.back().bpm != bpm) spans.push_back({at, bpm});
        if (next <= 0 || next >= length - at) break;
        at += next;
    }
    return spans;
}

double CMidiMusic::MusicTimeToSeconds(const std::vector<CTempoSpan>& spans, MUSIC_TIME time) const
{
    double seconds = 0.0;
    for (size_t i = 0; i < spans.size() && spans[i].start < time; ++i) {
        const MUSIC_TIME end = i + 1 < spans.size() ? std::min(spans[i + 1].start, time) : time;
        seconds += double(end - spans[i].start) * 60.0 / musicUnitsPerQuarter / spans[i].bpm;
    }
    return seconds / masterTempoFactor;
}

MUSIC_TIME CMidiMusic::SecondsToMusicTime(const std::vector<CTempoSpan>& spans, double seconds, MUSIC_TIME length) const
{
    double remaining = seconds * masterTempoFactor;
    for (size_t i = 0; i < spans.size(); ++i) {
        const MUSIC_TIME end = i + 1 < spans.size() ? spans[i + 1].start : length;
        const double unitsPerSecond = spans[i].bpm * musicUnitsPerQuarter / 60.0;
        const double spanSeconds = double(end - spans[i].start) / unitsPerSecond;
        if (remaining < spanSeconds || i + 1 == spans.size()) {
            const double time = double(spans[i].start) + remaining * unitsPerSecond;
            return MUSIC_TIME(std::clamp(time, 0.0, double(length)));
        }
        remaining -= spanSeconds;
    }
    return 0;
}

// ---- Playback -------------------------------------------------------------------

bool CMidiMusic::Play()
{
    StartListener();
    const double length = GetLength();
    captureLeadIn = -1.0;
    musicLeadIn = -1.0;
    captureSkip = 0;
    REFERENCE_TIME now = 0;
    performance->GetTime(&now, nullptr);
    CCaptureStore* store = GetCaptureStore();
    // The whole song and five seconds more; a length no segment can have is
    // held far below where 64-bit sizes would overflow.
    const int64_t limit = int64_t(std::clamp((length + 5.0) * pcmBytesPerSecond, 0.0, largestCapture));
    // Counted from the music's start, which is known only once the segment
    // is placed: until then the capture keeps all, or a synthesizer that ran
    // on while this thread was held up would fill it with silence to the
    // limit and the halves it dropped would be missing from the music.
    const bool captureStarted = store && StartCapture(store, int64_t(largestCapture), now);
    if (store && !captureStarted) store->SetDataLimit(limit);

    const REFERENCE_TIME requested = now + playStartDelay;
    if (!PlaySegmentAt(requested)) {
        if (captureStarted) store->SetDataLimit(limit);
        return false;
    }
    musicLeadIn = std::max(0.0, double(SegmentStartTime(requested) - now) / 1e7);
    // A clock that follows the synthesizer may have run on before the
    // performance placed the segment, which then starts later than asked:
    // reads pass over the extra silence, so the music starts in what is read
    // after exactly the start delay, however fast the clock ran.
    if (captureStarted) SkipToStart(store, SegmentStartTime(requested) - requested, limit);
    if (!AwaitMusicStart()) return false;
    // The notification names the start exactly; nothing has been read yet.
    const REFERENCE_TIME started = musicStartedAt.load();
    if (captureStarted && started >= requested) SkipToStart(store, started - requested, limit);
    return true;
}

void CMidiMusic::StartListener()
{
    try {
        auto fresh =
            std::make_unique<CNotificationListener>(performance.operator->(), this, double(configPadBefore.value));
        if (listener) listener->holdsRegistration = false;  // the fresh one replaced it
        listener = std::move(fresh);
    } catch (const std::runtime_error& error) {
        LogLine("Error occurred initializing playback: %s", error.what());
    }
}

bool CMidiMusic::StartCapture(CCaptureStore* store, int64_t limit, REFERENCE_TIME& now)
{
    // The capture begins with what plays now, and the segment is asked for
    // the start delay after that moment. The cursor and the time are read as
    // one pair: again when the clock moved on by more than a millisecond
    // between them (a clock that follows the synthesizer jumps by what it
    // renders).
    // The start is chosen against the writer as it stood when the cursor was
    // read: should it have written on in between (this thread held up while
    // the synthesizer ran ahead), the pair is read again.
    for (int round = 0; round < 64; ++round) {
        DWORD play = 0;
        uint64_t locks = 0;
        if (!ReadCursorAndTime(store, &play, &locks, &now)) break;
        bool writerMoved = false;
        if (store->StartAtPlayCursor(play, limit, &locks, &writerMoved)) return true;
        if (!writerMoved) break;
    }
    return false;
}

bool CMidiMusic::ReadCursorAndTime(CCaptureStore* store, DWORD* play, uint64_t* locks, REFERENCE_TIME* now)
{
    // A pair read while the clock stood still is exact; a clock that moves
    // continuously gets the closest of the tries.
    bool read = false;
    REFERENCE_TIME closest = -1;
    for (int attempt = 0; attempt < 8; ++attempt) {
        REFERENCE_TIME before = 0, after = 0;
        performance->GetTime(&before, nullptr);
        DWORD cursor = 0;
        uint64_t locksThen = 0;
        if (!store->ReadPlayCursor(&cursor, &locksThen)) break;
        performance->GetTime(&after, nullptr);
        if (closest < 0 || after - before < closest) {
            closest = after - before;
            *play = cursor;
            *locks = locksThen;
            *now = before + (after - before) / 2;
            read = true;
        }
        if (after == before) break;
    }
    return read;
}

bool CMidiMusic::PlaySegmentAt(REFERENCE_TIME requested)
{
    segmentState.Release();
    // Asked in music time, the moment the start delay names: every
    // DirectMusic schedules a music-time start, while some take any start
    // as music time whatever DMUS_SEGF_REFTIME says (and then never play).
    // The tick after the one the time falls in, so the start never comes
    // before the lead-in the capture holds.
    MUSIC_TIME requestedMusic = 0;
    ReportDirectXResult(performance->ReferenceToMusicTime(requested, &requestedMusic),
                        "Performance->ReferenceToMusicTime");
    playTick = timeGetTime();
    ++requestedMusic;
    musicStartedAt.store(0);
    const HRESULT result =
        performance->PlaySegment(segment.Get(), DMUS_SEGF_AFTERPREPARETIME, requestedMusic, segmentState.Receive());
    ReportDirectXResult(result, "Performance->PlaySegment");
    return SUCCEEDED(result);
}

bool CMidiMusic::AwaitMusicStart()
{
    if (WaitForSingleObject(startedEvent.Get(), 50000) == WAIT_OBJECT_0) return true;
    LogLine("A fatal timeout occurred whilst waiting for playback to commence");
    return false;
}

void CMidiMusic::SkipToStart(CCaptureStore* store, REFERENCE_TIME late, int64_t limit)
{
    // In whole frames, rounded in integers: a late start of whole frames
    // skips exactly those.
    const int64_t frames = (std::max<REFERENCE_TIME>(0, late) * pcmSampleRate + 5000000) / 10000000;
    const int64_t most = (int64_t(largestCapture) - limit) / pcmFrameBytes;
    captureSkip = std::clamp<int64_t>(frames, 0, std::max<int64_t>(0, most)) * pcmFrameBytes;
    store->SetDataLimit(limit + captureSkip);
    captureLeadIn = double(playStartDelay) / 1e7;
}

REFERENCE_TIME CMidiMusic::SegmentStartTime(REFERENCE_TIME requested)
{
    // The performance may have placed it later than asked (past its prepare
    // time). Its answer comes in whole music ticks and a start may be moved
    // onto the synthesizer's next block, so within 10 ms it is the request.
    MUSIC_TIME music = 0;
    REFERENCE_TIME placed = 0;
    if (!segmentState || FAILED(segmentState->GetStartTime(&music)) ||
        FAILED(performance->MusicToReferenceTime(music, &placed)))
        return requested;
    return std::llabs(placed - requested) < 100000 ? requested : placed;
}

bool CMidiMusic::IsPlaying() { return InterlockedCompareExchange(&playing, 0, 0) != 0; }

bool CMidiMusic::IsMusicSounding()
{
    return segmentState && performance->IsPlaying(nullptr, segmentState.Get()) == S_OK;
}

double CMidiMusic::GetLength()
{
    if (!segment) return 0.0;
    MUSIC_TIME length = 0;
    const HRESULT result = segment->GetLength(&length);
    ReportDirectXResult(result, "Segment->GetLength");
    if (FAILED(result) || length <= 0) return 0.0;
    return MusicTimeToSeconds(ReadTempoMap(length), length);
}

double CMidiMusic::GetPlayPosition()
{
    if (!IsPlaying()) return 0.0;
    MUSIC_TIME seek = 0;
    HRESULT result = segmentState->GetSeek(&seek);
    ReportDirectXResult(result, "SegmentState->GetSeek");
    if (FAILED(result)) return 0.0;
    MUSIC_TIME length = 0;
    result = segment->GetLength(&length);
    ReportDirectXResult(result, "Segment->GetLength");
    if (FAILED(result) || seek <= 0) return 0.0;
    return MusicTimeToSeconds(ReadTempoMap(std::max(length, seek)), seek);
}

bool CMidiMusic::SeekToTime(double seconds, bool* wasPlayingOut)
{
    // Read once: the music may end meanwhile, and a seek that restarted a
    // capture without restarting the music would leave the reader waiting.
    const bool wasPlaying = IsPlaying();
    if (wasPlayingOut) *wasPlayingOut = wasPlaying;
    const double lengthSeconds = GetLength();
    MUSIC_TIME length = 0;
    HRESULT result = segment->GetLength(&length);
    ReportDirectXResult(result, "Segment->GetLength");
    if (FAILED(result)) return false;

    MUSIC_TIME start = 0;
    if (lengthSeconds > 0.0 && length > 0) {
        if (!(seconds >= 0.0)) seconds = 0.0;  // negative or not a number
        if (seconds > lengthSeconds) seconds = lengthSeconds;
        start = SecondsToMusicTime(ReadTempoMap(length), seconds, length);
    }

    // Without music playing there is nothing to restart, and the capture
    // keeps what it holds.
    if (!wasPlaying) return SUCCEEDED(segment->SetStartPoint(start));
    // Stop before the capture is cleared: what the synthesizer renders of the
    // old position in between would otherwise open the fresh capture, arrive
    // as the first block and cut the lead-in short.
    Stop();
    if (CCaptureStore* store = GetCaptureStore()) {
        // Nothing is kept until Play starts the fresh capture at its cursor.
        store->SetDataLimit(0);
        store->ClearCapture();
    }
    result = segment->SetStartPoint(start);
    Play();
    // The second Play has not waited for the start notification.
    InterlockedExchange(&playing, 1);
    return SUCCEEDED(result);
}

HRESULT CMidiMusic::Stop()
{
    performance->RemoveNotificationType(GUID_NULL);
    listener.reset();
    const HRESULT result = performance->Stop(segment.Get(), nullptr, 0, DMUS_SEGF_REFTIME);
    ReportDirectXResult(result, "Performance->Stop");
    if (SUCCEEDED(result)) InterlockedExchange(&playing, 0);
    return result;
}

// ---- Captured audio ---------------------------------------------------------------

CCaptureSoundBuffer* CMidiMusic::GetCaptureBuffer() const
{
    if (!captureDirectSound) return nullptr;
    return static_cast<CCaptureDirectSound*>(captureDirectSound.Get())->GetCaptureBuffer();
}

CCaptureStore* CMidiMusic::GetCaptureStore() const
{
    CCaptureSoundBuffer* buffer = GetCaptureBuffer();
    return buffer ? &buffer->Store() : nullptr;
}

bool CMidiMusic::BeginCaptureRead(int64_t offset, CHostFile** file)
{
    *file = nullptr;
    captureRead.Release();
    CCaptureSoundBuffer* buffer = GetCaptureBuffer();
    if (!buffer) return false;
    CCaptureStore& store = buffer->Store();
    try {
        // Past the silence a late start put ahead of the music. The read
        // keeps the buffer, and so the store, alive while the caller has it.
        captureRead = store.BeginRead(offset + captureSkip, static_cast<IDirectSoundBuffer*>(buffer));
        captureRead->AddRef();
        *file = captureRead.Get();
        return true;
    } catch (const std::runtime_error& error) {
        LogLine("%s", error.what());
        captureFailure = store.GetFailureReason();
        if (captureFailure.empty()) captureFailure = error.what();
        return false;
    }
}

void CMidiMusic::EndCaptureRead()
{
    const CComReference<CCaptureReader> ended = std::move(captureRead);
    if (ended) ended->Finish();
}

int64_t CMidiMusic::GetCaptureLimit() const
{
    const CCaptureStore* store = GetCaptureStore();
    return store ? store->GetDataLimit() : 0;
}

bool CMidiMusic::IsCaptureEnded()
{
    const CCaptureStore* store = GetCaptureStore();
    return store && store->IsCaptureEnded();
}

// ---- Notifications ------------------------------------------------------------------

void CMidiMusic::HandleNotification(DMUS_NOTIFICATION_PMSG* message)
{
    if (!message) return;
    // Which notifications come and when is how two DirectMusics are compared.
    const DWORD option = message->dwNotificationOption;
    const char* const names[] = {"music started", "music stopped", "music almost ended", "music looped"};
    LogLine("Notification: %s (%lu), %lu ms after the segment was asked to play", option < 4 ? names[option] : "other",
            (unsigned long)option, (unsigned long)DWORD(timeGetTime() - playTick));
    switch (message->dwNotificationOption) {
    case DMUS_NOTIFICATION_MUSICSTARTED:
        musicStartedAt.store(message->rtTime);
        InterlockedExchange(&playing, 1);
        SetEvent(startedEvent.Get());
        break;
    case DMUS_NOTIFICATION_MUSICSTOPPED:
        Sleep(1000);
        InterlockedExchange(&playing, 0);
        break;
    default: break;
    }
}
