// The local file system and its files on Windows: paths in UTF-8, opened
// with the wide-character file calls; each file's handle is held as a C
// runtime descriptor.
#include "host/objects/local_file_system.h"
#include "host/objects/paths.h"
#include "host/utf8/win/wide.h"

#include <fcntl.h>
#include <io.h>

#include <new>

namespace {

HANDLE HandleOf(int descriptor)
{
    return descriptor < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

// The volume and file index of a file, the identity Windows keeps through
// links; false when it cannot be opened.
bool FileIdentity(const std::string& local, BY_HANDLE_FILE_INFORMATION& information)
{
    HANDLE file = CreateFileW(Widen(local).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    return known;
}

}  // namespace

bool IsSameLocalFile(const std::string& first, const std::string& second)
{
    std::string a, b;
    BY_HANDLE_FILE_INFORMATION one, other;
    return ToLocalPath(first, a) && ToLocalPath(second, b) && FileIdentity(a, one) && FileIdentity(b, other) &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber && one.nFileIndexHigh == other.nFileIndexHigh &&
           one.nFileIndexLow == other.nFileIndexLow;
}

CLocalFile::~CLocalFile() { CloseDescriptor(); }

void CLocalFile::CloseDescriptor()
{
    if (descriptor >= 0) _close(descriptor);  // closes the handle too
    descriptor = -1;
}

int32_t CLocalFile::Open(const char* newPath, int32_t mode)
{
    CloseDescriptor();
    std::string local;
    if (!ResolveLocalPath(newPath, local)) return 0;
    DWORD access, disposition;
    int flags;
    switch (mode) {
    case HOST_OPEN_READ: access = GENERIC_READ, disposition = OPEN_EXISTING, flags = _O_RDONLY; break;
    case HOST_OPEN_WRITE: access = GENERIC_WRITE, disposition = CREATE_ALWAYS, flags = _O_WRONLY; break;
    case HOST_OPEN_READWRITE: access = GENERIC_READ | GENERIC_WRITE, disposition = OPEN_ALWAYS, flags = _O_RDWR; break;
    default: return 0;
    }
    // Others may read, write and delete meanwhile, as with a POSIX descriptor.
    HANDLE file = CreateFileW(Widen(local).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;  // a folder cannot be opened this way either
    int opened = _open_osfhandle(reinterpret_cast<intptr_t>(file), flags | _O_BINARY);
    if (opened < 0) {
        CloseHandle(file);
        return 0;
    }
    descriptor = opened;
    path = local;
    return 1;
}

uint32_t CLocalFile::Read(void* buffer, uint32_t count)
{
    if (descriptor < 0 || !buffer) return 0;
    uint32_t done = 0;
    while (done < count) {
        DWORD got = 0;
        if (!ReadFile(HandleOf(descriptor), static_cast<char*>(buffer) + done, count - done, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    return done;
}

uint32_t CLocalFile::Write(const void* buffer, uint32_t count)
{
    if (descriptor < 0 || !buffer) return 0;
    uint32_t done = 0;
    while (done < count) {
        DWORD put = 0;
        if (!WriteFile(HandleOf(descriptor), static_cast<const char*>(buffer) + done, count - done, &put, nullptr) ||
            put == 0)
            break;
        done += put;
    }
    return done;
}

int64_t CLocalFile::GetSize()
{
    LARGE_INTEGER size;
    if (descriptor < 0 || !GetFileSizeEx(HandleOf(descriptor), &size)) return -1;
    return size.QuadPart;
}

int64_t CLocalFile::GetPosition()
{
    LARGE_INTEGER zero{}, position;
    if (descriptor < 0 || !SetFilePointerEx(HandleOf(descriptor), zero, &position, FILE_CURRENT)) return -1;
    return position.QuadPart;
}

int32_t CLocalFile::Truncate() { return GetPosition() >= 0 && SetEndOfFile(HandleOf(descriptor)); }

int32_t CLocalFile::SeekFrom(int64_t offset, int32_t origin)
{
    if (descriptor < 0) return 0;
    DWORD method;
    switch (origin) {
    case HOST_SEEK_BEGIN: method = FILE_BEGIN; break;
    case HOST_SEEK_CURRENT: method = FILE_CURRENT; break;
    case HOST_SEEK_END: method = FILE_END; break;
    default: return 0;
    }
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    return SetFilePointerEx(HandleOf(descriptor), distance, nullptr, method) != 0;
}

int64_t CLocalFile::GetModificationTime()
{
    FILETIME written;
    if (descriptor < 0 || !GetFileTime(HandleOf(descriptor), nullptr, nullptr, &written)) return 0;
    // Already 100-nanosecond units since 1601.
    return static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime);
}

int32_t CLocalFileSystem::FileExists(const char* path)
{
    std::string local;
    if (!ResolveLocalPath(path, local)) return 0;
    DWORD attributes = GetFileAttributesW(Widen(local).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int32_t CLocalFileSystem::RemoveFile(const char* path)
{
    std::string local;
    return ResolveLocalPath(path, local) && DeleteFileW(Widen(local).c_str());
}
