// Construction of the platform's segment, collection and instrument objects, for the
// loader (which fills them from files) and the class table.
#pragma once

#include <windows.h>
#include <dmusici.h>

#include <memory>
#include <string>

#include "platform/dmusic/segment_model.h"

namespace dmusic {

// A new segment over the model (one reference for the caller). fileName is
// what the segment's descriptor reports, may be empty.
IDirectMusicSegment* CreateSegmentObject(CSegmentModel model, const std::u16string& fileName);

// A new collection over the data (one reference for the caller).
IDirectMusicCollection* CreateCollectionObject(std::shared_ptr<const CCollectionData> data,
                                               const std::u16string& fileName);

// A new instrument of the collection's data for one of its patches (one
// reference for the caller), null when memory runs out.
IDirectMusicInstrument* CreateInstrumentObject(std::shared_ptr<const CCollectionData> data, DWORD patch);

// Fills a descriptor for an object of the class: class, name and file name
// where known, and DMUS_OBJ_LOADED. Only the members dwSize covers are written.
void FillObjectDescriptor(DMUS_OBJECTDESC* desc, REFCLSID clsid, const std::u16string& name,
                          const std::u16string& fileName);

}  // namespace dmusic
