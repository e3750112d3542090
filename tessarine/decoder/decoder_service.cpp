// The decoder object: its life, opening a track for decoding or information,
// the block loop over the captured audio (or silence when the synthesizer
// plays to a port of its own), and seeking. Nothing the host calls here may
// throw: engine failures become false or -1 at this boundary.
#include "tessarine/decoder/decoder_service.h"

#include "tessarine/decoder/metadata.h"
#include "tessarine/decoder/track_names.h"
#include "tessarine/decoder/xmi_file.h"
#include "tessarine/engine/midi_music.h"
#include "tessarine/frame/config.h"
#include "tessarine/frame/globals.h"
#include "tessarine/frame/host_access.h"
#include "tessarine/frame/log.h"
#include "tessarine/frame/pcm_format.h"
#include "sdk/velmora/velmora_utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr double bytesPerSecond = pcmBytesPerSecond;

void Describe(void* block, uint32_t count, void** data, uint32_t* bytes, uint32_t* rate, uint32_t* bits,
              uint32_t* channels)
{
    if (data) *data = block;
    if (bytes) *bytes = count;
    if (rate) *rate = pcmSampleRate;
    if (bits) *bits = pcmBitsPerSample;
    if (channels) *channels = pcmChannels;
}

}  // namespace

CComApartment::CComApartment() : result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

CComApartment::~CComApartment()
{
    // S_OK and S_FALSE both count as an entry; RPC_E_CHANGED_MODE does not.
    if (SUCCEEDED(result)) CoUninitialize();
}

CMidiDecoderService* CMidiDecoderService::Create()
{
    try {
        return new (std::nothrow) CMidiDecoderService();
    } catch (...) {
        LogCaughtException("Creating the decoder");
        return nullptr;  // the block buffer could not be allocated
    }
}

CMidiDecoderService::CMidiDecoderService() : blockBuffer(GetBlockSize(configOutputBuffer.value)) {}

CMidiDecoderService::~CMidiDecoderService() { DropEngine(); }

int32_t CMidiDecoderService::Release()
{
    const LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete this;
    return count;
}

int32_t CMidiDecoderService::AddRef() { return InterlockedIncrement(&refCount); }

CHostService* CMidiDecoderService::QueryClass(const GUID* cls)
{
    if (!cls || !IsEqualGUID(*cls, CLSID_MidiDecoderService)) return nullptr;
    AddRef();
    return this;
}

// ---- Opening -------------------------------------------------------------------

bool CMidiDecoderService::OpenTrack(CHostFile* file, CHostFileInfo* info, uint32_t flags)
{
    // Nothing asked for: nothing to do.
    if (!(flags & (OPEN_TRACK_INFO | OPEN_TRACK_DECODE))) return true;
    try {
        return OpenTrackSteps(file, info, flags);
    } catch (...) {
        // A DirectMusic interface the engine lacks, or memory: the open fails
        // and leaves neither a half-made engine nor a copy behind.
        LogCaughtException("Opening the track");
        DropEngine();
        return false;
    }
}

bool CMidiDecoderService::OpenTrackSteps(CHostFile* file, CHostFileInfo* info, uint32_t flags)
{
    CHostInterface* host = GetHostInterface();
    HWND mainWindow = host ? host->GetMainWindow() : nullptr;
    // Read once: the page may change it while the engine is being made, and
    // the engine's capture and the port it looks up must agree.
    const int32_t port = configOutputPort.value;
    const bool useDefaultPort = port == -1;
    const bool decoding = (flags & OPEN_TRACK_DECODE) != 0;

    std::unique_ptr<CMidiMusic> fresh;
    try {
        fresh = std::make_unique<CMidiMusic>(mainWindow, useDefaultPort);
    } catch (const _com_error&) {
        LogCaughtException("Creating the engine");
        return false;  // the previous engine, if any, stays
    }
    // The previous engine goes, and with it the copies it played from.
    DropEngine();
    engine = std::move(fresh);

    bool opened = !decoding || CreatePort(mainWindow, port);
    if (opened) opened = file && LoadTrack(file, info) != 0;
    if (opened && decoding) opened = StartPlayback();
    if (!opened) {
        DropEngine();
        return false;
    }
    if (flags & OPEN_TRACK_INFO) FillFileInfo(file, info, decoding);
    return true;
}

