// Path forms of the host's file systems.
#include "host/objects/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    size_t length = std::strlen(prefix);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool PercentDecode(const std::string& text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        int high = HexValue(text[i + 1]);
        int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return false;
        char decoded = static_cast<char>(high * 16 + low);
        if (decoded == 0) return false;  // a NUL would cut the path short
        out += decoded;
        i += 2;
    }
    return true;
}

std::string CurrentFolder()
{
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return "/";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

}  // namespace

bool HasUrlScheme(const std::string& path, std::string* scheme)
{
    size_t colon = path.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    if (!std::isalpha(static_cast<unsigned char>(path[0]))) return false;
    for (size_t i = 1; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    if (scheme) {
        *scheme = path.substr(0, colon);
        for (char& c : *scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return true;
}

std::string NormalisePath(const std::string& absolutePath)
{
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= absolutePath.size()) {
        size_t end = absolutePath.find('/', start);
        if (end == std::string::npos) end = absolutePath.size();
        std::string segment = absolutePath.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& segment : segments) out += "/" + segment;
    return out.empty() ? "/" : out;
}

bool ToLocalPath(const std::string& path, std::string& out)
{
    if (path.empty()) return false;
    std::string local;
    if (StartsWithNoCase(path, "file:")) {
        std::string rest = path.substr(5);
        if (rest.compare(0, 2, "//") == 0) {
            // file://HOST/PATH: only the local host.
            size_t slash = rest.find('/', 2);
            if (slash == std::string::npos) return false;
            std::string host = rest.substr(2, slash - 2);
            if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost"))) return false;
            rest = rest.substr(slash);
        }
        if (rest.empty() || rest[0] != '/') return false;
        if (!PercentDecode(rest, local)) return false;
    } else {
        if (HasUrlScheme(path)) return false;
        local = path;
    }
    if (local[0] != '/') local = CurrentFolder() + "/" + local;
    out = NormalisePath(local);
    return true;
}

std::string NormaliseMemberName(const std::string& name)
{
    std::string normal = NormalisePath("/" + name);
    return normal.substr(1);
}

bool SplitArchivePath(const std::string& path, std::string& archive, std::string& member)
{
    if (!StartsWithNoCase(path, "archive://")) return false;
    std::string rest = path.substr(10);
    size_t bar = rest.find('|');
    if (bar == std::string::npos || bar == 0) return false;
    // An archive whose own path holds '|': the first split whose archive
    // part is a file that exists, else the first.
    for (size_t at = bar; at != std::string::npos; at = rest.find('|', at + 1)) {
        std::string candidate;
        struct stat status;
        if (ToLocalPath(rest.substr(0, at), candidate) && stat(candidate.c_str(), &status) == 0 &&
            !S_ISDIR(status.st_mode)) {
            bar = at;
            break;
        }
    }
    if (!ToLocalPath(rest.substr(0, bar), archive)) return false;
    member = NormaliseMemberName(rest.substr(bar + 1));
    return !member.empty();
}
