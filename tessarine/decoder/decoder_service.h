// CMidiDecoderService: the per-track object the host creates from the
// decoder registration. Counted with atomic operations; the last Release
// destroys it.
#pragma once

#include "tessarine/frame/host_contract.h"

#include <cstdint>
#include <vector>

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
    int32_t FixedAnswer6(const void* a, const void* b) override;
    bool FixedAnswer7() override;
    int32_t DecodeChunk(CHostAudioChunk* chunk) override;
    bool SeekTrack(double seconds) override;
    bool FixedAnswer10() override;
    void NoOperation11() override;
    bool FixedAnswer12(const void* a, const void* b, const void* c) override;
    int32_t DecodeBlock(void** data, uint32_t* bytes, uint32_t* rate, uint32_t* bits, uint32_t* channels) override;

private:
    CMidiDecoderService();
    ~CMidiDecoderService() override;

    std::vector<uint8_t> blockBuffer;
    CComApartment comApartment;
    LONG volatile refCount = 1;
};
