// Members of archives (zip, 7z, tar and the other archive formats libarchive
// reads) as read-only files: archive://ARCHIVE|MEMBER. Opening a member
// streams it into an anonymous temporary file (removed from its folder as
// soon as it is made, so nothing stays even when the host is killed); such
// files have no native path.
#pragma once

#include "host/objects/ref_counted.h"

#include <cstdint>
#include <string>
#include <vector>

// Members larger than this are refused: the largest MIDI, RMID, XMI or
// segment files in circulation run to tens of megabytes, so a larger
// member is a mistake or a bomb, not a song.
inline constexpr int64_t maxArchiveMemberSize = int64_t{128} << 20;

class CArchiveFile final : public CRefCounted<CHostFile> {
public:
    CHostService* QueryClass(const GUID*) override { return nullptr; }
    const char* GetPath() override { return path.c_str(); }
    // Mode 1 only: archives are read-only here.
    int32_t Open(const char* path, int32_t mode) override;
    uint32_t Read(void* buffer, uint32_t count) override;
    uint32_t Write(const void*, uint32_t) override { return 0; }
    int64_t GetSize() override { return open ? size : -1; }
    int64_t GetPosition() override { return open ? position : -1; }
    int32_t Truncate() override { return 0; }
    int32_t Seek(int64_t offset) override { return SeekFrom(offset, HOST_SEEK_BEGIN); }
    int32_t SeekFrom(int64_t offset, int32_t origin) override;
    int32_t CanSeek() override { return open; }
    int32_t IsEndOfFile() override { return open && position >= size; }
    int32_t Flush() override { return open; }
    int64_t GetModificationTime() override { return modificationTime; }
    const char* GetContentType() override { return nullptr; }
    int32_t IsStream() override { return 0; }
    void Close() override;

private:
    void CloseCopy();

    bool open = false;
    std::string path;
    int copy = -1;  // the anonymous temporary file holding the member
    int64_t size = 0;
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

// Copies one member of an archive into the file descriptor (in pieces, so
// memory stays bounded; -1: only looks the member up); false when the
// archive cannot be read, the member is absent, not a regular file,
// encrypted, larger than maxArchiveMemberSize, the copy cannot be written
// or the host was interrupted. Members opened in the archive's order cost
// one pass over it together. error gets the reason.
bool ExtractArchiveMember(const std::string& archive, const std::string& member, int descriptor,
                          int64_t* modificationTime, std::string* error = nullptr);

// Why the last CArchiveFile::Open on this thread failed, for the message.
std::string GetLastArchiveError();

struct CArchiveMember {
    std::string name;   // in the form SplitArchivePath gives
    std::string head;   // the first 16 bytes (fewer for a shorter member; none when encrypted)
    int64_t size = -1;  // as the archive states it; -1 when it does not
    bool encrypted = false;
};

struct CArchiveListing {
    bool isArchive = false;               // a format libarchive reads as an archive
    std::vector<CArchiveMember> members;  // its regular files, in the archive's order
    std::string error;                    // why (the rest of) it cannot be read; empty when it can
};

// One pass over an archive: its regular files with their first bytes.
CArchiveListing ReadArchiveListing(const std::string& archive);

// The names of the regular files in an archive, in the archive's order, and
// with heads each one's first 16 bytes (fewer for a shorter member); false
// when it cannot be read as an archive.
bool ListArchiveMembers(const std::string& archive, std::vector<std::string>* members,
                        std::vector<std::string>* heads = nullptr);
