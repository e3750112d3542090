#include "platform/dmusic/loader_formats.h"
namespace dmusic {
HRESULT ReadSegmentFile(const BYTE*, size_t, CSegmentModel&) { return DMUS_E_UNSUPPORTED_STREAM; }
}
