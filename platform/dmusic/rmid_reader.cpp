// RMID files: a RIFF "RMID" form whose "data" chunk is a Standard MIDI file,
// with an optional DLS collection (a "DLS " RIFF or LIST inside the form)
// that becomes the segment's own instruments.
#include "platform/dmusic/loader_formats.h"
#include "platform/dmusic/loader_log.h"
#include "platform/dmusic/riff_reader.h"

namespace dmusic {

HRESULT ReadRmid(const BYTE* data, size_t size, CSegmentModel& model)
{
    CByteReader file(data, size);
    CRiffChunk riff;
    if (!NextRiffChunk(file, riff) || !riff.IsList(FourCc('R', 'M', 'I', 'D'))) return DMUS_E_UNSUPPORTED_STREAM;
    CSegmentModel parsed;
    HRESULT result = DMUS_E_INVALIDFILE;
    std::shared_ptr<CCollectionData> collection;
    std::u16string infoName;
    CByteReader body = riff.body;
    CRiffChunk chunk;
    while (NextRiffChunk(body, chunk)) {
        if (chunk.id == FourCc('d', 'a', 't', 'a') && FAILED(result)) {
            result = ReadStandardMidi(chunk.body.Data(), chunk.body.Size(), parsed);
            if (FAILED(result)) LoaderTrace("RMID: the data chunk is not a readable MIDI file");
        } else if (chunk.listType == FourCc('D', 'L', 'S', ' ') && !collection) {
            // Whether RIFF or LIST, hand the reader a RIFF form of the same body.
            std::vector<BYTE> form(12 + chunk.body.Size());
            const uint32_t formSize = uint32_t(4 + chunk.body.Size());
            std::memcpy(form.data(), "RIFF", 4);
            for (int i = 0; i < 4; ++i) form[4 + i] = BYTE(formSize >> (8 * i));
            std::memcpy(form.data() + 8, "DLS ", 4);
            std::memcpy(form.data() + 12, chunk.body.Data(), chunk.body.Size());
            auto parsedCollection = std::make_shared<CCollectionData>();
            if (SUCCEEDED(ReadDlsCollection(form.data(), form.size(), *parsedCollection)))
                collection = parsedCollection;
            else
                LoaderTrace("RMID: ignoring an unreadable DLS collection");
        } else if (chunk.IsList(FourCc('I', 'N', 'F', 'O'))) {
            CByteReader info = chunk.body;
            CRiffChunk item;
            while (NextRiffChunk(info, item))
                if (item.id == FourCc('I', 'N', 'A', 'M'))
                    infoName = ReadNarrowText(item.body.Data(), item.body.Size());
        }
    }
    if (FAILED(result)) return DMUS_E_INVALIDFILE;
    parsed.format = ESourceFormat::Rmid;
    parsed.embeddedCollection = collection;
    if (!infoName.empty()) parsed.name = infoName;
    model = std::move(parsed);
    return S_OK;
}

EFileKind DetectFileKind(const BYTE* data, size_t size)
{
    auto is = [&](size_t offset, const char* text) {
        return size >= offset + 4 && std::memcmp(data + offset, text, 4) == 0;
    };
    if (is(0, "MThd")) return EFileKind::StandardMidi;
    if (is(0, "RIFF")) {
        if (is(8, "RMID")) return EFileKind::Rmid;
        if (is(8, "DMSG")) return EFileKind::Segment;
        if (is(8, "DLS ")) return EFileKind::Dls;
        return EFileKind::Unknown;
    }
    return EFileKind::Unknown;
}

HRESULT ReadMusicFile(const BYTE* data, size_t size, CSegmentModel& model)
{
    switch (DetectFileKind(data, size)) {
    case EFileKind::StandardMidi: return ReadStandardMidi(data, size, model);
    case EFileKind::Rmid: return ReadRmid(data, size, model);
    case EFileKind::Segment: return ReadSegmentFile(data, size, model);
    default: return DMUS_E_UNSUPPORTED_STREAM;
    }
}

}  // namespace dmusic
