// Writes zip archives for the tests that open tracks inside archives.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A zip at path holding the members in order; Bytes is any contiguous
// container of bytes. With a passphrase the members are encrypted. False
// when the archive could not be written.
template <typename Bytes>
bool WriteZipOf(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& members,
                const char* passphrase = nullptr)
{
    archive* writer = archive_write_new();
    archive_write_set_format_zip(writer);
    if (passphrase && (archive_write_set_options(writer, "zip:encryption=zipcrypt") != ARCHIVE_OK ||
                       archive_write_set_passphrase(writer, passphrase) != ARCHIVE_OK)) {
        archive_write_free(writer);
        return false;
    }
    bool written = archive_write_open_filename(writer, path.c_str()) == ARCHIVE_OK;
    for (const auto& [name, bytes] : members) {
        if (!written) break;
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_size(entry, la_int64_t(bytes.size()));
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        written = archive_write_header(writer, entry) == ARCHIVE_OK &&
                  archive_write_data(writer, bytes.data(), bytes.size()) == la_ssize_t(bytes.size());
        archive_entry_free(entry);
    }
    written = archive_write_close(writer) == ARCHIVE_OK && written;
    archive_write_free(writer);
    return written;
}

inline bool WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& members,
                     const char* passphrase = nullptr)
{
    return WriteZipOf(path, members, passphrase);
}

inline bool WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members)
{
    return WriteZipOf(path, members);
}

}  // namespace testsupport
