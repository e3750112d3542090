// IDirectMusicCollection over a loaded DLS file, and the instruments it gives
// out. The raw file stays with the collection for the synthesizer to load.
#include <platform/com_registry.h>

#include <algorithm>

#include "platform/com/unknown_impl.h"
#include "platform/dmusic/segment_object.h"
#include "platform/dmusic/text_field.h"

namespace dmusic {

namespace {

class CDirectMusicInstrument : public platform::CUnknownImpl<IDirectMusicInstrument> {
public:
    CDirectMusicInstrument(std::shared_ptr<const CCollectionData> data, DWORD patch)
        : data(std::move(data)), originalPatch(patch), patch(patch)
    {
    }

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

class CDirectMusicCollection : public platform::CUnknownImpl<IDirectMusicCollection, IDirectMusicObject> {
public:
    CDirectMusicCollection() : data(std::make_shared<CCollectionData>()) {}
    CDirectMusicCollection(std::shared_ptr<const CCollectionData> data, std::u16string file)
        : data(std::move(data)), fileName(std::move(file))
    {
    }

    STDMETHODIMP GetInstrument(DWORD patch, IDirectMusicInstrument** instrument) override
    {
        if (!instrument) return E_POINTER;
        *instrument = nullptr;
        for (const CDlsInstrumentInfo& info : data->instruments)
            if (info.patch == patch) {
                *instrument = new (std::nothrow) CDirectMusicInstrument(data, patch);
                return *instrument ? S_OK : E_OUTOFMEMORY;
            }
        return DMUS_E_INVALIDPATCH;
    }
    STDMETHODIMP EnumInstrument(DWORD index, DWORD* patch, LPWSTR name, DWORD nameLength) override
    {
        if (!patch) return E_POINTER;
        if (index >= data->instruments.size()) return S_FALSE;
        const CDlsInstrumentInfo& info = data->instruments[index];
        *patch = info.patch;
        if (name && nameLength) CopyToField(name, nameLength, info.name);
        return S_OK;
    }

    STDMETHODIMP GetDescriptor(LPDMUS_OBJECTDESC desc) override
    {
        if (!desc) return E_POINTER;
        FillObjectDescriptor(desc, CLSID_DirectMusicCollection, data->name, fileName);
        return S_OK;
    }
    STDMETHODIMP SetDescriptor(LPDMUS_OBJECTDESC desc) override
    {
        if (!desc) return E_POINTER;
        if (desc->dwValidData & DMUS_OBJ_FILENAME)
            FieldText(desc->wszFileName, DMUS_MAX_FILENAME, fileName);
        return S_OK;
    }
    STDMETHODIMP ParseDescriptor(LPSTREAM stream, LPDMUS_OBJECTDESC desc) override
    {
        return stream && desc ? E_NOTIMPL : E_POINTER;
    }

    std::shared_ptr<const CCollectionData> data;
    std::u16string fileName;

protected:
    void* Find(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IDirectMusicCollection)) return static_cast<IDirectMusicCollection*>(this);
        if (IsEqualIID(iid, IID_IDirectMusicObject)) return static_cast<IDirectMusicObject*>(this);
        return nullptr;
    }
};

HRESULT CreateEmptyCollection(LPUNKNOWN outer, REFIID iid, void** object)
{
    return platform::CreateComObject<CDirectMusicCollection>(outer, iid, object);
}

platform::ComClassRegistration collectionClass(CLSID_DirectMusicCollection, CreateEmptyCollection);

}  // namespace

IDirectMusicCollection* CreateCollectionObject(std::shared_ptr<const CCollectionData> data,
                                               const std::u16string& fileName)
{
    return new (std::nothrow) CDirectMusicCollection(std::move(data), fileName);
}

std::shared_ptr<const CCollectionData> GetCollectionData(IDirectMusicCollection* collection)
{
    auto* ours = dynamic_cast<CDirectMusicCollection*>(collection);
    return ours ? ours->data : nullptr;
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
