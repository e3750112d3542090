// The decoder object's life: creation, counting, class query and the fixed
// answers of its table. Nothing the host calls here may throw.
#include "tessarine/decoder/decoder_service.h"

#include "tessarine/frame/config.h"
#include "tessarine/frame/host_access.h"

#include <new>

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
        return nullptr;  // the block buffer could not be allocated
    }
}

CMidiDecoderService::CMidiDecoderService()
{
    const int32_t blockSize = configOutputBuffer.value;
    blockBuffer.resize(blockSize > 0 ? size_t(blockSize) : 0);
}

CMidiDecoderService::~CMidiDecoderService() = default;

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

bool CMidiDecoderService::OpenTrack(CHostFile*, CHostFileInfo*, uint32_t flags)
{
    // Nothing asked for: nothing to do.
    if (!(flags & (OPEN_TRACK_INFO | OPEN_TRACK_DECODE))) return true;
    return false;
}

bool CMidiDecoderService::MatchesContentType(const char*, const char*) { return false; }

bool CMidiDecoderService::MatchesExtension(const char*, const char*) { return false; }

int32_t CMidiDecoderService::FixedAnswer6(const void*, const void*) { return 1; }

bool CMidiDecoderService::FixedAnswer7() { return true; }

int32_t CMidiDecoderService::DecodeChunk(CHostAudioChunk* chunk)
{
    void* data = nullptr;
    uint32_t bytes = 0, rate = 0, bits = 0, channels = 0;
    const int32_t result = DecodeBlock(&data, &bytes, &rate, &bits, &channels);
    // The block's own result stands whatever the chunk made of it.
    if (result > 0) FillAudioChunk(chunk, data, bytes, rate, channels, bits);
    return result;
}

bool CMidiDecoderService::SeekTrack(double) { return false; }

bool CMidiDecoderService::FixedAnswer10() { return true; }

void CMidiDecoderService::NoOperation11() {}

bool CMidiDecoderService::FixedAnswer12(const void*, const void*, const void*) { return false; }

int32_t CMidiDecoderService::DecodeBlock(void**, uint32_t*, uint32_t*, uint32_t*, uint32_t*) { return -1; }
