// IDirectMusicLoader: finds files (full paths, or names relative to the
// search directory of their class), reads them by content into segments and
// collections, and keeps a cache of loaded objects while caching is enabled.
#include <platform/com_registry.h>
#include <platform/unicode.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "platform/dmusic/loader_formats.h"
#include "platform/dmusic/loader_log.h"
#include "platform/com/unknown_impl.h"
#include "platform/dmusic/riff_reader.h"
#include "platform/dmusic/segment_object.h"
#include "platform/dmusic/text_field.h"

namespace dmusic {

namespace {

// An object the loader knows of: from SetObject, ScanDirectory or a load.
struct CKnownObject {
    GUID guidClass = GUID_NULL;
    GUID guidObject = GUID_NULL;
    bool hasObjectGuid = false;
    std::u16string name;
    std::u16string path;  // full path, empty for memory objects
    const BYTE* memory = nullptr;
    size_t memorySize = 0;
    IDirectMusicObject* loaded = nullptr;  // the cached object, one reference held
};

// What GetObject was asked for, read from its descriptor.
struct CObjectRequest {
    DWORD valid = 0;  // the descriptor's DMUS_OBJ_* flags
    GUID clsid = GUID_NULL;
    GUID guidObject = GUID_NULL;
    std::u16string file, name;
    std::u16string path;  // the file resolved against the search directory
    bool memory = false;  // the object's bytes are in memory
    const BYTE* memoryData = nullptr;
    size_t memorySize = 0;
};

// Checks a GetObject descriptor and reads it into a request (path aside).
HRESULT ReadRequest(const DMUS_OBJECTDESC& desc, CObjectRequest& request);

bool IsSupportedClass(REFGUID clsid)
{
    return IsEqualGUID(clsid, CLSID_DirectMusicSegment) || IsEqualGUID(clsid, CLSID_DirectMusicCollection);
}

// A name from the file system in UTF-16; false when it is not UTF-8, so it
// could not name the file again.
bool FromNative(const std::filesystem::path& path, std::u16string& text)
{
    const std::string native = path.native();
    text.clear();
    return platform::Utf8ToUtf16(native, text);
}

class CDirectMusicLoader : public platform::CUnknownImpl<IDirectMusicLoader> {
public:
    ~CDirectMusicLoader() override
    {
        for (CKnownObject& known : objects)
            if (known.loaded) known.loaded->Release();
        if (defaultCollection) defaultCollection->Release();
    }

