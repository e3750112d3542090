// Local paths on Windows: a drive or UNC path, relative paths against the
// current folder, and file:// URLs (file:///C:/x), as an absolute,
// lexically normalised path with backslashes. The URL forms and archive
// paths are read by paths.cpp, whose ToLocalPath is built as
// ToPosixLocalPath for Windows (see host/CMakeLists.txt).
#include "host/objects/paths.h"
#include "host/utf8/win/wide.h"

#include <cctype>
#include <vector>

bool ToPosixLocalPath(const std::string& path, std::string& out);

namespace {

bool IsFileUrl(const std::string& path)
{
    static const char prefix[] = "file:";
    if (path.size() < 5) return false;
    for (size_t i = 0; i < 5; ++i)
        if (std::tolower(static_cast<unsigned char>(path[i])) != prefix[i]) return false;
    return true;
}

bool HasDrive(const std::string& path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// GetFullPathNameW resolves the current folder, "." and ".." and turns
// slashes into backslashes, without looking at the disk.
bool FullPath(const std::string& path, std::string& out)
{
    const std::wstring wide = Widen(path);
    std::vector<wchar_t> full(MAX_PATH);
    for (;;) {
        DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return false;
        if (length < full.size()) {
            out = Narrow(full.data(), length);
            return true;
        }
        full.resize(length + 1);
    }
}

}  // namespace

bool ToLocalPath(const std::string& path, std::string& out)
{
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    if (IsFileUrl(path)) {
        // file:///C:/x reads as the POSIX path /C:/x.
        std::string posix;
        if (!ToPosixLocalPath(path, posix)) return false;
        std::string local = posix.substr(1);
        return FullPath(HasDrive(local) ? local : posix, out);
    }
    if (HasUrlScheme(path)) return false;
    return FullPath(path, out);
}
