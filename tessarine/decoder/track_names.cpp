// Names the decoder reads from paths and settings.
#include "tessarine/decoder/track_names.h"

#include "sdk/velmora/velmora_utf8.h"

#include <cstring>

namespace {

constexpr size_t longestExtension = 31;

const char* const midiExtensions[] = {"midi", "mid", "rmi", "xmi", "sgt"};

// The part after the last separator of a path, archive member names included.
const char* GetFileName(const char* path)
{
    const char* name = path;
    for (const char* at = path; *at; ++at)
        if (*at == '/' || *at == '\\' || *at == ':' || *at == '|') name = at + 1;
    return name;
}

}  // namespace

std::string GetPathExtension(const char* path)
{
    if (!path) return {};
    const std::string name = GetFileName(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string extension = name.substr(dot + 1);
    const size_t query = extension.find('?');
    if (query != std::string::npos) extension.resize(query);
    if (extension.size() > longestExtension) return {};
    return extension;
}

std::string GetTrackTitle(const char* path)
{
    if (!path) return {};
    const std::string name = GetFileName(path);
    const size_t query = name.find('?');
    const std::string beforeQuery = name.substr(0, query);
    const size_t dot = beforeQuery.rfind('.');
    if (dot == std::string::npos || dot == 0) return name;
    return name.substr(0, dot);
}

bool IsMidiContentType(const char* contentType) { return contentType && stricmp_utf8(contentType, "audio/midi") == 0; }

bool IsMidiExtension(const char* extension)
{
    if (!extension) return false;
    for (const char* known : midiExtensions)
        if (stricmp_utf8(extension, known) == 0) return true;
    return false;
}

bool IsSegmentExtension(const std::string& extension) { return stricmp_utf8(extension.c_str(), "sgt") == 0; }
