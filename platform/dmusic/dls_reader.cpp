// DLS level 1 and 2 collections: the instrument list (patch numbers and
// names) read from the file, and the raw bytes kept for the synthesizer.
#include <dls1.h>

#include "platform/dmusic/loader_formats.h"
#include "platform/dmusic/loader_log.h"
#include "platform/dmusic/riff_reader.h"

namespace dmusic {

namespace {

std::u16string InfoName(CByteReader info)
{
    CRiffChunk chunk;
    while (NextRiffChunk(info, chunk))
        if (chunk.id == FourCc('I', 'N', 'A', 'M')) return ReadNarrowText(chunk.body.Data(), chunk.body.Size());
    return {};
}

bool ReadInstrument(CByteReader body, CDlsInstrumentInfo& info)
{
    bool haveHeader = false;
    CRiffChunk chunk;
    while (NextRiffChunk(body, chunk)) {
        if (chunk.id == FourCc('i', 'n', 's', 'h')) {
            uint32_t regions = 0, bank = 0, program = 0;
            if (!chunk.body.Le32(regions) || !chunk.body.Le32(bank) || !chunk.body.Le32(program)) return false;
            info.patch =
                (((bank >> 8) & 0x7F) << 16) | ((bank & 0x7F) << 8) | (program & 0x7F) | (bank & F_INSTRUMENT_DRUMS);
            haveHeader = true;
        } else if (chunk.IsList(FourCc('I', 'N', 'F', 'O'))) {
            info.name = InfoName(chunk.body);
        }
    }
    return haveHeader;
}

}  // namespace

HRESULT ReadDlsCollection(const BYTE* data, size_t size, CCollectionData& collection)
{
    CByteReader file(data, size);
    CRiffChunk riff;
    if (!NextRiffChunk(file, riff) || !riff.IsList(FourCc('D', 'L', 'S', ' '))) return DMUS_E_UNSUPPORTED_STREAM;
    CCollectionData result;
    bool haveInstrumentList = false;
    CByteReader body = riff.body;
    CRiffChunk chunk;
    while (NextRiffChunk(body, chunk)) {
        if (chunk.IsList(FourCc('l', 'i', 'n', 's'))) {
            haveInstrumentList = true;
            CByteReader list = chunk.body;
            CRiffChunk instrument;
            while (NextRiffChunk(list, instrument)) {
                if (!instrument.IsList(FourCc('i', 'n', 's', ' '))) continue;
                CDlsInstrumentInfo info;
                if (ReadInstrument(instrument.body, info))
                    result.instruments.push_back(std::move(info));
                else
                    LoaderTrace("DLS: skipping an instrument without a header");
            }
        } else if (chunk.IsList(FourCc('I', 'N', 'F', 'O'))) {
            result.name = InfoName(chunk.body);
        }
    }
    if (!haveInstrumentList) return DMUS_E_INVALIDFILE;
    // The synthesizer loads the collection as a file of its own: give it
    // exactly the RIFF form, with its size as read.
    const size_t formSize = 8 + 4 + riff.body.Size();
    result.bytes.assign(data, data + formSize);
    const uint32_t riffSize = uint32_t(formSize - 8);
    for (int i = 0; i < 4; ++i) result.bytes[4 + i] = BYTE(riffSize >> (8 * i));
    collection = std::move(result);
    return S_OK;
}

}  // namespace dmusic