    STDMETHODIMP GetObject(LPDMUS_OBJECTDESC desc, REFIID iid, LPVOID* object) override;
    STDMETHODIMP SetObject(LPDMUS_OBJECTDESC desc) override;
    STDMETHODIMP SetSearchDirectory(REFGUID clsid, WCHAR* path, BOOL clear) override;
    STDMETHODIMP ScanDirectory(REFGUID clsid, WCHAR* extension, WCHAR* cacheFile) override;
    STDMETHODIMP CacheObject(IDirectMusicObject* object) override;
    STDMETHODIMP ReleaseObject(IDirectMusicObject* object) override;
    STDMETHODIMP ClearCache(REFGUID clsid) override
    {
        std::lock_guard<std::mutex> guard(lock);
        DropCached(clsid);
        return S_OK;
    }
    STDMETHODIMP EnableCache(REFGUID clsid, BOOL enable) override
    {
        std::lock_guard<std::mutex> guard(lock);
        const bool all = IsEqualGUID(clsid, GUID_DirectMusicAllTypes);
        if (!all && !IsSupportedClass(clsid)) return S_FALSE;
        bool changed = false;
        for (const GUID& c : {CLSID_DirectMusicSegment, CLSID_DirectMusicCollection}) {
            if (!all && !IsEqualGUID(c, clsid)) continue;
            changed |= CacheEnabled(c) != bool(enable);
            cacheDisabled[c] = !enable;
        }
        // Turning the cache off lets go of what it held.
        if (!enable) DropCached(clsid);
        return changed ? S_OK : S_FALSE;
    }
    STDMETHODIMP EnumObject(REFGUID clsid, DWORD index, LPDMUS_OBJECTDESC desc) override;

protected:
    void* Find(REFIID iid) override
    {
        return IsEqualIID(iid, IID_IDirectMusicLoader) ? static_cast<IDirectMusicLoader*>(this) : nullptr;
    }

private:
    bool CacheEnabled(REFGUID clsid) const
    {
        auto found = cacheDisabled.find(clsid);
        return found == cacheDisabled.end() || !found->second;
    }
    bool Matches(REFGUID filter, REFGUID clsid) const
    {
        return IsEqualGUID(filter, GUID_DirectMusicAllTypes) || IsEqualGUID(filter, clsid);
    }
    void DropCached(REFGUID clsid)
    {
        if (defaultCollection && Matches(clsid, CLSID_DirectMusicCollection)) {
            defaultCollection->Release();
            defaultCollection = nullptr;
        }
        for (CKnownObject& known : objects)
            if (known.loaded && Matches(clsid, known.guidClass)) {
                known.loaded->Release();
                known.loaded = nullptr;
            }
    }
    std::u16string SearchDirectory(REFGUID clsid) const
    {
        auto found = directories.find(clsid);
        if (found != directories.end()) return found->second;
        found = directories.find(GUID_DirectMusicAllTypes);
        return found != directories.end() ? found->second : std::u16string();
    }
    std::u16string Resolve(REFGUID clsid, const std::u16string& file, bool fullPath) const
    {
        // A name that is already absolute needs no search directory, flag or not.
        if (fullPath || file.empty() || file[0] == u'/') return file;
        const std::u16string directory = SearchDirectory(clsid);
        if (directory.empty()) return file;
        const char16_t last = directory.back();
        return last == u'/' || last == u'\\' ? directory + file : directory + u'/' + file;
    }
    HRESULT Load(REFGUID clsid, const BYTE* data, size_t size, const std::u16string& path, IDirectMusicObject** object);
    HRESULT GetDefaultCollection(REFIID iid, void** object);
    // GetObject's steps: the known object a request names; loading it (from
    // memory or its file); keeping it in the cache.
    CKnownObject* FindKnown(const CObjectRequest& request);
    HRESULT LoadRequested(const CObjectRequest& request, const CKnownObject* known, IDirectMusicObject** loaded,
                          std::u16string& loadedPath);
    void Remember(const CObjectRequest& request, CKnownObject* known, const std::u16string& loadedPath,
                  IDirectMusicObject* loaded);

    std::mutex lock;
    std::map<GUID, std::u16string, platform::CGuidLess> directories;
    std::map<GUID, bool, platform::CGuidLess> cacheDisabled;
    std::vector<CKnownObject> objects;
    IDirectMusicCollection* defaultCollection = nullptr;  // one reference held while cached
};

HRESULT CDirectMusicLoader::Load(REFGUID clsid, const BYTE* data, size_t size, const std::u16string& path,
                                 IDirectMusicObject** object)
{
    *object = nullptr;
    if (IsEqualGUID(clsid, CLSID_DirectMusicSegment)) {
        CSegmentModel model;
        const HRESULT hr = ReadMusicFile(data, size, model);
        if (FAILED(hr)) return hr;
        IDirectMusicSegment* segment = CreateSegmentObject(std::move(model), path);
        if (!segment) return E_OUTOFMEMORY;
        const HRESULT q = segment->QueryInterface(IID_IDirectMusicObject, reinterpret_cast<void**>(object));
        segment->Release();
        return q;
    }
    auto collection = std::make_shared<CCollectionData>();
    const HRESULT hr = ReadDlsCollection(data, size, *collection);
    if (FAILED(hr)) return hr;
    IDirectMusicCollection* created = CreateCollectionObject(collection, path);
    if (!created) return E_OUTOFMEMORY;
    const HRESULT q = created->QueryInterface(IID_IDirectMusicObject, reinterpret_cast<void**>(object));
    created->Release();
    return q;
}

HRESULT CDirectMusicLoader::GetDefaultCollection(REFIID iid, void** object)
{
    // One object per loader while the cache holds collections, as for a file.
    if (defaultCollection && CacheEnabled(CLSID_DirectMusicCollection))
        return defaultCollection->QueryInterface(iid, object);
    auto data = std::make_shared<CCollectionData>();
    data->defaultSet = true;
    data->name = u"GM";
    IDirectMusicCollection* created = CreateCollectionObject(data, u"");
    if (!created) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(iid, object);
    if (defaultCollection) defaultCollection->Release();
    defaultCollection = nullptr;
    if (CacheEnabled(CLSID_DirectMusicCollection))
        defaultCollection = created;
    else
        created->Release();
    return hr;
}

HRESULT CDirectMusicLoader::GetObject(LPDMUS_OBJECTDESC desc, REFIID iid, LPVOID* object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!desc) return E_POINTER;
    CObjectRequest request;
    HRESULT hr = ReadRequest(*desc, request);
    if (FAILED(hr)) return hr;
    const DWORD valid = request.valid;

