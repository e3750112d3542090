// Members of zip, 7z and tar archives, written here with libarchive.
#include "host/objects/archive_file_system.h"
#include "host/objects/text_receiver.h"
#include "tests/host/host_test_support.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

// Writes an archive of the given format ("zip", "7zip", "ustar") with the members.
void WriteArchive(const std::string& path, const char* format, const std::map<std::string, std::string>& members)
{
    archive* writer = archive_write_new();
    ASSERT_EQ(archive_write_set_format_by_name(writer, format), ARCHIVE_OK) << archive_error_string(writer);
    ASSERT_EQ(archive_write_open_filename(writer, path.c_str()), ARCHIVE_OK) << archive_error_string(writer);
    for (const auto& [name, contents] : members) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(contents.size()));
        ASSERT_EQ(archive_write_header(writer, entry), ARCHIVE_OK) << archive_error_string(writer);
        ASSERT_EQ(archive_write_data(writer, contents.data(), contents.size()),
                  static_cast<la_ssize_t>(contents.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
}

std::string Pattern(size_t size)
{
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return out;
}

class ArchiveFileSystemTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        archivePath = folder / (std::string("songs.") + GetParam());
        WriteArchive(archivePath, GetParam(), {{"song.mid", song}, {"dir/inner.mid", "MThd inner"}, {"empty", ""}});
    }
    void TearDown() override { fileSystem->Release(); }

    CHostFile* OpenMember(const std::string& path)
    {
        CHostFile* file = fileSystem->CreateFileObject(path.c_str());
        if (!file) return nullptr;
        if (!file->Open(path.c_str(), HOST_OPEN_READ)) {
            file->Close();
            return nullptr;
        }
        return file;
    }

    CArchiveFileSystem* fileSystem = new CArchiveFileSystem();
    CScratchFolder folder;
    std::string archivePath;
    std::string song = Pattern(200000);
};

TEST_P(ArchiveFileSystemTest, MemberIsReadAndSeekedWithItsSize)
{
    CHostFile* file = OpenMember("archive://" + archivePath + "|song.mid");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetSize(), static_cast<int64_t>(song.size()));
    EXPECT_TRUE(file->CanSeek());
    EXPECT_FALSE(file->IsStream());

    std::string all(song.size() + 10, '\0');
    EXPECT_EQ(file->Read(all.data(), static_cast<uint32_t>(all.size())), song.size());
    all.resize(song.size());
    EXPECT_TRUE(all == song);
    EXPECT_EQ(file->Read(all.data(), 1), 0u);

    ASSERT_TRUE(file->Seek(1000));
    char piece[5];
    EXPECT_EQ(file->Read(piece, 5), 5u);
    EXPECT_EQ(std::string(piece, 5), song.substr(1000, 5));
    ASSERT_TRUE(file->SeekFrom(-5, HOST_SEEK_END));
    EXPECT_EQ(file->Read(piece, 5), 5u);
    EXPECT_EQ(std::string(piece, 5), song.substr(song.size() - 5));
    ASSERT_TRUE(file->SeekFrom(-10, HOST_SEEK_CURRENT));
    EXPECT_EQ(file->GetPosition(), static_cast<int64_t>(song.size()) - 10);
    EXPECT_FALSE(file->SeekFrom(-1, HOST_SEEK_BEGIN));
    EXPECT_EQ(file->GetPosition(), static_cast<int64_t>(song.size()) - 10);
    EXPECT_EQ(file->Write("x", 1), 0u);
    file->Close();
}

TEST_P(ArchiveFileSystemTest, MembersInFoldersAndEmptyMembers)
{
    CHostFile* file = OpenMember("archive://" + archivePath + "|./dir//inner.mid");
    ASSERT_NE(file, nullptr);
    char text[16] = {};
    EXPECT_EQ(file->Read(text, sizeof text), 10u);
    EXPECT_STREQ(text, "MThd inner");
    file->Close();

    file = OpenMember("archive://" + archivePath + "|empty");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetSize(), 0);
    file->Close();
}

