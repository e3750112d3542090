// Reading and replacing the settings file on Windows, through the
// wide-character file calls.
#include "host/objects/settings_file.h"
#include "sdk/velmora/velmora_utf8.h"
#include "host/utf8/win/wide.h"

#include <shlobj.h>

#include <vector>

namespace {

std::string Environment(const wchar_t* name)
{
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return std::string();
    std::vector<wchar_t> value(size);
    DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    return length < size ? Narrow(value.data(), length) : std::string();
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return ".";
    // The root of a drive keeps its separator.
    return (slash == 2 && path[1] == ':') || slash == 0 ? path.substr(0, slash + 1) : path.substr(0, slash);
}

bool MakeFolders(const std::string& folder, std::string& error)
{
    DWORD attributes = GetFileAttributesW(Widen(folder).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
        error = folder + " is not a folder";
        return false;
    }
    std::string parent = FolderOf(folder);
    if (parent != folder && parent != "." && !MakeFolders(parent, error)) return false;
    if (!CreateDirectoryW(Widen(folder).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        error = "cannot create " + folder + ": " + SystemErrorText(GetLastError());
        return false;
    }
    return true;
}

bool WriteAll(HANDLE file, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put, nullptr) || put == 0)
            return false;
        done += put;
    }
    return true;
}

}  // namespace

std::string GetSettingsFilePath()
{
    std::string explicitPath = Environment(L"VELMORA_CONFIG");
    if (!explicitPath.empty()) return explicitPath;
    std::string appData = Environment(L"APPDATA");
    if (appData.empty()) {
        wchar_t folder[MAX_PATH];
        if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder)))
            appData = Narrow(folder, wcslen(folder));
    }
    return (appData.empty() ? std::string(1, '.') : appData) + "\\velmora\\tessarine.cfg";
}

// Links to the settings file are rare on Windows and MoveFileExW replaces
// the file a link names; the path is taken as it is.
std::string ResolveSettingsPath(const std::string& path) { return path; }

CSettingsFileLock::~CSettingsFileLock()
{
    if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));  // and the lock goes with it
}

// The lock is on PATH.lock, beside the settings file: the settings file
// itself is replaced under the lock, which Windows does not allow while it
// is held open.
bool CSettingsFileLock::Acquire(const std::string& path, std::string& error)
{
    if (!MakeFolders(FolderOf(path), error)) return false;
    HANDLE file = CreateFileW(Widen(path + ".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot lock " + path + ": " + SystemErrorText(GetLastError());
        return false;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
        error = "cannot lock " + path + ": " + SystemErrorText(GetLastError());
        CloseHandle(file);
        return false;
    }
    handle = reinterpret_cast<intptr_t>(file);
    return true;
}

CSettingsFile ReadSettingsFile(const std::string& path)
{
    CSettingsFile file;
    HANDLE handle =
        CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return file;
        file.state = CSettingsFileState::Unreadable;
        // A folder of that name cannot be opened as a file.
        const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
        file.error = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                         ? "not a regular file"
                         : SystemErrorText(error);
        return file;
    }
    uint8_t block[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, block, sizeof block, &got, nullptr)) {
            file.state = CSettingsFileState::Unreadable;
            file.error = SystemErrorText(GetLastError());
            CloseHandle(handle);
            return file;
        }
        if (got == 0) break;
        file.contents.insert(file.contents.end(), block, block + got);
    }
    CloseHandle(handle);
    file.parse = ParseSettingsBlock(file.contents);
    file.state = file.parse.complete ? CSettingsFileState::Valid : CSettingsFileState::Corrupt;
    return file;
}

bool WriteSettingsFile(const std::string& path, const std::vector<uint8_t>& block, std::string& error)
{
    std::string folder = FolderOf(path);
    if (!MakeFolders(folder, error)) return false;
    char temporary[VELMORA_UTF8_MAX_PATH];
    if (uGetTempFileName(folder.c_str(), ".tessarine-settings-", 0, temporary) == 0) {
        error = "cannot create a temporary file in " + folder + ": " + SystemErrorText(GetLastError());
        return false;
    }
    const std::wstring wideTemporary = Widen(temporary);
    HANDLE handle = CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    bool written = handle != INVALID_HANDLE_VALUE && WriteAll(handle, block) && FlushFileBuffers(handle);
    DWORD savedError = GetLastError();
    if (handle != INVALID_HANDLE_VALUE && !CloseHandle(handle)) written = false;
    // The rename replaces the old file whole, or leaves it.
    if (!written ||
        !MoveFileExW(wideTemporary.c_str(), Widen(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (written) savedError = GetLastError();
        DeleteFileW(wideTemporary.c_str());
        error = "cannot write " + path + ": " + SystemErrorText(savedError);
        return false;
    }
    return true;
}

bool BackUpSettingsFile(const std::string& path, const std::vector<uint8_t>& contents, std::string& backupPath,
                        std::string& error)
{
    for (int number = 0; number < 1000; ++number) {
        backupPath = path;
        backupPath += ".corrupt";
        if (number) backupPath += '.' + std::to_string(number);
        const std::wstring wideBackup = Widen(backupPath);
        // Exclusive creation: an earlier backup is never overwritten.
        HANDLE handle =
            CreateFileW(wideBackup.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) continue;
            error = "cannot create " + backupPath + ": " + SystemErrorText(GetLastError());
            return false;
        }
        bool written = WriteAll(handle, contents) && FlushFileBuffers(handle);
        DWORD savedError = GetLastError();
        if (!CloseHandle(handle)) written = false;
        if (!written) {
            DeleteFileW(wideBackup.c_str());
            error = "cannot write " + backupPath + ": " + SystemErrorText(savedError);
            return false;
        }
        return true;
    }
    error = "too many backups of " + path;
    return false;
}