    std::lock_guard<std::mutex> guard(lock);
    if (valid & DMUS_OBJ_FILENAME) request.path = Resolve(request.clsid, request.file, valid & DMUS_OBJ_FULLPATH);

    // The default GM collection is known to every loader without a file: it
    // stands for the synthesizer's own instruments.
    if (IsEqualGUID(request.clsid, CLSID_DirectMusicCollection) && (valid & DMUS_OBJ_OBJECT) && !request.memory &&
        !(valid & DMUS_OBJ_FILENAME) && IsEqualGUID(request.guidObject, GUID_DefaultGMCollection))
        return GetDefaultCollection(iid, object);

    CKnownObject* known = FindKnown(request);
    if (known && known->loaded && CacheEnabled(request.clsid)) return known->loaded->QueryInterface(iid, object);

    IDirectMusicObject* loaded = nullptr;
    std::u16string loadedPath;
    hr = LoadRequested(request, known, &loaded, loadedPath);
    if (FAILED(hr)) return hr;
    if (CacheEnabled(request.clsid)) Remember(request, known, loadedPath, loaded);
    hr = loaded->QueryInterface(iid, object);
    loaded->Release();
    return hr;
}

HRESULT ReadRequest(const DMUS_OBJECTDESC& desc, CObjectRequest& request)
{
    if (desc.dwSize < offsetof(DMUS_OBJECTDESC, llMemLength)) return E_INVALIDARG;
    const DWORD valid = request.valid = desc.dwValidData;
    if (!(valid & DMUS_OBJ_CLASS)) return DMUS_E_LOADER_NOCLASSID;
    request.clsid = desc.guidClass;
    if (!IsSupportedClass(request.clsid)) return DMUS_E_LOADER_FAILEDCREATE;
    if ((valid & DMUS_OBJ_FILENAME) && !FieldText(desc.wszFileName, DMUS_MAX_FILENAME, request.file))
        return E_INVALIDARG;
    if ((valid & DMUS_OBJ_NAME) && !FieldText(desc.wszName, DMUS_MAX_NAME, request.name)) return E_INVALIDARG;
    request.memory = (valid & DMUS_OBJ_MEMORY) && desc.dwSize >= offsetof(DMUS_OBJECTDESC, pStream);
    if ((valid & DMUS_OBJ_MEMORY) && !request.memory) return E_INVALIDARG;
    if (request.memory && (!desc.pbMemData || desc.llMemLength <= 0)) return E_INVALIDARG;
    if (request.memory) {
        request.memoryData = desc.pbMemData;
        request.memorySize = size_t(desc.llMemLength);
    }
    request.guidObject = desc.guidObject;
    return S_OK;
}

CKnownObject* CDirectMusicLoader::FindKnown(const CObjectRequest& request)
{
    // By path, by object GUID, by name (in that order).
    const DWORD valid = request.valid;
    for (CKnownObject& candidate : objects) {
        if (!IsEqualGUID(candidate.guidClass, request.clsid)) continue;
        const bool samePath = !request.path.empty() && candidate.path == request.path;
        const bool sameGuid = (valid & DMUS_OBJ_OBJECT) && candidate.hasObjectGuid &&
                              IsEqualGUID(candidate.guidObject, request.guidObject);
        const bool sameName = !(valid & (DMUS_OBJ_FILENAME | DMUS_OBJ_MEMORY | DMUS_OBJ_OBJECT)) &&
                              !request.name.empty() && candidate.name == request.name;
        const bool sameMemory = request.memory && candidate.memory == request.memoryData;
        if (samePath || sameGuid || sameName || sameMemory) return &candidate;
    }
    return nullptr;
}

HRESULT CDirectMusicLoader::LoadRequested(const CObjectRequest& request, const CKnownObject* known,
                                          IDirectMusicObject** loaded, std::u16string& loadedPath)
{
    const std::u16string& path = request.path;
    if (request.memory || (known && known->memory && path.empty())) {
        const BYTE* data = request.memory ? request.memoryData : known->memory;
        const size_t size = request.memory ? request.memorySize : known->memorySize;
        return Load(request.clsid, data, size, u"", loaded);
    }
    loadedPath = !path.empty() ? path : known ? known->path : u"";
    if (loadedPath.empty())
        return (request.valid & (DMUS_OBJ_FILENAME | DMUS_OBJ_OBJECT | DMUS_OBJ_NAME)) ? DMUS_E_LOADER_FAILEDOPEN
                                                                                       : DMUS_E_LOADER_NOFILENAME;
    std::vector<BYTE> bytes;
    if (!ReadWholeFile(loadedPath, bytes)) {
        LoaderTrace("loader: cannot open %s", NativePath(loadedPath).c_str());
        return DMUS_E_LOADER_FAILEDOPEN;
    }
    return Load(request.clsid, bytes.data(), bytes.size(), loadedPath, loaded);
}

void CDirectMusicLoader::Remember(const CObjectRequest& request, CKnownObject* known, const std::u16string& loadedPath,
                                  IDirectMusicObject* loaded)
{
    if (!known) {
        objects.emplace_back();
        known = &objects.back();
        known->guidClass = request.clsid;
        known->path = loadedPath;
        if (request.memory) {
            known->memory = request.memoryData;
            known->memorySize = request.memorySize;
        }
    }
    if (known->loaded) known->loaded->Release();
    known->loaded = loaded;
    loaded->AddRef();
}

HRESULT CDirectMusicLoader::SetObject(LPDMUS_OBJECTDESC desc)
{
    if (!desc) return E_POINTER;
    if (desc->dwSize < offsetof(DMUS_OBJECTDESC, llMemLength)) return E_INVALIDARG;
    const DWORD valid = desc->dwValidData;
    if (!(valid & DMUS_OBJ_CLASS)) return DMUS_E_LOADER_NOCLASSID;
    CKnownObject known;
    known.guidClass = desc->guidClass;
    if (valid & DMUS_OBJ_OBJECT) {
        known.guidObject = desc->guidObject;
        known.hasObjectGuid = true;
    }
    if ((valid & DMUS_OBJ_NAME) && !FieldText(desc->wszName, DMUS_MAX_NAME, known.name)) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock);
    if (valid & DMUS_OBJ_FILENAME) {
        std::u16string file;
        if (!FieldText(desc->wszFileName, DMUS_MAX_FILENAME, file)) return E_INVALIDARG;
        known.path = Resolve(known.guidClass, file, valid & DMUS_OBJ_FULLPATH);
    } else if (valid & DMUS_OBJ_MEMORY) {
        if (desc->dwSize < offsetof(DMUS_OBJECTDESC, pStream) || !desc->pbMemData || desc->llMemLength <= 0)
            return E_INVALIDARG;
        known.memory = desc->pbMemData;
        known.memorySize = size_t(desc->llMemLength);
    } else {
        return DMUS_E_LOADER_NOFILENAME;
    }
    objects.push_back(known);
    return S_OK;
}

