// The local file system: path forms, open modes, reading, writing, seeking.
#include "host/objects/local_file_system.h"
#include "host/objects/text_receiver.h"
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

class LocalFileSystemTest : public ::testing::Test {
protected:
    void TearDown() override { fileSystem->Release(); }

    std::string Canonical(const std::string& path)
    {
        CHostTextReceiver out;
        return fileSystem->GetCanonicalPath(path.c_str(), &out) ? out.Text() : "<declined>";
    }

    CHostFile* OpenFile(const std::string& path, int32_t mode)
    {
        CHostFile* file = fileSystem->CreateFileObject(path.c_str());
        if (!file) return nullptr;
        if (!file->Open(path.c_str(), mode)) {
            file->Close();
            return nullptr;
        }
        return file;
    }

    CLocalFileSystem* fileSystem = new CLocalFileSystem();
    CScratchFolder folder;
};

TEST_F(LocalFileSystemTest, CanonicalFormIsTheAbsoluteNormalisedPath)
{
    EXPECT_EQ(Canonical("/a/./b//c/../d"), "/a/b/d");
    EXPECT_EQ(Canonical("/.."), "/");
    EXPECT_EQ(Canonical("/a/b/"), "/a/b");
    std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(Canonical("x/y.mid"), here + "/x/y.mid");
    EXPECT_EQ(Canonical("./x/../y.mid"), here + "/y.mid");
}

TEST_F(LocalFileSystemTest, FileUrlsArePercentDecoded)
{
    EXPECT_EQ(Canonical("file:///tmp/a%20b/%C3%A4.mid"), "/tmp/a b/\xC3\xA4.mid");
    EXPECT_EQ(Canonical("file://localhost/tmp/x.mid"), "/tmp/x.mid");
    EXPECT_EQ(Canonical("FILE:///tmp/x.mid"), "/tmp/x.mid");
    EXPECT_EQ(Canonical("file:/tmp/x%2Fy"), "/tmp/x/y");
    // Another machine, a bad or NUL escape: not a local file.
    EXPECT_EQ(Canonical("file://server/share/x.mid"), "<declined>");
    EXPECT_EQ(Canonical("file:///tmp/x%2"), "<declined>");
    EXPECT_EQ(Canonical("file:///tmp/x%zz"), "<declined>");
    EXPECT_EQ(Canonical("file:///tmp/x%00y"), "<declined>");
}

TEST_F(LocalFileSystemTest, ClaimsPlainPathsAndFileUrlsOnly)
{
    EXPECT_TRUE(fileSystem->ClaimsPath("/tmp/x.mid"));
    EXPECT_TRUE(fileSystem->ClaimsPath("relative.mid"));
    EXPECT_TRUE(fileSystem->ClaimsPath("file:///tmp/x.mid"));
    EXPECT_FALSE(fileSystem->ClaimsPath("archive:///tmp/a.zip|x.mid"));
    EXPECT_FALSE(fileSystem->ClaimsPath("http://example.org/x.mid"));
    EXPECT_FALSE(fileSystem->ClaimsPath(""));
    EXPECT_FALSE(fileSystem->CreateFileObject("http://example.org/x.mid"));
    CHostTextReceiver native;
    ASSERT_TRUE(fileSystem->GetNativePath("file:///tmp/a%20b", &native));
    EXPECT_EQ(native.Text(), "/tmp/a b");
}

TEST_F(LocalFileSystemTest, ReadModeNeedsAnExistingFileAndDoesNotWrite)
{
    EXPECT_EQ(OpenFile(folder / "absent", HOST_OPEN_READ), nullptr);
    EXPECT_FALSE(std::filesystem::exists(folder / "absent"));
    EXPECT_EQ(OpenFile(folder.Path(), HOST_OPEN_READ), nullptr) << "a folder is not a file";

    WriteWholeFile(folder / "data", "0123456789");
    CHostFile* file = OpenFile(folder / "data", HOST_OPEN_READ);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Write("x", 1), 0u);
    char buffer[16] = {};
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 10u);
    EXPECT_EQ(std::string(buffer), "0123456789");
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
    EXPECT_TRUE(file->IsEndOfFile());
    // What is added after the open is not read: the file ends where it did.
    {
        std::ofstream(folder / "data", std::ios::app) << "abc";
    }
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file->GetSize(), 10);
    file->Close();

    // What never ends, or blocks, is not opened for reading.
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(OpenFile(folder / "fifo", HOST_OPEN_READ), nullptr) << "a FIFO without a writer";
    EXPECT_EQ(OpenFile("/dev/zero", HOST_OPEN_READ), nullptr) << "a device";
}

