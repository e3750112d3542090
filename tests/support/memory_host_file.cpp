// In-memory host objects for tests.
#include "tests/support/memory_host_file.h"

#include <algorithm>
#include <cstring>

namespace testsupport {

CMemoryHostFile::CMemoryHostFile(std::vector<uint8_t> bytes, std::string path)
    : data(std::move(bytes)), path(std::move(path))
{}

int32_t CMemoryHostFile::Release()
{
    ++releaseCalls;
    return 1;
}

int32_t CMemoryHostFile::AddRef()
{
    ++addRefCalls;
    return 2;
}

CHostService* CMemoryHostFile::QueryClass(const GUID*) { return nullptr; }

const char* CMemoryHostFile::GetPath() { return path.c_str(); }

int32_t CMemoryHostFile::Open(const char* newPath, int32_t mode)
{
    ++openCalls;
    if (newPath) path = newPath;
    if (mode == HOST_OPEN_WRITE) data.clear();
    position = 0;
    return 1;
}

uint32_t CMemoryHostFile::Read(void* buffer, uint32_t count)
{
    ++readCalls;
    largestReadRequest = std::max(largestReadRequest, count);
    int64_t end = HeldSize();
    if (failReadsAt >= 0) end = std::min(end, failReadsAt);
    if (position >= HeldSize()) ++readsAtEnd;
    if (position >= end || count == 0) return 0;
    const uint32_t moved = static_cast<uint32_t>(std::min<int64_t>(count, end - position));
    std::memcpy(buffer, data.data() + position, moved);
    position += moved;
    bytesRead += moved;
    return moved;
}

uint32_t CMemoryHostFile::Write(const void* buffer, uint32_t count)
{
    ++writeCalls;
    if (count == 0) return 0;
    const uint64_t end = static_cast<uint64_t>(position) + count;
    if (end > data.size()) data.resize(end);
    std::memcpy(data.data() + position, buffer, count);
    position = static_cast<int64_t>(end);
    return count;
}

int64_t CMemoryHostFile::GetSize() { return ReportedSize(); }

int64_t CMemoryHostFile::GetPosition() { return hasPositionOverride ? positionOverride : position; }

int32_t CMemoryHostFile::Truncate()
{
    ++truncateCalls;
    if (position < HeldSize()) data.resize(static_cast<size_t>(position));
    return 1;
}

int32_t CMemoryHostFile::Seek(int64_t offset)
{
    ++seekCalls;
    // A seek is allowed anywhere within the size the file reports.
    if (failSeeks || offset < 0 || offset > std::max(ReportedSize(), HeldSize())) return 0;
    position = offset;
    return 1;
}

int32_t CMemoryHostFile::SeekFrom(int64_t offset, int32_t origin)
{
    int64_t base = 0;
    switch (origin) {
    case HOST_SEEK_BEGIN: base = 0; break;
    case HOST_SEEK_CURRENT: base = position; break;
    case HOST_SEEK_END: base = ReportedSize(); break;
    default: ++seekCalls; return 0;
    }
    if ((offset > 0 && base > INT64_MAX - offset)) return 0;
    return Seek(base + offset);
}

int32_t CMemoryHostFile::CanSeek() { return canSeek ? 1 : 0; }
int32_t CMemoryHostFile::IsEndOfFile() { return position >= HeldSize() ? 1 : 0; }
int32_t CMemoryHostFile::Flush() { return 1; }
int64_t CMemoryHostFile::GetModificationTime() { return 0; }
const char* CMemoryHostFile::GetContentType() { return nullptr; }
int32_t CMemoryHostFile::IsStream() { return isStream ? 1 : 0; }
void CMemoryHostFile::Close() { ++closeCalls; }

}  // namespace testsupport
