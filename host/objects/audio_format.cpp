// The audio formats the host writes, by name and by a path's extension.
#include "host/objects/audio_file_writer.h"

#include <cctype>
#include <filesystem>

namespace {

std::string Lower(std::string text)
{
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

CAudioFormat ParseAudioFormat(const std::string& name)
{
    const std::string lower = Lower(name);
    if (lower == "wav") return CAudioFormat::Wav;
    if (lower == "flac") return CAudioFormat::Flac;
    if (lower == "ogg") return CAudioFormat::Ogg;
    return CAudioFormat::Unknown;
}

CAudioFormat AudioFormatOfPath(const std::string& path)
{
    const std::string extension = Lower(std::filesystem::path(path).extension().string());
    if (extension == ".oga") return CAudioFormat::Ogg;
    return extension.size() > 1 ? ParseAudioFormat(extension.substr(1)) : CAudioFormat::Unknown;
}

const char* AudioFormatName(CAudioFormat format)
{
    switch (format) {
    case CAudioFormat::Wav: return "wav";
    case CAudioFormat::Flac: return "flac";
    case CAudioFormat::Ogg: return "ogg";
    case CAudioFormat::Unknown: break;
    }
    return "unknown";
}
