// Archive members as read-only files, through libarchive, each held in an
// anonymous temporary file while it is open.
#include "host/objects/archive_file_system.h"
#include "host/objects/interrupt.h"
#include "host/objects/paths.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>

namespace {

struct CArchiveCloser {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using CArchiveReader = std::unique_ptr<archive, CArchiveCloser>;

thread_local std::string lastOpenError;

std::string CanonicalForm(const std::string& archivePath, const std::string& member)
{
    return "archive://" + archivePath + "|" + member;
}

const char* const encryptedText = "the archive is encrypted (a password is needed, which velmora cannot take)";

// libarchive's words for a failure, in the host's.
std::string ReaderError(archive* reader)
{
    const char* text = archive_error_string(reader);
    const std::string said = text ? text : "unknown error";
    if (said.find("ncrypt") != std::string::npos || said.find("assphrase") != std::string::npos) return encryptedText;
    return "the archive is damaged (" + said + ")";
}

// A reader over the archive formats proper: not mtree, which takes any text
// file for a listing, nor raw or empty data.
CArchiveReader OpenReader(const std::string& path, std::string& error)
{
    CArchiveReader reader(archive_read_new());
    if (!reader) {
        error = "out of memory";
        return reader;
    }
    archive* raw = reader.get();
    archive_read_support_filter_all(raw);
    for (int (*support)(archive*) :
         {archive_read_support_format_7zip, archive_read_support_format_ar, archive_read_support_format_cab,
          archive_read_support_format_cpio, archive_read_support_format_iso9660, archive_read_support_format_lha,
          archive_read_support_format_rar, archive_read_support_format_rar5, archive_read_support_format_tar,
          archive_read_support_format_xar, archive_read_support_format_zip})
        support(raw);
    if (archive_read_open_filename(raw, path.c_str(), 65536) != ARCHIVE_OK) {
        error = "not an archive";
        reader.reset();
    }
    return reader;
}

std::string EntryName(archive_entry* entry)
{
    const char* name = archive_entry_pathname_utf8(entry);
    if (!name) name = archive_entry_pathname(entry);
    return name ? NormaliseMemberName(name) : std::string();
}

bool WriteAll(int descriptor, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(descriptor, data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        size -= size_t(put);
    }
    return true;
}

// Where the last member lookup left off in the last archive, so members
// opened in the archive's order are found in one pass rather than each by
// a pass from the start.
struct CArchiveCursor {
    std::string path;
    struct stat identity {};
    CArchiveReader reader;
    std::set<std::string> passed;    // names of headers gone past, whose data is gone
    archive_entry* entry = nullptr;  // the header read last, its data still unread
    std::string entryName;