HRESULT CDirectMusicLoader::SetSearchDirectory(REFGUID clsid, WCHAR* path, BOOL clear)
{
    if (!path) return E_POINTER;
    std::u16string directory;
    if (!FieldText(path, MAX_PATH, directory)) return DMUS_E_LOADER_BADPATH;
    std::error_code error;
    if (directory.empty() || !std::filesystem::is_directory(NativePath(directory), error)) return DMUS_E_LOADER_BADPATH;
    std::lock_guard<std::mutex> guard(lock);
    if (clear) {
        // Forget what was found or loaded for the class (not what SetObject named in memory).
        DropCached(clsid);
        objects.erase(std::remove_if(
                          objects.begin(), objects.end(),
                          [&](const CKnownObject& o) { return Matches(clsid, o.guidClass) && !o.loaded && !o.memory; }),
                      objects.end());
    }
    const bool all = IsEqualGUID(clsid, GUID_DirectMusicAllTypes);
    const bool same = SearchDirectory(clsid) == directory;
    if (all) directories.clear();
    directories[clsid] = directory;
    return same ? S_FALSE : S_OK;
}

HRESULT CDirectMusicLoader::ScanDirectory(REFGUID clsid, WCHAR* extension, WCHAR* cacheFile)
{
    if (!extension) return E_POINTER;
    if (!IsSupportedClass(clsid)) return REGDB_E_CLASSNOTREG;
    std::u16string wanted;
    if (!FieldText(extension, MAX_PATH, wanted)) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock);
    const std::u16string directory = SearchDirectory(clsid);
    if (directory.empty()) return DMUS_E_NOT_FOUND;
    std::error_code error;
    std::filesystem::directory_iterator it(NativePath(directory), error), end;
    if (error) return DMUS_E_LOADER_BADPATH;
    auto lower = [](std::u16string s) {
        for (char16_t& c : s)
            if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
        return s;
    };
    if (!wanted.empty() && wanted[0] == u'.') wanted.erase(0, 1);
    wanted = lower(wanted);
    int found = 0;
    for (; it != end; it.increment(error)) {
        if (error) break;
        if (!it->is_regular_file(error)) continue;
        std::u16string ext, path, name;
        if (!FromNative(it->path(), path) || !FromNative(it->path().extension(), ext) ||
            !FromNative(it->path().stem(), name))
            continue;
        if (!ext.empty()) ext.erase(0, 1);
        if (wanted != u"*" && lower(ext) != wanted) continue;
        // The extension chooses the files; their contents decide the class.
        std::vector<BYTE> head(12);
        std::FILE* file = std::fopen(it->path().c_str(), "rb");
        if (!file) continue;
        head.resize(std::fread(head.data(), 1, head.size(), file));
        std::fclose(file);
        const EFileKind kind = DetectFileKind(head.data(), head.size());
        const bool isCollection = kind == EFileKind::Dls;
        if (kind == EFileKind::Unknown || isCollection != IsEqualGUID(clsid, CLSID_DirectMusicCollection)) continue;
        if (std::any_of(objects.begin(), objects.end(), [&](const CKnownObject& o) { return o.path == path; }))
            continue;
        CKnownObject known;
        known.guidClass = clsid;
        known.path = path;
        known.name = name;
        objects.push_back(known);
        ++found;
    }
    return found ? S_OK : S_FALSE;
}

