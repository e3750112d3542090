// IDirectMusicCollection over a loaded DLS file. The raw file stays with the
// collection for the synthesizer to load; its instruments are in instrument.cpp.
#include <platform/com_registry.h>

#include <algorithm>

#include "platform/com/unknown_impl.h"
#include "platform/dmusic/segment_object.h"
#include "platform/dmusic/text_field.h"

namespace dmusic {

namespace {

class CDirectMusicCollection : public platform::CUnknownImpl<IDirectMusicCollection, IDirectMusicObject> {
public:
    CDirectMusicCollection() : data(std::make_shared<CCollectionData>()) {}
    CDirectMusicCollection(std::shared_ptr<const CCollectionData> data, std::u16string file)
        : data(std::move(data)), fileName(std::move(file))
    {}

    STDMETHODIMP GetInstrument(DWORD patch, IDirectMusicInstrument** instrument) override
    {
        if (!instrument) return E_POINTER;
        *instrument = nullptr;
        for (const CDlsInstrumentInfo& info : data->instruments)
            if (info.patch == patch) {
                *instrument = CreateInstrumentObject(data, patch);
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
        if (desc->dwValidData & DMUS_OBJ_FILENAME) FieldText(desc->wszFileName, DMUS_MAX_FILENAME, fileName);
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

}  // namespace dmusic