    void Reset()
    {
        reader.reset();
        passed.clear();
        entry = nullptr;
        entryName.clear();
        path.clear();
    }
    bool Holds(const std::string& archivePath, const struct stat& now, const std::string& member) const
    {
        return reader && path == archivePath && identity.st_dev == now.st_dev && identity.st_ino == now.st_ino &&
               identity.st_size == now.st_size && identity.st_mtim.tv_sec == now.st_mtim.tv_sec &&
               identity.st_mtim.tv_nsec == now.st_mtim.tv_nsec &&
               ((entry && entryName == member) || !passed.count(member));
    }
};

std::mutex cursorLock;
CArchiveCursor cursor;

// Moves the cursor to the member's header; the reason in error when it fails.
bool FindMember(const std::string& archivePath, const std::string& member, std::string& error)
{
    struct stat now;
    if (::stat(archivePath.c_str(), &now) != 0 || !S_ISREG(now.st_mode)) {
        // A device or FIFO never ends (or blocks): only a regular file is an archive.
        error = "the archive is not a regular file";
        cursor.Reset();
        return false;
    }
    if (!cursor.Holds(archivePath, now, member)) {
        cursor.Reset();
        cursor.reader = OpenReader(archivePath, error);
        if (!cursor.reader) return false;
        cursor.path = archivePath;
        cursor.identity = now;
    }
    for (;;) {
        if (cursor.entry && cursor.entryName == member && archive_entry_filetype(cursor.entry) == AE_IFREG) return true;
        if (interruptRequested.load()) {
            error = "interrupted";
            cursor.Reset();
            return false;
        }
        if (cursor.entry) cursor.passed.insert(cursor.entryName);
        cursor.entry = nullptr;
        archive_entry* entry;
        const int status = archive_read_next_header(cursor.reader.get(), &entry);
        if (status == ARCHIVE_EOF || status < ARCHIVE_WARN) {
            error = status == ARCHIVE_EOF ? "no such member in the archive" : ReaderError(cursor.reader.get());
            cursor.Reset();
            return false;
        }
        cursor.entry = entry;
        cursor.entryName = EntryName(entry);
    }
}

}  // namespace

bool ExtractArchiveMember(const std::string& archivePath, const std::string& member, int descriptor,
                          int64_t* modificationTime, std::string* error)
{
    std::lock_guard<std::mutex> hold(cursorLock);
    std::string reason;
    auto fail = [&](std::string why, bool keepCursor) {
        if (!keepCursor) cursor.Reset();
        if (error) *error = std::move(why);
        return false;
    };
    if (!FindMember(archivePath, member, reason)) return fail(reason, false);
    archive_entry* entry = cursor.entry;
    if (archive_entry_is_data_encrypted(entry))
        return fail("the member is encrypted (a password is needed, which velmora cannot take)", true);
    if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > maxArchiveMemberSize)
        return fail("the member is larger than any MIDI file (" + std::to_string(archive_entry_size(entry) >> 20) +
                        " MiB; at most " + std::to_string(maxArchiveMemberSize >> 20) + " MiB are taken)",
                    true);
    if (modificationTime)
        *modificationTime = archive_entry_mtime_is_set(entry)
                                ? (static_cast<int64_t>(archive_entry_mtime(entry)) + 11644473600LL) * 10000000LL
                                : 0;
    if (descriptor < 0) return true;

    // The data goes now: a later open of the same member starts again.
    cursor.passed.insert(cursor.entryName);
    cursor.entry = nullptr;
    char block[65536];
    int64_t total = 0;
    for (;;) {
        if (interruptRequested.load()) return fail("interrupted", false);
        const la_ssize_t got = archive_read_data(cursor.reader.get(), block, sizeof block);
        if (got == 0) return true;
        // A damaged or encrypted member fails rather than giving part of itself.
        if (got < 0) return fail(ReaderError(cursor.reader.get()), false);
        total += got;
        // A size the header understated (a bomb) is caught as it grows.
        if (total > maxArchiveMemberSize)
            return fail("the member is larger than any MIDI file (more than " +
                            std::to_string(maxArchiveMemberSize >> 20) + " MiB)",
                        false);
        if (!WriteAll(descriptor, block, size_t(got)))
            return fail(std::string("no room for the member's copy in the temporary folder (") + std::strerror(errno) +
                            ")",
                        false);
    }
}