bool CMidiDecoderService::CreatePort(HWND mainWindow, int32_t port)
{
    DMUS_PORTCAPS caps;
    std::memset(&caps, 0, sizeof caps);
    SetLastError(0);
    LogLine("Creating port for playback.");
    if (engine->FindOutputPort(DWORD(port), &caps) < 0) {
        LogLine("Could not find requested port.");
        return false;
    }
    if (configReverb.value == 1) caps.dwEffectFlags |= DMUS_EFFECT_REVERB;
    if (configChorus.value == 1) caps.dwEffectFlags |= DMUS_EFFECT_CHORUS;
    if (!engine->CreateOutputPort(mainWindow, &caps, port == -1)) {
        LogLine("Error occurred opening requested port.");
        return false;
    }
    return true;
}

bool CMidiDecoderService::StartPlayback()
{
    blockBuffer.assign(GetBlockSize(configOutputBuffer.value), 0);
    // A copy: the page may replace the path while the collection loads.
    const std::string customDls = configCustomDls.CopyText();
    engine->LoadCollection(configUseCustomDls.value != 0 ? customDls.c_str() : nullptr);
    if (configMasterVolume.value != 0 || configMasterTempo.value != 0.0f)
        engine->SetMasterTempoVolume(configMasterVolume.value, configMasterTempo.value);
    // The song length is playing time, so it follows the master tempo just set.
    songLength = engine->GetLength();
    // A fresh capture starts at offset 0, whatever an earlier open reached.
    bytesDelivered = 0;
    leadInCounted = false;
    startTime = timeGetTime();
    // Without a start the synthesizer would capture only silence.
    return engine->Play();
}

void CMidiDecoderService::FillFileInfo(CHostFile* file, CHostFileInfo* info, bool decoding)
{
    if (!info) return;
    LogLine("In Get File Info.");
    if (engine) {
        LogLine("Interface is valid");
        // The master tempo is set on the engine only for decoding; for
        // information alone the playing time is worked out here.
        double length = songLength;
        if (!decoding && IsUsableMasterTempo(configMasterTempo.value)) length /= double(configMasterTempo.value);
        info->SetLength(length);
    }
    info->SetField("codec", "midi");
    info->SetField("compression", "none");
    ExtractMetadata(info, file);
    CHostLocation* location = info->GetLocation();
    const char* path = location ? location->GetPath() : nullptr;
    info->SetField("title", GetTrackTitle(path ? path : "").c_str());
}

// ---- Recognition and the load step ------------------------------------------------

bool CMidiDecoderService::MatchesContentType(const char*, const char* contentType)
{
    return IsMidiContentType(contentType);
}

bool CMidiDecoderService::MatchesExtension(const char*, const char* extension) { return IsMidiExtension(extension); }

int32_t CMidiDecoderService::LoadTrack(CHostFile* file, CHostFileInfo* info)
{
    CHostLocation* location = info ? info->GetLocation() : nullptr;
    const char* trackPath = location ? location->GetPath() : file->GetPath();
    if (!trackPath) trackPath = "";
    const bool isMidiFile = !IsSegmentExtension(GetPathExtension(trackPath));

    CHostStringBuffer native;
    ResolveNativePath(trackPath, &native);
    sourcePath = native.GetText();
    LogLine("IsThisOurFile(%.260s)", sourcePath.c_str());
    bool loaded;
    if (IsXmiHostFile(file)) {
        loaded = LoadXmi(file);
    } else {
        loaded = engine->LoadMidiFromFile(isMidiFile, sourcePath.c_str());
        if (!loaded) loaded = LoadThroughTemporaryCopy(file, info, isMidiFile);
    }
    LogLine("LoadMidiFromFile returned %d", loaded ? 1 : 0);
    songLength = engine->GetLength();
    return loaded ? 1 : 0;
}

bool CMidiDecoderService::LoadXmi(CHostFile* file)
{
    // DirectMusic reads no XMI: it gets the MIDI file the track converts to,
    // from memory, so a file without a native path needs no copy either.
    std::vector<uint8_t> smf;
    std::string error;
    if (!ReadXmiHostFileAsSmf(file, smf, error)) {
        LogLine("The XMI file cannot be played: %s", error.c_str());
        return false;
    }
    return engine->LoadMidiFromMemory(std::move(smf));
}

