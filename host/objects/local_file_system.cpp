// The local file system and its files, over POSIX descriptors.
#include "host/objects/local_file_system.h"
#include "host/objects/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

bool IsSameLocalFile(const std::string& first, const std::string& second)
{
    std::string a, b;
    struct stat one, other;
    return ToLocalPath(first, a) && ToLocalPath(second, b) && stat(a.c_str(), &one) == 0 &&
           stat(b.c_str(), &other) == 0 && one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

CLocalFile::~CLocalFile() { CloseDescriptor(); }

void CLocalFile::CloseDescriptor()
{
    if (descriptor >= 0) close(descriptor);
    descriptor = -1;
}

int32_t CLocalFile::Open(const char* newPath, int32_t mode)
{
    CloseDescriptor();
    std::string local;
    if (!ResolveLocalPath(newPath, local)) return 0;
    int flags;
    switch (mode) {
    // A FIFO without a writer must not hold the open: only regular files are read.
    case HOST_OPEN_READ: flags = O_RDONLY | O_NONBLOCK; break;
    case HOST_OPEN_WRITE: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case HOST_OPEN_READWRITE: flags = O_RDWR | O_CREAT; break;
    default: return 0;
    }
    int opened;
    do {
        opened = open(local.c_str(), flags | O_CLOEXEC, 0666);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) return 0;
    struct stat status;
    // A device, FIFO or socket never ends, so only a regular file is read.
    if (fstat(opened, &status) != 0 || S_ISDIR(status.st_mode) ||
        (mode == HOST_OPEN_READ && !S_ISREG(status.st_mode))) {
        close(opened);
        return 0;
    }
    if (mode == HOST_OPEN_READ) fcntl(opened, F_SETFL, fcntl(opened, F_GETFL) & ~O_NONBLOCK);
    // Reads stop at the size the file had when opened, however it grows.
    readLimit = mode == HOST_OPEN_READ ? status.st_size : -1;
    descriptor = opened;
    path = local;
    return 1;
}

uint32_t CLocalFile::Read(void* buffer, uint32_t count)
{
    if (descriptor < 0 || !buffer) return 0;
    if (readLimit >= 0) {
        const int64_t position = GetPosition();
        if (position < 0 || position >= readLimit) return 0;
        if (readLimit - position < int64_t{count}) count = static_cast<uint32_t>(readLimit - position);
    }
    uint32_t done = 0;
    while (done < count) {
        ssize_t got = read(descriptor, static_cast<char*>(buffer) + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

uint32_t CLocalFile::Write(const void* buffer, uint32_t count)
{
    if (descriptor < 0 || !buffer) return 0;
    uint32_t done = 0;
    while (done < count) {
        ssize_t put = write(descriptor, static_cast<const char*>(buffer) + done, count - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<uint32_t>(put);
    }
    return done;
}

int64_t CLocalFile::GetSize()
{
    struct stat status;
    if (descriptor < 0 || fstat(descriptor, &status) != 0) return -1;
    return readLimit >= 0 ? readLimit : status.st_size;
}

int64_t CLocalFile::GetPosition()
{
    if (descriptor < 0) return -1;
    return lseek(descriptor, 0, SEEK_CUR);
}

int32_t CLocalFile::Truncate()
{
    int64_t position = GetPosition();
    return position >= 0 && ftruncate(descriptor, position) == 0;
}

int32_t CLocalFile::SeekFrom(int64_t offset, int32_t origin)
{
    if (descriptor < 0) return 0;
    int whence;
    switch (origin) {
    case HOST_SEEK_BEGIN: whence = SEEK_SET; break;
    case HOST_SEEK_CURRENT: whence = SEEK_CUR; break;
    case HOST_SEEK_END: whence = SEEK_END; break;
    default: return 0;
    }
    return lseek(descriptor, offset, whence) >= 0;
}

int64_t CLocalFile::GetModificationTime()
{
    struct stat status;
    if (descriptor < 0 || fstat(descriptor, &status) != 0) return 0;
    // 100-nanosecond units since 1601, as Windows file times.
    return (static_cast<int64_t>(status.st_mtim.tv_sec) + 11644473600LL) * 10000000LL + status.st_mtim.tv_nsec / 100;
}

int32_t CLocalFileSystem::FileExists(const char* path)
{
    std::string local;
    struct stat status;
    return ResolveLocalPath(path, local) && stat(local.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

int32_t CLocalFileSystem::RemoveFile(const char* path)
{
    std::string local;
    return ResolveLocalPath(path, local) && unlink(local.c_str()) == 0;
}
