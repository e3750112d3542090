// Members of archives (zip, 7z, tar and what else libarchive reads) as
// read-only files: archive://ARCHIVE|MEMBER. A member is extracted into
// memory when it is opened; such files have no native path.
#pragma once

#include "host/objects/ref_counted.h"

#include <cstdint>
#include <string>
#include <vector>

// Members larger than this are refused rather than held in memory.
inline constexpr int64_t maxArchiveMemberSize = int64_t{1} << 30;

class CArchiveFile final : public CRefCounted<CHostFile> {
public:
    CHostService* QueryClass(const GUID*) override { return nullptr; }
    const char* GetPath() override { return path.c_str(); }
    // Mode 1 only: archives are read-only here.
    int32_t Open(const char* path, int32_t mode) override;
    uint32_t Read(void* buffer, uint32_t count) override;
    uint32_t Write(const void*, uint32_t) override { return 0; }
    int64_t GetSize() override { return open ? static_cast<int64_t>(data.size()) : -1; }
    int64_t GetPosition() override { return open ? position : -1; }
    int32_t Truncate() override { return 0; }
    int32_t Seek(int64_t offset) override { return SeekFrom(offset, HOST_SEEK_BEGIN); }
    int32_t SeekFrom(int64_t offset, int32_t origin) override;
    int32_t CanSeek() override { return open; }
    int32_t IsEndOfFile() override { return open && position >= static_cast<int64_t>(data.size()); }
    int32_t Flush() override { return open; }
    int64_t GetModificationTime() override { return modificationTime; }
    const char* GetContentType() override { return nullptr; }
    int32_t IsStream() override { return 0; }
    void Close() override;

private:
    bool open = false;
    std::string path;
    std::vector<uint8_t> data;
    int64_t position = 0;
    int64_t modificationTime = 0;
};

class CArchiveFileSystem final : public CRefCounted<CHostFileSystem> {
public:
    CHostService* QueryClass(const GUID* cls) override { return AnswerClass(cls, CLSID_HostFileSystem); }
    int32_t GetCanonicalPath(const char* path, CHostString* out) override;
    int32_t ClaimsPath(const char* path) override;
    int32_t GetNativePath(const char*, CHostString*) override { return 0; }
    CHostFile* CreateFileObject(const char* path) override;
    int32_t FileExists(const char* path) override;
    int32_t RemoveFile(const char*) override { return 0; }
};

// Reads one member of an archive into data; false when the archive cannot
// be read, the member is absent, not a regular file, or too large.
bool ExtractArchiveMember(const std::string& archive, const std::string& member, std::vector<uint8_t>* data,
                          int64_t* modificationTime);

// The names of the regular files in an archive, in the archive's order, and
// with heads each one's first 16 bytes (fewer for a shorter member); false
// when it cannot be read as an archive.
bool ListArchiveMembers(const std::string& archive, std::vector<std::string>* members,
                        std::vector<std::string>* heads = nullptr);
