// Archive members as read-only in-memory files, through libarchive.
#include "host/objects/archive_file_system.h"
#include "host/objects/paths.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

namespace {

struct CArchiveCloser {
    void operator()(archive* reader) const { archive_read_free(reader); }
};

// A device or FIFO never ends (or blocks): only a regular file is an archive.
bool IsRegularFile(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string CanonicalForm(const std::string& archivePath, const std::string& member) {
    return "archive://" + archivePath + "|" + member;
}

}  // namespace

bool ExtractArchiveMember(const std::string& archivePath, const std::string& member, std::vector<uint8_t>* data,
                          int64_t* modificationTime) {
    if (!IsRegularFile(archivePath)) return false;
    std::unique_ptr<archive, CArchiveCloser> reader(archive_read_new());
    if (!reader) return false;
    archive_read_support_filter_all(reader.get());
    archive_read_support_format_all(reader.get());
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 65536) != ARCHIVE_OK) return false;

    archive_entry* entry;
    for (;;) {
        int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) return false;
        if (status < ARCHIVE_WARN) return false;
        const char* name = archive_entry_pathname_utf8(entry);
        if (!name) name = archive_entry_pathname(entry);
        if (name && NormaliseMemberName(name) == member && archive_entry_filetype(entry) == AE_IFREG) break;
    }
    if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > maxArchiveMemberSize) return false;
    if (modificationTime)
        *modificationTime = archive_entry_mtime_is_set(entry)
                                ? (static_cast<int64_t>(archive_entry_mtime(entry)) + 11644473600LL) * 10000000LL
                                : 0;
    if (!data) return true;

    std::vector<uint8_t> contents;
    try {
        if (archive_entry_size_is_set(entry)) contents.reserve(static_cast<size_t>(archive_entry_size(entry)));
        uint8_t block[65536];
        for (;;) {
            la_ssize_t got = archive_read_data(reader.get(), block, sizeof block);
            if (got == 0) break;
            // A damaged or encrypted member fails rather than giving part of itself.
            if (got < 0) return false;
            if (static_cast<int64_t>(contents.size()) + got > maxArchiveMemberSize) return false;
            contents.insert(contents.end(), block, block + got);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    *data = std::move(contents);
    return true;
}

bool ListArchiveMembers(const std::string& archivePath, std::vector<std::string>* members,
                        std::vector<std::string>* heads) {
    if (!IsRegularFile(archivePath)) return false;
    std::unique_ptr<archive, CArchiveCloser> reader(archive_read_new());
    if (!reader) return false;
    archive_read_support_filter_all(reader.get());
    archive_read_support_format_all(reader.get());
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 65536) != ARCHIVE_OK) return false;
    members->clear();
    if (heads) heads->clear();
    archive_entry* entry;
    for (;;) {
        int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) return true;
        // A damaged archive still offers the members before the damage.
        if (status < ARCHIVE_WARN) return !members->empty();
        const char* name = archive_entry_pathname_utf8(entry);
        if (!name) name = archive_entry_pathname(entry);
        if (!name || archive_entry_filetype(entry) != AE_IFREG) continue;
        members->push_back(NormaliseMemberName(name));
        if (!heads) continue;
        // The member's first bytes, read in the same pass as its name.
        char head[16];
        const la_ssize_t got = archive_read_data(reader.get(), head, sizeof head);
        heads->emplace_back(head, got > 0 ? static_cast<size_t>(got) : 0);
    }
}

int32_t CArchiveFile::Open(const char* newPath, int32_t mode) {
    open = false;
    data.clear();
    position = 0;
    std::string archivePath, member;
    if (!newPath || mode != HOST_OPEN_READ || !SplitArchivePath(newPath, archivePath, member)) return 0;
    if (!ExtractArchiveMember(archivePath, member, &data, &modificationTime)) return 0;
    path = CanonicalForm(archivePath, member);
    open = true;
    return 1;
}

uint32_t CArchiveFile::Read(void* buffer, uint32_t count) {
    if (!open || !buffer || position >= static_cast<int64_t>(data.size())) return 0;
    uint64_t left = data.size() - static_cast<uint64_t>(position);
    uint32_t moved = static_cast<uint32_t>(left < count ? left : count);
    std::copy(data.begin() + position, data.begin() + position + moved, static_cast<uint8_t*>(buffer));
    position += moved;
    return moved;
}

int32_t CArchiveFile::SeekFrom(int64_t offset, int32_t origin) {
    if (!open) return 0;
    int64_t base;
    switch (origin) {
        case HOST_SEEK_BEGIN: base = 0; break;
        case HOST_SEEK_CURRENT: base = position; break;
        case HOST_SEEK_END: base = static_cast<int64_t>(data.size()); break;
        default: return 0;
    }
    // Past the end is allowed (reads there give nothing), before the start is not.
    if ((offset < 0 && base + offset < 0) || (offset > 0 && offset > INT64_MAX - base)) return 0;
    position = base + offset;
    return 1;
}

void CArchiveFile::Close() {
    open = false;
    std::vector<uint8_t>().swap(data);
    Release();
}

int32_t CArchiveFileSystem::GetCanonicalPath(const char* path, CHostString* out) {
    std::string archivePath, member;
    if (!path || !out || !SplitArchivePath(path, archivePath, member)) return 0;
    out->SetText(CanonicalForm(archivePath, member).c_str(), -1);
    return 1;
}

int32_t CArchiveFileSystem::ClaimsPath(const char* path) {
    std::string archivePath, member;
    return path && SplitArchivePath(path, archivePath, member);
}

CHostFile* CArchiveFileSystem::CreateFileObject(const char* path) {
    if (!ClaimsPath(path)) return nullptr;
    return new (std::nothrow) CArchiveFile();
}

int32_t CArchiveFileSystem::FileExists(const char* path) {
    std::string archivePath, member;
    if (!path || !SplitArchivePath(path, archivePath, member)) return 0;
    return ExtractArchiveMember(archivePath, member, nullptr, nullptr);
}