TEST_F(LocalFileSystemTest, WriteModeTruncatesAndCreates)
{
    WriteWholeFile(folder / "data", "old contents");
    CHostFile* file = OpenFile(folder / "data", HOST_OPEN_WRITE);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetSize(), 0);
    EXPECT_EQ(file->Write("new", 3), 3u);
    file->Close();
    EXPECT_EQ(ReadWholeFile(folder / "data"), "new");

    file = OpenFile("file://" + folder.Path() + "/fresh", HOST_OPEN_WRITE);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::string(file->GetPath()), folder / "fresh");
    file->Close();
    EXPECT_TRUE(std::filesystem::exists(folder / "fresh"));
}

TEST_F(LocalFileSystemTest, ReadWriteModeKeepsContentsOrCreates)
{
    WriteWholeFile(folder / "data", "abcdef");
    CHostFile* file = OpenFile(folder / "data", HOST_OPEN_READWRITE);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetSize(), 6);
    EXPECT_EQ(file->GetPosition(), 0);
    ASSERT_TRUE(file->SeekFrom(0, HOST_SEEK_END));
    EXPECT_EQ(file->Write("gh", 2), 2u);
    ASSERT_TRUE(file->Seek(2));
    char buffer[8] = {};
    EXPECT_EQ(file->Read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer), "cde");
    ASSERT_TRUE(file->SeekFrom(-1, HOST_SEEK_CURRENT));
    EXPECT_EQ(file->GetPosition(), 4);
    EXPECT_FALSE(file->Seek(-1));
    EXPECT_FALSE(file->SeekFrom(-9, HOST_SEEK_END));
    EXPECT_EQ(file->GetPosition(), 4) << "a failed seek moves nothing";
    EXPECT_TRUE(file->CanSeek());
    file->Close();
    EXPECT_EQ(ReadWholeFile(folder / "data"), "abcdefgh");

    file = OpenFile(folder / "created", HOST_OPEN_READWRITE);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Write("xyz", 3), 3u);
    ASSERT_TRUE(file->Seek(0));
    EXPECT_EQ(file->Read(buffer, 8), 3u);
    file->Close();

    EXPECT_EQ(OpenFile(folder / "data", 0), nullptr);
    EXPECT_EQ(OpenFile(folder / "data", 4), nullptr);
}

TEST_F(LocalFileSystemTest, RemoveFileDeletesOnlyWhatExists)
{
    WriteWholeFile(folder / "gone", "x");
    EXPECT_TRUE(fileSystem->FileExists((folder / "gone").c_str()));
    EXPECT_TRUE(fileSystem->RemoveFile((folder / "gone").c_str()));
    EXPECT_FALSE(std::filesystem::exists(folder / "gone"));
    EXPECT_FALSE(fileSystem->RemoveFile((folder / "gone").c_str()));
    EXPECT_FALSE(fileSystem->FileExists((folder / "gone").c_str()));
}

TEST_F(LocalFileSystemTest, ReferencesKeepTheFileSystemAndFilesAlive)
{
    EXPECT_EQ(fileSystem->AddRef(), 2);
    EXPECT_EQ(fileSystem->Release(), 1);
    CHostService* same = fileSystem->QueryClass(&CLSID_HostFileSystem);
    EXPECT_EQ(same, fileSystem);
    EXPECT_EQ(same->Release(), 1);
    EXPECT_EQ(fileSystem->QueryClass(&CLSID_HostConsole), nullptr);
    EXPECT_EQ(fileSystem->GetReferenceCount(), 1);

    WriteWholeFile(folder / "data", "abc");
    CHostFile* file = OpenFile(folder / "data", HOST_OPEN_READ);
    ASSERT_NE(file, nullptr);
    file->AddRef();
    file->Close();  // closes, drops the opener's reference
    char byte;
    EXPECT_EQ(file->Read(&byte, 1), 0u);
    EXPECT_EQ(file->Release(), 0);
}

}  // namespace
