// IDirectMusicSegment over the segment model: length, repeats, start and
// loop points, and the parameters DirectMusic's tracks answer (tempo, time
// signature) or accept (MIDI-file mode, DLS connection, download, unload).
// The segment behaves as if it had a tempo track when the model has tempos,
// a time-signature track when it has signatures, and always a band track,
// all in track group 1.
#include <platform/com_registry.h>

#include <dmusicf.h>

#include <algorithm>
#include <cstddef>
#include <mutex>

#include "platform/com/unknown_impl.h"
#include "platform/dmusic/segment_object.h"
#include "platform/dmusic/text_field.h"

namespace dmusic {

namespace {

class CDirectMusicSegment : public platform::CUnknownImpl<IDirectMusicSegment, IDirectMusicObject> {
public:
    CDirectMusicSegment() : model(std::make_shared<CSegmentModel>()) {}
    CDirectMusicSegment(CSegmentModel content, std::u16string file)
        : model(std::make_shared<CSegmentModel>(std::move(content))), fileName(std::move(file))
    {}
    ~CDirectMusicSegment() override
    {
        if (graph) graph->Release();
        if (connected) connected->Release();
    }

    std::shared_ptr<const CSegmentModel> Snapshot()
    {
        std::lock_guard<std::mutex> guard(lock);
        return std::make_shared<const CSegmentModel>(*model);
    }

