// Fuzz target: the metadata extraction over arbitrary file bytes held in an
// in-memory host file. Besides memory faults it checks that the file is only
// read and sought and is left where it stood.
#include "tessarine/decoder/metadata.h"
#include "tessarine/frame/config.h"

#include "tests/support/memory_host_file.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // No host console is installed; switching the log off also skips formatting.
    configLog.value = 0;
    testsupport::CMemoryHostFile file(std::vector<uint8_t>(data, data + size));
    testsupport::CRecordingFileInfo info;
    if (!ExtractMetadata(&info, &file)) std::abort();
    if (file.writeCalls || file.closeCalls || file.releaseCalls || file.truncateCalls || file.GetPosition() != 0)
        std::abort();
    // No read asks for more than the file holds (or one pattern's length).
    if (file.largestReadRequest > size && file.largestReadRequest > 4) std::abort();
    return 0;
}
