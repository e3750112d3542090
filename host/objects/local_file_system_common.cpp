// The parts of the local file system that are the same on Linux and Windows:
// the path forms and the file object's life.
#include "host/objects/local_file_system.h"
#include "host/objects/paths.h"

#include <new>

bool ResolveLocalPath(const char* path, std::string& local) { return path && ToLocalPath(path, local); }

int32_t CLocalFile::Seek(int64_t offset) { return SeekFrom(offset, HOST_SEEK_BEGIN); }

int32_t CLocalFile::IsEndOfFile()
{
    int64_t position = GetPosition();
    return position >= 0 && position >= GetSize();
}

int32_t CLocalFile::Flush() { return descriptor >= 0; }

void CLocalFile::Close()
{
    CloseDescriptor();
    Release();
}

int32_t CLocalFileSystem::GetCanonicalPath(const char* path, CHostString* out)
{
    std::string local;
    if (!out || !ResolveLocalPath(path, local)) return 0;
    out->SetText(local.c_str(), -1);
    return 1;
}

int32_t CLocalFileSystem::ClaimsPath(const char* path)
{
    std::string local;
    return ResolveLocalPath(path, local);
}

int32_t CLocalFileSystem::GetNativePath(const char* path, CHostString* out) { return GetCanonicalPath(path, out); }

CHostFile* CLocalFileSystem::CreateFileObject(const char* path)
{
    std::string local;
    if (!ResolveLocalPath(path, local)) return nullptr;
    return new (std::nothrow) CLocalFile();
}