CArchiveListing ReadArchiveListing(const std::string& archivePath)
{
    CArchiveListing listing;
    struct stat status;
    if (::stat(archivePath.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return listing;
    std::string error;
    CArchiveReader reader = OpenReader(archivePath, error);
    if (!reader) return listing;
    listing.isArchive = true;
    for (;;) {
        if (interruptRequested.load()) {
            listing.error = "interrupted";
            return listing;
        }
        archive_entry* entry;
        const int result = archive_read_next_header(reader.get(), &entry);
        if (result == ARCHIVE_EOF) return listing;
        // A damaged archive still offers the members before the damage.
        if (result < ARCHIVE_WARN) {
            listing.error = ReaderError(reader.get());
            return listing;
        }
        if (archive_entry_filetype(entry) != AE_IFREG) continue;
        CArchiveMember member;
        member.name = EntryName(entry);
        if (member.name.empty()) continue;
        member.encrypted = archive_entry_is_data_encrypted(entry) != 0;
        member.size = archive_entry_size_is_set(entry) ? int64_t(archive_entry_size(entry)) : -1;
        if (!member.encrypted) {
            // The member's first bytes, read in the same pass as its name.
            char head[16];
            const la_ssize_t got = archive_read_data(reader.get(), head, sizeof head);
            member.head.assign(head, got > 0 ? size_t(got) : 0);
        }
        listing.members.push_back(std::move(member));
    }
}

bool ListArchiveMembers(const std::string& archivePath, std::vector<std::string>* members,
                        std::vector<std::string>* heads)
{
    CArchiveListing listing = ReadArchiveListing(archivePath);
    if (!listing.isArchive || (!listing.error.empty() && listing.members.empty())) return false;
    members->clear();
    if (heads) heads->clear();
    for (CArchiveMember& member : listing.members) {
        members->push_back(member.name);
        if (heads) heads->push_back(member.head);
    }
    return true;
}

std::string GetLastArchiveError() { return lastOpenError; }

void CArchiveFile::CloseCopy()
{
    if (copy >= 0) ::close(copy);
    copy = -1;
}

int32_t CArchiveFile::Open(const char* newPath, int32_t mode)
{
    open = false;
    CloseCopy();
    size = position = 0;
    lastOpenError.clear();
    std::string archivePath, member;
    if (!newPath || mode != HOST_OPEN_READ || !SplitArchivePath(newPath, archivePath, member)) return 0;
    // The copy has no name from the start: whatever ends the host, it goes.
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/velmora-member-XXXXXX";
    copy = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (copy < 0) {
        lastOpenError =
            std::string("cannot make the member's copy in the temporary folder (") + std::strerror(errno) + ")";
        return 0;
    }
    ::unlink(pattern.c_str());
    if (!ExtractArchiveMember(archivePath, member, copy, &modificationTime, &lastOpenError)) {
        CloseCopy();
        return 0;
    }
    struct stat status;
    if (::fstat(copy, &status) != 0) {
        CloseCopy();
        return 0;
    }
    size = status.st_size;
    path = CanonicalForm(archivePath, member);
    open = true;
    return 1;
}

uint32_t CArchiveFile::Read(void* buffer, uint32_t count)
{
    if (!open || !buffer || position >= size) return 0;
    const uint64_t left = uint64_t(size - position);
    uint32_t wanted = uint32_t(left < count ? left : count), moved = 0;
    while (moved < wanted) {
        const ssize_t got = ::pread(copy, static_cast<char*>(buffer) + moved, wanted - moved, off_t(position + moved));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        moved += uint32_t(got);
    }
    position += moved;
    return moved;
}

int32_t CArchiveFile::SeekFrom(int64_t offset, int32_t origin)
{
    if (!open) return 0;
    int64_t base;
    switch (origin) {
    case HOST_SEEK_BEGIN: base = 0; break;
    case HOST_SEEK_CURRENT: base = position; break;
    case HOST_SEEK_END: base = size; break;
    default: return 0;
    }
    // Past the end is allowed (reads there give nothing), before the start is not.
    if ((offset < 0 && base + offset < 0) || (offset > 0 && offset > INT64_MAX - base)) return 0;
    position = base + offset;
    return 1;
}

void CArchiveFile::Close()
{
    open = false;
    CloseCopy();
    Release();
}

int32_t CArchiveFileSystem::GetCanonicalPath(const char* path, CHostString* out)
{
    std::string archivePath, member;
    if (!path || !out || !SplitArchivePath(path, archivePath, member)) return 0;
    out->SetText(CanonicalForm(archivePath, member).c_str(), -1);
    return 1;
}

int32_t CArchiveFileSystem::ClaimsPath(const char* path)
{
    std::string archivePath, member;
    return path && SplitArchivePath(path, archivePath, member);
}

CHostFile* CArchiveFileSystem::CreateFileObject(const char* path)
{
    if (!ClaimsPath(path)) return nullptr;
    return new (std::nothrow) CArchiveFile();
}

int32_t CArchiveFileSystem::FileExists(const char* path)
{
    std::string archivePath, member;
    if (!path || !SplitArchivePath(path, archivePath, member)) return 0;
    return ExtractArchiveMember(archivePath, member, -1, nullptr);
}