    // IDirectMusicSegment
    STDMETHODIMP GetLength(MUSIC_TIME* length) override
    {
        if (!length) return E_POINTER;
        std::lock_guard<std::mutex> guard(lock);
        *length = model->length;
        return S_OK;
    }
    STDMETHODIMP SetLength(MUSIC_TIME length) override
    {
        std::lock_guard<std::mutex> guard(lock);
        if (length <= 0 || length < model->startPoint) return DMUS_E_OUT_OF_RANGE;
        model->length = length;
        if (model->loopEnd > length) model->loopStart = model->loopEnd = 0;
        return S_OK;
    }
    STDMETHODIMP GetRepeats(DWORD* repeats) override
    {
        if (!repeats) return E_POINTER;
        std::lock_guard<std::mutex> guard(lock);
        *repeats = model->repeats;
        return S_OK;
    }
    STDMETHODIMP SetRepeats(DWORD repeats) override
    {
        std::lock_guard<std::mutex> guard(lock);
        model->repeats = repeats;
        return S_OK;
    }
    STDMETHODIMP GetDefaultResolution(DWORD* resolution) override
    {
        if (!resolution) return E_POINTER;
        std::lock_guard<std::mutex> guard(lock);
        *resolution = model->defaultResolution;
        return S_OK;
    }
    STDMETHODIMP SetDefaultResolution(DWORD resolution) override
    {
        std::lock_guard<std::mutex> guard(lock);
        model->defaultResolution = resolution;
        return S_OK;
    }
    // The tracks live inside the model; none is handed out as an object.
    STDMETHODIMP GetTrack(REFGUID, DWORD, DWORD, IDirectMusicTrack** track) override
    {
        if (!track) return E_POINTER;
        *track = nullptr;
        return DMUS_E_NOT_FOUND;
    }
    STDMETHODIMP GetTrackGroup(IDirectMusicTrack* track, DWORD* groupBits) override
    {
        if (!track || !groupBits) return E_POINTER;
        return DMUS_E_NOT_FOUND;
    }
    STDMETHODIMP InsertTrack(IDirectMusicTrack* track, DWORD) override { return track ? E_NOTIMPL : E_POINTER; }
    STDMETHODIMP RemoveTrack(IDirectMusicTrack* track) override { return track ? S_FALSE : E_POINTER; }
    STDMETHODIMP InitPlay(IDirectMusicSegmentState** state, IDirectMusicPerformance*, DWORD) override
    {
        if (!state) return E_POINTER;
        *state = nullptr;
        return E_NOTIMPL;  // the performance plays the model itself
    }
    STDMETHODIMP GetGraph(IDirectMusicGraph** result) override
    {
        if (!result) return E_POINTER;
        std::lock_guard<std::mutex> guard(lock);
        *result = graph;
        if (!graph) return DMUS_E_NOT_FOUND;
        graph->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetGraph(IDirectMusicGraph* newGraph) override
    {
        std::lock_guard<std::mutex> guard(lock);
        if (newGraph) newGraph->AddRef();
        if (graph) graph->Release();
        graph = newGraph;
        return S_OK;
    }
    STDMETHODIMP AddNotificationType(REFGUID) override { return S_OK; }
    STDMETHODIMP RemoveNotificationType(REFGUID) override { return S_OK; }
    STDMETHODIMP GetParam(REFGUID type, DWORD groupBits, DWORD index, MUSIC_TIME time, MUSIC_TIME* next,
                          void* param) override;
    STDMETHODIMP SetParam(REFGUID type, DWORD groupBits, DWORD index, MUSIC_TIME time, void* param) override;
    STDMETHODIMP Clone(MUSIC_TIME start, MUSIC_TIME end, IDirectMusicSegment** segment) override;
    STDMETHODIMP SetStartPoint(MUSIC_TIME start) override
    {
        std::lock_guard<std::mutex> guard(lock);
        if (start < 0 || start > model->length) return DMUS_E_OUT_OF_RANGE;
        model->startPoint = start;
        return S_OK;
    }
    STDMETHODIMP GetStartPoint(MUSIC_TIME* start) override
    {
        if (!start) return E_POINTER;
        std::lock_guard<std::mutex> guard(lock);
        *start = model->startPoint;
        return S_OK;
    }
    STDMETHODIMP SetLoopPoints(MUSIC_TIME start, MUSIC_TIME end) override
    {
        std::lock_guard<std::mutex> guard(lock);
        if (start == 0 && end == 0) {
            model->loopStart = model->loopEnd = 0;
            return S_OK;
        }
        if (start < 0 || end <= start || end > model->length) return DMUS_E_OUT_OF_RANGE;
        model->loopStart = start;
        model->loopEnd = end;
        return S_OK;
    }
    STDMETHODIMP GetLoopPoints(MUSIC_TIME* start, MUSIC_TIME* end) override
    {
        if (!start || !end) return E_POINTER;
        std::lock_guard<std::mutex> guard(lock);
        *start = model->loopStart;
        *end = model->loopEnd;
        return S_OK;
    }
    STDMETHODIMP SetPChannelsUsed(DWORD count, DWORD* channels) override
    {
        return count && !channels ? E_POINTER : S_OK;
    }

    // IDirectMusicObject
    STDMETHODIMP GetDescriptor(LPDMUS_OBJECTDESC desc) override
    {
        if (!desc) return E_POINTER;
        std::lock_guard<std::mutex> guard(lock);
        FillObjectDescriptor(desc, CLSID_DirectMusicSegment, model->name, fileName);
        return S_OK;
    }
    STDMETHODIMP SetDescriptor(LPDMUS_OBJECTDESC desc) override
    {
        if (!desc) return E_POINTER;
        std::lock_guard<std::mutex> guard(lock);
        if (desc->dwValidData & DMUS_OBJ_NAME) FieldText(desc->wszName, DMUS_MAX_NAME, model->name);
        if (desc->dwValidData & DMUS_OBJ_FILENAME) FieldText(desc->wszFileName, DMUS_MAX_FILENAME, fileName);
        return S_OK;
    }
    STDMETHODIMP ParseDescriptor(LPSTREAM stream, LPDMUS_OBJECTDESC desc) override
    {
        return stream && desc ? E_NOTIMPL : E_POINTER;
    }

protected:
    void* Find(REFIID iid) override
    {
        if (IsEqualIID(iid, IID_IDirectMusicSegment)) return static_cast<IDirectMusicSegment*>(this);
        if (IsEqualIID(iid, IID_IDirectMusicObject)) return static_cast<IDirectMusicObject*>(this);
        return nullptr;
    }

private:
    enum class ETrack { Tempo, TimeSignature, Band };

    // Whether the track that answers type exists and is the one index selects
    // among the tracks of groupBits. Every track is in group 1 and each
    // parameter type has at most one track, so only ANYTRACK/ALLTRACKS and
    // index 0 can find it.
    HRESULT SelectTrack(ETrack track, DWORD groupBits, DWORD index) const
    {
        bool present = true;
        if (track == ETrack::Tempo) present = !model->tempos.empty();
        if (track == ETrack::TimeSignature) present = !model->timeSignatures.empty();
        if (!present || !(groupBits & 1)) return DMUS_E_TRACK_NOT_FOUND;
        if (index != DMUS_SEG_ANYTRACK && index != 0) return DMUS_E_TRACK_NOT_FOUND;
        return S_OK;
    }

    std::mutex lock;
    std::shared_ptr<CSegmentModel> model;
    std::u16string fileName;
    IDirectMusicGraph* graph = nullptr;
    IDirectMusicCollection* connected = nullptr;
};

bool IsSetOnlyParam(REFGUID type)
{
    return IsEqualGUID(type, GUID_StandardMIDIFile) || IsEqualGUID(type, GUID_ConnectToDLSCollection) ||
           IsEqualGUID(type, GUID_Download) || IsEqualGUID(type, GUID_Unload) ||
           IsEqualGUID(type, GUID_Enable_Auto_Download) || IsEqualGUID(type, GUID_Disable_Auto_Download) ||
           IsEqualGUID(type, GUID_Clear_All_Bands) || IsEqualGUID(type, GUID_DownloadToAudioPath) ||
           IsEqualGUID(type, GUID_UnloadFromAudioPath);
}

HRESULT CDirectMusicSegment::GetParam(REFGUID type, DWORD groupBits, DWORD index, MUSIC_TIME time, MUSIC_TIME* next,
                                      void* param)
{
    std::lock_guard<std::mutex> guard(lock);
    if (IsEqualGUID(type, GUID_TempoParam)) {
        const HRESULT found = SelectTrack(ETrack::Tempo, groupBits, index);
        if (FAILED(found)) return found;
        if (!param) return E_POINTER;
        // The change in effect at time, and how long it holds: both relative to time.
        const auto& tempos = model->tempos;
        auto after = std::upper_bound(tempos.begin(), tempos.end(), time,
                                      [](MUSIC_TIME t, const CTempoChange& c) { return t < c.time; });
        if (next) *next = after == tempos.end() ? 0 : after->time - time;
        if (after == tempos.begin()) return DMUS_E_NOT_FOUND;
        const CTempoChange& current = *(after - 1);
        auto* tempo = static_cast<DMUS_TEMPO_PARAM*>(param);
        tempo->mtTime = current.time - time;
        tempo->dblTempo = current.bpm;
        return S_OK;
    }
    if (IsEqualGUID(type, GUID_TimeSignature)) {
        const HRESULT found = SelectTrack(ETrack::TimeSignature, groupBits, index);
        if (FAILED(found)) return found;
        if (!param) return E_POINTER;
        const auto& signatures = model->timeSignatures;
        auto after = std::upper_bound(signatures.begin(), signatures.end(), time,
                                      [](MUSIC_TIME t, const CTimeSignatureChange& c) { return t < c.time; });
        if (next) *next = after == signatures.end() ? 0 : after->time - time;
        if (after == signatures.begin()) return DMUS_E_NOT_FOUND;
        const CTimeSignatureChange& current = *(after - 1);
        auto* signature = static_cast<DMUS_TIMESIGNATURE*>(param);
        signature->mtTime = current.time - time;
        signature->bBeatsPerMeasure = current.beatsPerMeasure;
        signature->bBeat = current.beat;
        signature->wGridsPerBeat = current.gridsPerBeat;
        return S_OK;
    }
    if (IsSetOnlyParam(type)) {
        const HRESULT found = SelectTrack(ETrack::Band, groupBits, index);
        return FAILED(found) ? found : DMUS_E_GET_UNSUPPORTED;
    }
    return DMUS_E_TRACK_NOT_FOUND;
}

HRESULT CDirectMusicSegment::SetParam(REFGUID type, DWORD groupBits, DWORD index, MUSIC_TIME time, void* param)
{
    std::unique_lock<std::mutex> guard(lock);
    if (IsEqualGUID(type, GUID_TempoParam)) {
        // Setting a tempo makes the tempo track if there was none.
        if (!(groupBits & 1) || (index != DMUS_SEG_ALLTRACKS && index != 0)) return DMUS_E_TRACK_NOT_FOUND;
        if (!param) return E_POINTER;
        const double bpm = static_cast<const DMUS_TEMPO_PARAM*>(param)->dblTempo;
        if (!(bpm >= DMUS_TEMPO_MIN && bpm <= DMUS_TEMPO_MAX)) return E_INVALIDARG;
        auto& tempos = model->tempos;
        auto at = std::lower_bound(tempos.begin(), tempos.end(), time,
                                   [](const CTempoChange& c, MUSIC_TIME t) { return c.time < t; });
        if (at != tempos.end() && at->time == time)
            at->bpm = bpm;
        else
            tempos.insert(at, CTempoChange{time, bpm});
        return S_OK;
    }
    if (IsEqualGUID(type, GUID_TimeSignature)) {
        const HRESULT found = SelectTrack(ETrack::TimeSignature, groupBits, index);
        return FAILED(found) ? found : DMUS_E_SET_UNSUPPORTED;
    }
    if (!IsSetOnlyParam(type)) return DMUS_E_TRACK_NOT_FOUND;
    const HRESULT found = SelectTrack(ETrack::Band, groupBits, index);
    if (FAILED(found)) return found;

    if (IsEqualGUID(type, GUID_StandardMIDIFile)) {
        model->standardMidiFile = true;
        return S_OK;
    }
    if (IsEqualGUID(type, GUID_ConnectToDLSCollection)) {
        auto* collection = static_cast<IDirectMusicCollection*>(param);
        if (!collection) return E_POINTER;
        auto data = GetCollectionData(collection);
        if (!data) return E_INVALIDARG;
        collection->AddRef();
        if (connected) connected->Release();
        connected = collection;
        model->connectedCollection = data;
        return S_OK;
    }
    if (IsEqualGUID(type, GUID_Download) || IsEqualGUID(type, GUID_Unload) ||
        IsEqualGUID(type, GUID_DownloadToAudioPath) || IsEqualGUID(type, GUID_UnloadFromAudioPath)) {
        auto* target = static_cast<IUnknown*>(param);
        if (!target) return E_POINTER;
        const bool unload = IsEqualGUID(type, GUID_Unload) || IsEqualGUID(type, GUID_UnloadFromAudioPath);
        auto snapshot = std::make_shared<const CSegmentModel>(*model);
        const SegmentDownloadHandler handler = GetSegmentDownloadHandler();
        // The handler talks to the port; it must not run under the segment's lock.
        guard.unlock();
        const HRESULT hr = handler ? handler(target, snapshot, unload) : S_OK;
        guard.lock();
        if (SUCCEEDED(hr)) model->downloaded = !unload;
        return hr;
    }
    return S_OK;  // auto-download switches and band clearing have nothing to do here
}

HRESULT CDirectMusicSegment::Clone(MUSIC_TIME start, MUSIC_TIME end, IDirectMusicSegment** segment)
{
    if (!segment) return E_POINTER;
    *segment = nullptr;
    std::lock_guard<std::mutex> guard(lock);
    if (end == 0) end = model->length;
    if (start < 0 || end < start || start > model->length) return DMUS_E_OUT_OF_RANGE;
    CSegmentModel copy = *model;
    copy.events.clear();
    for (const CMidiEvent& event : model->events)
        if (event.time >= start && event.time < end) {
            CMidiEvent moved = event;
            moved.time -= start;
            copy.events.push_back(std::move(moved));
        }
    // Tempo and signature in effect at the start carry over to the clone's time 0.
    // Every earlier band change is kept (they are per channel); of tempos and
    // signatures only the last before the start.
    auto shift = [&](auto& changes, bool keepAllEarlier) {
        using Change = typename std::decay_t<decltype(changes)>::value_type;
        std::vector<Change> kept;
        for (const Change& c : changes) {
            if (c.time <= start) {
                if (kept.empty() || keepAllEarlier) kept.push_back(c);
                kept.back() = c;
                kept.back().time = 0;
            } else if (c.time < end) {
                kept.push_back(c);
                kept.back().time -= start;
            }
        }
        changes = std::move(kept);
    };
    shift(copy.tempos, false);
    shift(copy.timeSignatures, false);
    shift(copy.patches, true);
    copy.length = end - start;
    copy.startPoint = 0;
    copy.loopStart = copy.loopEnd = 0;
    *segment = CreateSegmentObject(std::move(copy), fileName);
    return *segment ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateEmptySegment(LPUNKNOWN outer, REFIID iid, void** object)
{
    return platform::CreateComObject<CDirectMusicSegment>(outer, iid, object);
}

platform::ComClassRegistration segmentClass(CLSID_DirectMusicSegment, CreateEmptySegment);

}  // namespace

IDirectMusicSegment* CreateSegmentObject(CSegmentModel model, const std::u16string& fileName)
{
    model.Normalize();
    return new (std::nothrow) CDirectMusicSegment(std::move(model), fileName);
}

std::shared_ptr<const CSegmentModel> GetSegmentModel(IDirectMusicSegment* segment)
{
    auto* ours = dynamic_cast<CDirectMusicSegment*>(segment);
    return ours ? ours->Snapshot() : nullptr;
}

void FillObjectDescriptor(DMUS_OBJECTDESC* desc, REFCLSID clsid, const std::u16string& name,
                          const std::u16string& fileName)
{
    const DWORD size = desc->dwSize;
    if (size < offsetof(DMUS_OBJECTDESC, llMemLength)) return;
    desc->dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_LOADED;
    desc->guidClass = clsid;
    CopyToField(desc->wszName, DMUS_MAX_NAME, name);
    if (!name.empty()) desc->dwValidData |= DMUS_OBJ_NAME;
    CopyToField(desc->wszFileName, DMUS_MAX_FILENAME, fileName);
    if (!fileName.empty()) desc->dwValidData |= DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH;
}

}  // namespace dmusic
