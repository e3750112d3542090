// The local file system: plain paths and file:// URLs. The canonical and the
// native form of a path are both its absolute, normalised local path.
#pragma once

#include "host/objects/ref_counted.h"

#include <string>

// True when both local paths (any form ToLocalPath takes) name one file,
// through links too; false when either does not exist.
bool IsSameLocalFile(const std::string& first, const std::string& second);

// The local path a path of the local file system stands for; false for
// null or a path of another scheme.
bool ResolveLocalPath(const char* path, std::string& local);

class CLocalFile final : public CRefCounted<CHostFile> {
public:
    CHostService* QueryClass(const GUID*) override { return nullptr; }
    const char* GetPath() override { return path.c_str(); }
    // Modes: 1 read an existing file; 2 create or truncate, write only;
    // 3 read and write, created when absent, contents kept when present.
    int32_t Open(const char* path, int32_t mode) override;
    uint32_t Read(void* buffer, uint32_t count) override;
    uint32_t Write(const void* buffer, uint32_t count) override;
    int64_t GetSize() override;
    int64_t GetPosition() override;
    int32_t Truncate() override;
    int32_t Seek(int64_t offset) override;
    int32_t SeekFrom(int64_t offset, int32_t origin) override;
    int32_t CanSeek() override { return descriptor >= 0; }
    int32_t IsEndOfFile() override;
    int32_t Flush() override;
    int64_t GetModificationTime() override;
    const char* GetContentType() override { return nullptr; }
    int32_t IsStream() override { return 0; }
    void Close() override;

protected:
    ~CLocalFile() override;

private:
    void CloseDescriptor();

    int descriptor = -1;
    int64_t readLimit = -1;  // read mode: the size at open
    std::string path;
};

class CLocalFileSystem final : public CRefCounted<CHostFileSystem> {
public:
    CHostService* QueryClass(const GUID* cls) override { return AnswerClass(cls, CLSID_HostFileSystem); }
    int32_t GetCanonicalPath(const char* path, CHostString* out) override;
    int32_t ClaimsPath(const char* path) override;
    int32_t GetNativePath(const char* path, CHostString* out) override;
    CHostFile* CreateFileObject(const char* path) override;
    int32_t FileExists(const char* path) override;
    int32_t RemoveFile(const char* path) override;
};
