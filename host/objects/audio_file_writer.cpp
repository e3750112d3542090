// Audio files through libsndfile, written under a hidden name until finished.
#include "host/objects/audio_file_writer.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

int SndfileFormat(CAudioFormat format)
{
    switch (format) {
    case CAudioFormat::Wav: return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case CAudioFormat::Flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case CAudioFormat::Ogg: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case CAudioFormat::Unknown: break;
    }
    return 0;
}

// The hidden file beside the target, so a rename needs no copy: a short
// name (a target of 255 bytes still fits) that nobody can guess or plant a
// link under. mkostemp creates it with O_EXCL, which never follows a link;
// it comes with mode 0600, and Open gives it the mode the output is to have.
int CreateHiddenFile(const std::string& target, std::string& hidden)
{
    const std::filesystem::path folder = std::filesystem::path(target).parent_path();
    std::string pattern = ((folder.empty() ? std::filesystem::path(".") : folder) / ".velmora-XXXXXX").string();
    const int descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor >= 0) hidden = pattern;
    return descriptor;
}

// A replaced output keeps its permissions; a new one gets what the umask
// leaves of 0666, as an ordinary creation would.
mode_t OutputMode(const std::string& target)
{
    struct stat status;
    if (::stat(target.c_str(), &status) == 0) return status.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The file a symbolic link leads to, followed even when it does not exist
// yet, so the link stays and its target gets the audio.
std::string FollowLinks(const std::string& path)
{
    std::filesystem::path current(path);
    std::error_code failure;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(current, failure); ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(current, failure);
        if (failure) break;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current.string();
}

}  // namespace

CAudioFileWriter::~CAudioFileWriter() { Discard(); }

bool CAudioFileWriter::Open(const std::string& path, CAudioFormat format, std::string& error)
{
    Discard();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SndfileFormat(format);
    if (!info.format || !sf_format_check(&info)) {
        error = "this libsndfile cannot write " + std::string(AudioFormatName(format));
        return false;
    }
    target = path;
    frames = 0;
    // Standard output, a device or a FIFO is written straight into: it has
    // no name to take. WAV goes back to its header, which a pipe cannot.
    struct stat status;
    direct = path == "-" || (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode));
    if (direct) {
        if (path != "-" && S_ISDIR(status.st_mode)) {
            error = "cannot write " + path + ": it is a folder";
            return false;
        }
        if (path != "-" && format == CAudioFormat::Wav && S_ISFIFO(status.st_mode)) {
            error = "cannot write " + path + ": WAV cannot stream into a pipe: give --format flac or ogg";
            return false;
        }
        const int descriptor = path == "-" ? STDOUT_FILENO : ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        struct stat opened;
        if (descriptor < 0 || fstat(descriptor, &opened) != 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            if (descriptor > STDOUT_FILENO) ::close(descriptor);
            return false;
        }
        if (format == CAudioFormat::Wav && (S_ISFIFO(opened.st_mode) || S_ISSOCK(opened.st_mode))) {
            error = "cannot write " + path + ": WAV cannot stream into a pipe: give --format flac or ogg";
            if (descriptor > STDOUT_FILENO) ::close(descriptor);
            return false;
        }
        file = sf_open_fd(descriptor, SFM_WRITE, &info, descriptor != STDOUT_FILENO);
        if (!file) error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return file != nullptr;
    }
    target = FollowLinks(path);
    const int descriptor = CreateHiddenFile(target, partial);
    if (descriptor < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    ::fchmod(descriptor, OutputMode(target));
    file = sf_open_fd(descriptor, SFM_WRITE, &info, 1);
    if (!file) {
        // libsndfile has closed the descriptor it was given.
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        std::remove(partial.c_str());
        partial.clear();
        return false;
    }
    frames = 0;
    return true;
}

bool CAudioFileWriter::Write(const void* data, uint32_t bytes, std::string& error)
{
    if (!file) {
        error = "no file is open";
        return false;
    }
    const sf_count_t count = bytes / 4;
    if (count == 0) return true;
    if (sf_writef_short(file, static_cast<const short*>(data), count) != count) {
        error = "cannot write " + target + ": " + sf_strerror(file);
        return false;
    }
    frames += uint64_t(count);
    return true;
}

bool CAudioFileWriter::Finish(std::string& error)
{
    if (!file) {
        error = "no file is open";
        return false;
    }
    const int closed = sf_close(file);
    file = nullptr;
    if (closed != 0) {
        error = "cannot finish " + target + ": " + sf_error_number(closed);
        std::remove(partial.c_str());
        partial.clear();
        return false;
    }
    if (direct) return true;
    std::error_code failure;
    std::filesystem::rename(partial, target, failure);
    if (failure) {
        error = "cannot write " + target + ": " + failure.message();
        std::remove(partial.c_str());
        partial.clear();
        return false;
    }
    partial.clear();
    return true;
}

void CAudioFileWriter::Discard()
{
    if (file) {
        sf_close(file);
        file = nullptr;
    }
    if (!partial.empty()) {
        std::remove(partial.c_str());
        partial.clear();
    }
}