HRESULT CDirectMusicLoader::CacheObject(IDirectMusicObject* object)
{
    if (!object) return E_POINTER;
    DMUS_OBJECTDESC desc = {};
    desc.dwSize = sizeof desc;
    HRESULT hr = object->GetDescriptor(&desc);
    if (FAILED(hr)) return hr;
    std::lock_guard<std::mutex> guard(lock);
    for (const CKnownObject& known : objects)
        if (known.loaded == object) return S_FALSE;
    CKnownObject known;
    known.guidClass = desc.guidClass;
    if (desc.dwValidData & DMUS_OBJ_FILENAME) FieldText(desc.wszFileName, DMUS_MAX_FILENAME, known.path);
    if (desc.dwValidData & DMUS_OBJ_NAME) FieldText(desc.wszName, DMUS_MAX_NAME, known.name);
    object->AddRef();
    known.loaded = object;
    objects.push_back(known);
    return S_OK;
}

HRESULT CDirectMusicLoader::ReleaseObject(IDirectMusicObject* object)
{
    if (!object) return E_POINTER;
    std::lock_guard<std::mutex> guard(lock);
    for (CKnownObject& known : objects)
        if (known.loaded == object) {
            known.loaded->Release();
            known.loaded = nullptr;
            return S_OK;
        }
    return S_FALSE;
}

HRESULT CDirectMusicLoader::EnumObject(REFGUID clsid, DWORD index, LPDMUS_OBJECTDESC desc)
{
    if (!desc) return E_POINTER;
    if (desc->dwSize < offsetof(DMUS_OBJECTDESC, llMemLength)) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock);
    DWORD seen = 0;
    for (const CKnownObject& known : objects) {
        if (!Matches(clsid, known.guidClass)) continue;
        if (seen++ != index) continue;
        FillObjectDescriptor(desc, known.guidClass, known.name, known.path);
        if (!known.loaded) desc->dwValidData &= ~DWORD(DMUS_OBJ_LOADED);
        if (known.hasObjectGuid) {
            desc->guidObject = known.guidObject;
            desc->dwValidData |= DMUS_OBJ_OBJECT;
        }
        return S_OK;
    }
    return S_FALSE;
}

HRESULT CreateLoader(LPUNKNOWN outer, REFIID iid, void** object)
{
    return platform::CreateComObject<CDirectMusicLoader>(outer, iid, object);
}

platform::ComClassRegistration loaderClass(CLSID_DirectMusicLoader, CreateLoader);

}  // namespace

}  // namespace dmusic