TEST_P(ArchiveFileSystemTest, MissingArchiveOrMemberFailsTheOpen)
{
    EXPECT_EQ(OpenMember("archive://" + archivePath + "|absent.mid"), nullptr);
    EXPECT_EQ(OpenMember("archive://" + archivePath + "|dir"), nullptr) << "a folder is no member";
    EXPECT_EQ(OpenMember("archive://" + (folder / "absent.zip") + "|song.mid"), nullptr);
    EXPECT_FALSE(fileSystem->FileExists(("archive://" + archivePath + "|absent.mid").c_str()));
    EXPECT_TRUE(fileSystem->FileExists(("archive://" + archivePath + "|song.mid").c_str()));
}

TEST_P(ArchiveFileSystemTest, OpensForReadingOnly)
{
    std::string path = "archive://" + archivePath + "|song.mid";
    for (int32_t mode : {HOST_OPEN_WRITE, HOST_OPEN_READWRITE}) {
        CHostFile* file = fileSystem->CreateFileObject(path.c_str());
        ASSERT_NE(file, nullptr);
        EXPECT_FALSE(file->Open(path.c_str(), mode));
        file->Close();
    }
    EXPECT_FALSE(fileSystem->RemoveFile(path.c_str()));
    EXPECT_TRUE(std::filesystem::exists(archivePath));
}

INSTANTIATE_TEST_SUITE_P(Formats, ArchiveFileSystemTest, ::testing::Values("zip", "7zip", "ustar"));

// The bytes this process has read so far, as the kernel counts them.
uint64_t BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

// Members opened one after another in the archive's order cost one pass
// over it together, not a pass each; what a member holds is still its own.
TEST(ArchiveScanTest, MembersOpenedInOrderReadTheArchiveOnce)
{
    for (const char* format : {"ustar", "7zip"}) {
        CScratchFolder folder;
        std::map<std::string, std::string> members;
        for (int i = 0; i < 400; ++i) members[std::to_string(1000 + i) + ".mid"] = Pattern(2000) + std::to_string(i);
        const std::string path = folder / "many.archive";
        WriteArchive(path, format, members);
        const uint64_t archiveSize = std::filesystem::file_size(path), before = BytesRead();
        CArchiveFileSystem* fileSystem = new CArchiveFileSystem();
        for (const auto& [name, contents] : members) {
            const std::string member = "archive://" + path + "|" + name;
            CHostFile* file = fileSystem->CreateFileObject(member.c_str());
            ASSERT_TRUE(file && file->Open(member.c_str(), HOST_OPEN_READ)) << format << " " << name;
            std::string got(contents.size() + 1, '\0');
            got.resize(file->Read(got.data(), uint32_t(got.size())));
            EXPECT_EQ(got, contents) << format << " " << name;
            file->Close();
        }
        fileSystem->Release();
        // Each member is read back once from its copy, beside one pass.
        EXPECT_LT(BytesRead() - before, 4 * archiveSize + 400 * 2010) << format;
    }
}

TEST(ArchivePathTest, ClaimsOnlyTheArchiveFormAndHasNoNativePath)
{
    CArchiveFileSystem* fileSystem = new CArchiveFileSystem();
    EXPECT_TRUE(fileSystem->ClaimsPath("archive:///music/a.zip|b.mid"));
    EXPECT_FALSE(fileSystem->ClaimsPath("/music/a.zip"));
    EXPECT_FALSE(fileSystem->ClaimsPath("file:///music/a.zip"));
    EXPECT_FALSE(fileSystem->ClaimsPath("archive:///music/a.zip"));
    EXPECT_FALSE(fileSystem->ClaimsPath("archive:///music/a.zip|"));
    EXPECT_FALSE(fileSystem->CreateFileObject("/music/a.zip"));

    CHostTextReceiver out;
    ASSERT_TRUE(fileSystem->GetCanonicalPath("archive:///music/x/../a.zip|./sub//b.mid", &out));
    EXPECT_EQ(out.Text(), "archive:///music/a.zip|sub/b.mid");
    ASSERT_TRUE(fileSystem->GetCanonicalPath("archive://file:///music/a%20b.zip|b.mid", &out));
    EXPECT_EQ(out.Text(), "archive:///music/a b.zip|b.mid");
    CHostTextReceiver native;
    EXPECT_FALSE(fileSystem->GetNativePath("archive:///music/a.zip|b.mid", &native));
    EXPECT_EQ(native.SetCount(), 0);
    fileSystem->Release();
}

}  // namespace
