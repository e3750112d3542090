// IDirectMusicInstrument: one instrument a collection gives out, with the
// patch it is to play as (which SetPatch may change).
#include <dmerror.h>

#include <new>

#include "platform/com/unknown_impl.h"
#include "platform/dmusic/segment_object.h"

namespace dmusic {

namespace {

class CDirectMusicInstrument : public platform::CUnknownImpl<IDirectMusicInstrument> {
public:
    CDirectMusicInstrument(std::shared_ptr<const CCollectionData> data, DWORD patch)
        : data(std::move(data)), originalPatch(patch), patch(patch)
    {}

    STDMETHODIMP GetPatch(DWORD* result) override
    {
        if (!result) return E_POINTER;
        *result = patch;
        return S_OK;
    }
    STDMETHODIMP SetPatch(DWORD newPatch) override
    {
        // Bank MSB and LSB are 7 bits each, as is the program; bit 31 marks drums.
        if (newPatch & 0x7F808080) return DMUS_E_INVALIDPATCH;
        patch = newPatch;
        return S_OK;
    }

    std::shared_ptr<const CCollectionData> data;
    const DWORD originalPatch;
    DWORD patch;

protected:
    void* Find(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IDirectMusicInstrument) ? static_cast<IDirectMusicInstrument*>(this) : nullptr;
    }
};

}  // namespace

IDirectMusicInstrument* CreateInstrumentObject(std::shared_ptr<const CCollectionData> data, DWORD patch)
{
    return new (std::nothrow) CDirectMusicInstrument(std::move(data), patch);
}

bool GetInstrumentSource(IDirectMusicInstrument* instrument, std::shared_ptr<const CCollectionData>& collection,
                         DWORD& originalPatch, DWORD& patch)
{
    auto* ours = dynamic_cast<CDirectMusicInstrument*>(instrument);
    if (!ours) return false;
    collection = ours->data;
    originalPatch = ours->originalPatch;
    patch = ours->patch;
    return true;
}

}  // namespace dmusic
