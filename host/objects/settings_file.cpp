// Reading and replacing the settings file.
#include "host/objects/settings_file.h"
#include "sdk/velmora/velmora_utf8.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool MakeFolders(const std::string& folder, std::string& error)
{
    struct stat status;
    if (stat(folder.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return true;
        error = folder + " is not a folder";
        return false;
    }
    std::string parent = FolderOf(folder);
    if (parent != folder && !MakeFolders(parent, error)) return false;
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        error = "cannot create " + folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool WriteAll(int descriptor, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

void SyncFolder(const std::string& folder)
{
    int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

}  // namespace

std::string ResolveSettingsPath(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status;
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        std::vector<char> target(size_t(status.st_size > 0 ? status.st_size : 255) + 1);
        const ssize_t length = readlink(current.c_str(), target.data(), target.size());
        if (length <= 0 || size_t(length) >= target.size()) break;
        const std::string next(target.data(), size_t(length));
        current = next[0] == '/' ? next : FolderOf(current) + "/" + next;
    }
    return current;
}

CSettingsFileLock::~CSettingsFileLock()
{
    if (handle >= 0) close(static_cast<int>(handle));  // and the lock goes with it
}

bool CSettingsFileLock::Acquire(const std::string& path, std::string& error)
{
    const std::string target = ResolveSettingsPath(path);
    if (!MakeFolders(FolderOf(target), error)) return false;
    // The lock is on the file itself; a host that replaced it meanwhile has
    // left the old one locked, so the lock is taken again on the new one.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        // Made 0600 when missing, as a new settings file always was.
        const int descriptor = open(target.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
        if (descriptor < 0) {
            error = "cannot lock " + target + ": " + std::strerror(errno);
            return false;
        }
        int locked;
        do {
            locked = flock(descriptor, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        struct stat held, named;
        if (locked != 0) {
            error = "cannot lock " + target + ": " + std::strerror(errno);
            close(descriptor);
            return false;
        }
        if (fstat(descriptor, &held) == 0 && stat(target.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            handle = descriptor;
            return true;
        }
        close(descriptor);
    }
    error = "cannot lock " + target + ": it keeps being replaced";
    return false;
}

std::string GetSettingsFilePath()
{
    const char* explicitPath = std::getenv("VELMORA_CONFIG");
    if (explicitPath && *explicitPath) return explicitPath;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    // Relative values are invalid for this variable and are ignored.
    if (configHome && configHome[0] == '/') return std::string(configHome) + "/velmora/tessarine.cfg";
    const char* home = std::getenv("HOME");
    std::string homeFolder = (home && *home) ? home : "";
    if (homeFolder.empty()) {
        if (passwd* user = getpwuid(getuid())) homeFolder = user->pw_dir ? user->pw_dir : "";
    }
    if (homeFolder.empty()) homeFolder = ".";
    return homeFolder + "/.config/velmora/tessarine.cfg";
}

CSettingsFile ReadSettingsFile(const std::string& path)
{
    CSettingsFile file;
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        if (errno == ENOENT) return file;
        file.state = CSettingsFileState::Unreadable;
        file.error = std::strerror(errno);
        return file;
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        file.state = CSettingsFileState::Unreadable;
        file.error = "not a regular file";
        return file;
    }
    uint8_t block[65536];
    for (;;) {
        ssize_t got = read(descriptor, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            file.state = CSettingsFileState::Unreadable;
            file.error = std::strerror(errno);
            close(descriptor);
            return file;
        }
        if (got == 0) break;
        file.contents.insert(file.contents.end(), block, block + got);
    }
    close(descriptor);
    file.parse = ParseSettingsBlock(file.contents);
    file.state = file.parse.complete ? CSettingsFileState::Valid : CSettingsFileState::Corrupt;
    return file;
}

bool WriteSettingsFile(const std::string& linkOrPath, const std::vector<uint8_t>& block, std::string& error)
{
    const std::string path = ResolveSettingsPath(linkOrPath);
    std::string folder = FolderOf(path);
    if (!MakeFolders(folder, error)) return false;
    char temporary[VELMORA_UTF8_MAX_PATH];
    if (uGetTempFileName(folder.c_str(), ".tessarine-settings-", 0, temporary) == 0) {
        error = "cannot create a temporary file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    int descriptor = open(temporary, O_WRONLY | O_TRUNC | O_CLOEXEC);
    // The new file keeps the permissions of the one it replaces.
    struct stat old;
    if (descriptor >= 0 && stat(path.c_str(), &old) == 0) fchmod(descriptor, old.st_mode & 07777);
    bool written = descriptor >= 0 && WriteAll(descriptor, block) && fsync(descriptor) == 0;
    int savedErrno = errno;
    if (descriptor >= 0 && close(descriptor) != 0) written = false;
    if (!written || rename(temporary, path.c_str()) != 0) {
        if (written) savedErrno = errno;
        unlink(temporary);
        error = "cannot write " + path + ": " + std::strerror(savedErrno);
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool BackUpSettingsFile(const std::string& path, const std::vector<uint8_t>& contents, std::string& backupPath,
                        std::string& error)
{
    for (int number = 0; number < 1000; ++number) {
        backupPath = path + ".corrupt" + (number ? "." + std::to_string(number) : "");
        // Exclusive creation: an earlier backup is never overwritten.
        int descriptor = open(backupPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            error = "cannot create " + backupPath + ": " + std::strerror(errno);
            return false;
        }
        bool written = WriteAll(descriptor, contents) && fsync(descriptor) == 0;
        int savedErrno = errno;
        if (close(descriptor) != 0) written = false;
        if (!written) {
            unlink(backupPath.c_str());
            error = "cannot write " + backupPath + ": " + std::strerror(savedErrno);
            return false;
        }
        SyncFolder(FolderOf(path));
        return true;
    }
    error = "too many backups of " + path;
    return false;
}
