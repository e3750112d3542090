// CMidiDecoderService: the per-track object the host creates from the
// decoder registration. Counted with atomic operations; the last Release
// destroys it.
#pragma once

#include "sdk/velmora/host_contract.h"
#include "tessarine/frame/sdk.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CMidiMusic;

// Enters a single-threaded COM apartment for the object's life and leaves
// it only when entering succeeded, so the apartment count stays balanced.
class CComApartment {
public:
    CComApartment();
    ~CComApartment();
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    HRESULT GetResult() const { return result; }

private:
    HRESULT result;
};

class CMidiDecoderService final : public CDecoderServiceInterface {
public:
    // A new object with one reference for the caller, or null.
    static CMidiDecoderService* Create();

    int32_t Release() override;
    int32_t AddRef() override;
    CHostService* QueryClass(const GUID* cls) override;

    bool OpenTrack(CHostFile* file, CHostFileInfo* info, uint32_t flags) override;
    bool MatchesContentType(const char* ignored, const char* contentType) override;
    bool MatchesExtension(const char* ignored, const char* extension) override;
    int32_t RankForTrack(const void* path, const void* contentType) override;
    bool CanSeek() override;
    int32_t DecodeChunk(CHostAudioChunk* chunk) override;
    bool SeekTrack(double seconds) override;
    bool HasFixedLength() override;
    void NoOperation11() override;
    bool WriteTrackInfo(const void* file, const void* info, const void* abort) override;
    int32_t DecodeBlock(void** data, uint32_t* bytes, uint32_t* rate, uint32_t* bits, uint32_t* channels) override;

private:
    CMidiDecoderService();
    ~CMidiDecoderService() override;

    // The steps of OpenTrack; each may raise what the engine raises.
    bool OpenTrackSteps(CHostFile* file, CHostFileInfo* info, uint32_t flags);
    // port is "MIDIOutputPort" as the open read it; -1 is the capture.
    bool CreatePort(HWND mainWindow, int32_t port);
    bool StartPlayback();
    // The load step: by the native path, else through a temporary copy.
    int32_t LoadTrack(CHostFile* file, CHostFileInfo* info);
    bool LoadThroughTemporaryCopy(CHostFile* file, CHostFileInfo* info, bool isMidiFile);
    // An XMI file, converted to a MIDI file in memory.
    bool LoadXmi(CHostFile* file);
    void FillFileInfo(CHostFile* file, CHostFileInfo* info, bool decoding);
    int32_t DecodeCaptured(CHostFile* capture, void** data, uint32_t* bytes, uint32_t* rate, uint32_t* bits,
                           uint32_t* channels);
    // A capture read that failed: says why on the console, gives -1.
    int32_t FailCapture();
    // Reports the reason on the host console and gives the failed result.
    int32_t FailDecode(const std::string& reason);
    int32_t DecodeSilence(void** data, uint32_t* bytes, uint32_t* rate, uint32_t* bits, uint32_t* channels);
    // Stops and destroys the engine, then removes the copies it played from.
    void DropEngine();
    void RemoveTemporaryCopies();

    std::vector<uint8_t> blockBuffer;
    CComApartment comApartment;
    std::string sourcePath;
    // 64-bit, so a song of any length is counted to its end.
    uint64_t bytesDelivered = 0;
    double songLength = 0;
    // timeGetTime() when the music was asked to start.
    DWORD startTime = 0;
    // Every temporary copy this instance made and has not removed yet; only
    // these are ever removed, never a path that names the track itself.
    std::vector<std::string> temporaryCopies;
    // Whether the wait before the first audio since the last open or seek
    // has been added to songLength.
    bool leadInCounted = false;
    std::unique_ptr<CMidiMusic> engine;
    LONG volatile refCount = 1;
};
