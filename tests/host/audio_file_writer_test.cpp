// The audio file writer's hidden file: nobody can make it write through a
// planted link, a replaced output keeps its permissions, and an output
// name of up to 255 bytes still has room for it.
#include "host/objects/audio_file_writer.h"
#include "tests/host/host_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

TEST(AudioFileWriterTest, HiddenFileIsExclusiveKeepsTheModeAndFitsLongNames)
{
    const struct {
        size_t nameLength;
        int existingMode;  // -1: no output yet
        mode_t expectedMode;
    } rows[] = {{7, -1, 0644}, {7, 0600, 0600}, {7, 0640, 0640}, {241, -1, 0644}, {255, 0600, 0600}};
    const mode_t mask = umask(022);
    for (const auto& row : rows) {
        CScratchFolder folder;
        const std::string name = std::string(row.nameLength - 4, 'n') + ".wav";
        const std::string out = folder / name;
        if (row.existingMode >= 0) {
            WriteWholeFile(out, "old");
            ASSERT_EQ(chmod(out.c_str(), mode_t(row.existingMode)), 0);
        }
        // The name an older writer used, planted as a link to a victim.
        WriteWholeFile(folder / "victim", "precious");
        const std::string planted = "." + name + ".partial-" + std::to_string(getpid());
        if (planted.size() <= 255) std::filesystem::create_symlink(folder / "victim", folder / planted);

        CAudioFileWriter writer;
        std::string error;
        ASSERT_TRUE(writer.Open(out, CAudioFormat::Wav, error)) << row.nameLength << ": " << error;
        const short frames[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        ASSERT_TRUE(writer.Write(frames, sizeof frames, error) && writer.Finish(error)) << error;

        EXPECT_EQ(ReadWholeFile(folder / "victim"), "precious") << row.nameLength;
        struct stat status;
        ASSERT_EQ(lstat(out.c_str(), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode)) << row.nameLength;
        EXPECT_EQ(status.st_mode & 07777, row.expectedMode) << row.nameLength << " " << row.existingMode;
        EXPECT_EQ(ReadWholeFile(out).substr(0, 4), "RIFF");
        size_t hidden = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
            hidden += !entry.is_symlink() && entry.path().filename().string()[0] == '.';
        EXPECT_EQ(hidden, 0u) << row.nameLength;
    }
    umask(mask);
}

}  // namespace
