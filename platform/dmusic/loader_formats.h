// The file readers behind the loader. Each takes a whole file image and fills
// a segment model (or a collection); formats are told apart by content alone.
// Results: S_OK when something playable was read (a damaged file keeps what
// parsed), DMUS_E_UNSUPPORTED_STREAM when the bytes are not the format at all,
// DMUS_E_INVALIDFILE when they are but nothing usable could be read.
#pragma once

#include <windows.h>
#include <dmerror.h>

#include <cstddef>
#include <utility>

#include "platform/dmusic/segment_model.h"

namespace dmusic {

enum class EFileKind { Unknown, StandardMidi, Rmid, Segment, Dls };

// What the first bytes say the file is.
EFileKind DetectFileKind(const BYTE* data, size_t size);

HRESULT ReadStandardMidi(const BYTE* data, size_t size, CSegmentModel& model);
HRESULT ReadRmid(const BYTE* data, size_t size, CSegmentModel& model);
HRESULT ReadSegmentFile(const BYTE* data, size_t size, CSegmentModel& model);
HRESULT ReadDlsCollection(const BYTE* data, size_t size, CCollectionData& collection);

// Any of the music formats above, chosen by content.
HRESULT ReadMusicFile(const BYTE* data, size_t size, CSegmentModel& model);

// Runs a reader's parser (made over a fresh model, with Parse(data, size))
// and hands the model over only when it succeeds, so a failed read leaves
// the caller's model as it was.
template <typename TParser> HRESULT ParseIntoModel(const BYTE* data, size_t size, CSegmentModel& model)
{
    CSegmentModel parsed;
    TParser parser(parsed);
    const HRESULT hr = parser.Parse(data, size);
    if (SUCCEEDED(hr)) model = std::move(parsed);
    return hr;
}

}  // namespace dmusic