bool CMidiDecoderService::LoadThroughTemporaryCopy(CHostFile* file, CHostFileInfo*, bool isMidiFile)
{
    LogLine("Could not open file from file system. Attempting temp file strategy.");
    char folder[VELMORA_UTF8_MAX_PATH];
    char name[VELMORA_UTF8_MAX_PATH];
    const DWORD folderLength = uGetTempPath(sizeof folder, folder);
    if (folderLength == 0 || folderLength >= sizeof folder || uGetTempFileName(folder, "Ktdm", 0, name) == 0) {
        LogLine("Could not cache data file for reading");
        return false;
    }
    // The name is reserved by an empty file: it is this instance's to remove
    // from here on, whatever happens next.
    temporaryCopies.push_back(name);
    sourcePath = name;

    CHostFile* copy = OpenHostFile(name, HOST_OPEN_READWRITE);
    if (!copy) {
        LogLine("Could not cache data file for reading");
        return false;
    }
    // The whole file, even when it has been read already.
    if (file->CanSeek()) file->Seek(0);
    const int64_t size = file->GetSize();
    // A file of unknown size is copied until its reads run dry.
    constexpr int64_t unknownSizeLimit = int64_t{1} << 30;
    const int64_t copied = CopyFileData(file, copy, size >= 0 ? size : unknownSizeLimit);
    copy->Release();
    if (size >= 0 && copied < size) {
        LogLine("Could not cache data file for reading");
        return false;
    }
    return engine->LoadMidiFromFile(isMidiFile, name);
}

void CMidiDecoderService::DropEngine()
{
    if (engine) {
        try {
            if (engine->IsPlaying()) {
                LogLine("Stopping segment");
                engine->Stop();
            }
        } catch (...) {
            // An engine without a performance has nothing playing.
            LogCaughtException("Stopping the segment");
        }
        engine.reset();
    }
    RemoveTemporaryCopies();
}

void CMidiDecoderService::RemoveTemporaryCopies()
{
    if (temporaryCopies.empty()) return;
    LogLine("Removing Temp file");
    for (const std::string& copy : temporaryCopies) RemoveHostFile(copy.c_str());
    temporaryCopies.clear();
}

// ---- The fixed answers: an ordinary claim, seekable, of fixed length, writes no tags

int32_t CMidiDecoderService::RankForTrack(const void*, const void*) { return 1; }

bool CMidiDecoderService::CanSeek() { return true; }

bool CMidiDecoderService::HasFixedLength() { return true; }

void CMidiDecoderService::NoOperation11() {}

bool CMidiDecoderService::WriteTrackInfo(const void*, const void*, const void*) { return false; }

// ---- Decoding -----------------------------------------------------------------------

int32_t CMidiDecoderService::DecodeChunk(CHostAudioChunk* chunk)
{
    void* data = nullptr;
    uint32_t bytes = 0, rate = 0, bits = 0, channels = 0;
    const int32_t result = DecodeBlock(&data, &bytes, &rate, &bits, &channels);
    // The block's own result stands whatever the chunk made of it.
    if (result > 0) FillAudioChunk(chunk, data, bytes, rate, channels, bits);
    return result;
}

int32_t CMidiDecoderService::DecodeBlock(void** data, uint32_t* bytes, uint32_t* rate, uint32_t* bits,
                                         uint32_t* channels)
{
    try {
        if (!engine) return -1;
        CHostFile* capture = nullptr;
        if (engine->BeginCaptureRead(int64_t(bytesDelivered), &capture) && capture)
            return DecodeCaptured(capture, data, bytes, rate, bits, channels);
        // Silence stands in only for a port that plays by itself; a capture
        // that fails would otherwise end the audio early as a success.
        if (engine->HasCaptureStore()) return FailCapture();
        return DecodeSilence(data, bytes, rate, bits, channels);
    } catch (...) {
        // The store could not put its file back, or an engine interface is
        // missing: the audio stops short, and the user hears why.
        return FailDecode(CaughtExceptionText());
    }
}

int32_t CMidiDecoderService::DecodeCaptured(CHostFile* capture, void** data, uint32_t* bytes, uint32_t* rate,
                                            uint32_t* bits, uint32_t* channels)
{
    uint32_t read = capture->Read(blockBuffer.data(), uint32_t(blockBuffer.size()));
    capture->Release();
    engine->EndCaptureRead();
    // A wait that an earlier signal ended can leave less than a block: the
    // rest is waited for, so every block but the capture's last is whole and
    // where the track ends does not depend on when the reads came.
    while (read < blockBuffer.size()) {
        // Asked first: once the capture has ended, the file holds all it will.
        const bool ended = engine->IsCaptureEnded();
        CHostFile* more = nullptr;
        if (!engine->BeginCaptureRead(int64_t(bytesDelivered + read), &more) || !more) break;
        const uint32_t got = more->Read(blockBuffer.data() + read, uint32_t(blockBuffer.size() - read));
        more->Release();
        engine->EndCaptureRead();
        read += got;
        if (got == 0 && ended) break;
    }
    const uint64_t before = bytesDelivered;
    bytesDelivered += read;

    // The capture holds silence ahead of the music; the song is stretched by
    // it once, when the first audio arrives.
    if (read > 0 && !leadInCounted) {
        // The engine knows the silence its capture begins with; without that,
        // the time the first audio took to arrive stands for it.
        double wait = engine->GetCaptureLeadIn();
        if (wait < 0.0) wait = double(DWORD(timeGetTime() - startTime)) / 1000.0;
        LogLine("Wait increased MIDI song length by %g seconds", wait);
        songLength += wait;
        leadInCounted = true;
    }
    Describe(blockBuffer.data(), read, data, bytes, rate, bits, channels);
    if (read == 0) {
        LogLine("empty buffer being passed, could cause segment to stop");
        // Nothing more will come: the track ends rather than waiting forever.
        if (engine->IsCaptureEnded()) return 0;
    }
    return songLength * bytesPerSecond > double(before) ? 1 : 0;
}

int32_t CMidiDecoderService::FailCapture() { return FailDecode(engine->GetCaptureFailure()); }

int32_t CMidiDecoderService::FailDecode(const std::string& reason)
{
    // The user hears of it whatever "MIDILog" says: the audio stops short.
    char line[512];
    std::snprintf(line, sizeof line, "Decoding stopped after %.3f s of audio: %.400s",
                  double(bytesDelivered) / bytesPerSecond, reason.c_str());
    ConsoleOutput(3, line);
    return -1;
}

int32_t CMidiDecoderService::DecodeSilence(void** data, uint32_t* bytes, uint32_t* rate, uint32_t* bits,
                                           uint32_t* channels)
{
    const uint32_t blockSize = uint32_t(blockBuffer.size());
    // The port hears the music after the same start delay as a capture
    // would hold: the silence lasts as long, counted once per open or seek.
    if (!leadInCounted) {
        const double wait = std::max(0.0, engine->GetMusicLeadIn());
        LogLine("Wait increased MIDI song length by %g seconds", wait);
        songLength += wait;
        leadInCounted = true;
    }
    // The song's length in bytes of silence, counted like captured audio, so
    // a host gets the same amount however fast it asks.
    const double left = songLength * bytesPerSecond - double(bytesDelivered);
    if (!engine->IsPlaying()) {
        engine->Stop();
        return 0;
    }
    if (!(left >= 4.0)) {
        // The silence runs ahead of the clock by up to two blocks, and the
        // music started a moment after startTime: what is still to sound is
        // waited for, so that the stop cuts none of it. The wait ends when
        // the performance says the music is over, at the latest a little
        // after the song should have ended.
        const DWORD deadline = startTime + DWORD((songLength + 5.0) * 1000.0);
        while (engine->IsPlaying() && engine->IsMusicSounding() && int32_t(timeGetTime() - deadline) < 0) Sleep(10);
        engine->Stop();
        return 0;
    }
    const uint32_t frameBytes = uint32_t(std::min(left, double(blockSize))) & ~uint32_t(3);

    // The port plays in real time: hand out silence no faster than the clock,
    // one block ahead at most.
    for (;;) {
        const double elapsedBytes = double(DWORD(timeGetTime() - startTime)) / 1000.0 * bytesPerSecond;
        const double ahead = double(bytesDelivered) - elapsedBytes - double(blockSize);
        if (ahead <= 0) break;
        if (!engine->IsPlaying()) {
            engine->Stop();
            return 0;
        }
        Sleep(DWORD(std::clamp(ahead / bytesPerSecond * 1000.0, 1.0, 100.0)));
    }

    // In capture mode the buffer may still hold earlier audio.
    std::memset(blockBuffer.data(), 0, frameBytes);
    bytesDelivered += frameBytes;
    Describe(blockBuffer.data(), frameBytes, data, bytes, rate, bits, channels);
    return 1;
}

// ---- Seeking ------------------------------------------------------------------------

bool CMidiDecoderService::SeekTrack(double seconds)
{
    try {
        // Whether the engine plays is read once, by the seek itself: the
        // music may end between two readings.
        bool wasPlaying = false;
        double length = 0.0, target = 0.0;
        const DWORD seekStart = timeGetTime();
        bool sought = false;
        if (engine) {
            length = engine->GetLength();
            target = seconds;
            if (!(target >= 0.0)) target = 0.0;  // negative or not a number
            if (target > length) target = length;
            sought = engine->SeekToTime(target, &wasPlaying);
        }
        if (!wasPlaying) {
            ConsoleOutput(3, "A seek command was issued too soon.");
            return false;
        }
        startTime = seekStart;
        if (!sought) LogLine("CMidiMusic->SeekToTime returned FALSE.");
        // The capture starts afresh at offset 0 either way.
        bytesDelivered = 0;
        leadInCounted = false;
        songLength = length - target;
        return sought;
    } catch (...) {
        LogCaughtException("Seeking");
        return false;
    }
}
