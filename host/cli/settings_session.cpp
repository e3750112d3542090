// Loading and saving the settings around a run of the host.
#include "host/cli/settings_session.h"
#include "host/objects/settings_block.h"

#include <cstdio>

std::vector<uint8_t> GetSettingsBlock(CComponentInterface* component) {
    CSettingsBuffer buffer;
    component->SaveSettings(&buffer);
    return buffer.Bytes();
}

CSettingsSession::CSettingsSession(CComponentInterface* component, std::string path)
    : component(component), path(std::move(path)) {}

void CSettingsSession::Start() {
    defaults = GetSettingsBlock(component);
    file = ReadSettingsFile(path);
    switch (file.state) {
        case CSettingsFileState::Missing:
            break;
        case CSettingsFileState::Valid:
            component->LoadSettings(file.contents.data(), static_cast<uint32_t>(file.contents.size()));
            break;
        case CSettingsFileState::Corrupt:
            std::fprintf(stderr,
                         "velmora: the settings file %s is damaged: its records do not parse past byte %zu of "
                         "%zu. The %zu settings before that point are used; the file is left as it is.\n",
                         path.c_str(), file.parse.parsedBytes, file.contents.size(), file.parse.records.size());
            component->LoadSettings(file.contents.data(), static_cast<uint32_t>(file.parse.parsedBytes));
            break;
        case CSettingsFileState::Unreadable:
            std::fprintf(stderr, "velmora: cannot read the settings file %s (%s); the defaults are used.\n",
                         path.c_str(), file.error.c_str());
            break;
    }
}

bool CSettingsSession::Finish(bool settingsChanged) {
    std::vector<uint8_t> block = GetSettingsBlock(component);
    switch (file.state) {
        case CSettingsFileState::Valid:
            if (block == file.contents) return true;
            break;
        case CSettingsFileState::Missing:
            break;
        case CSettingsFileState::Corrupt: {
            if (!settingsChanged) return true;
            std::string backup, error;
            if (!BackUpSettingsFile(path, file.contents, backup, error)) {
                std::fprintf(stderr, "velmora: the settings were not saved: %s\n", error.c_str());
                return false;
            }
            std::fprintf(stderr, "velmora: the damaged settings file was kept as %s\n", backup.c_str());
            break;
        }
        case CSettingsFileState::Unreadable:
            if (!settingsChanged) return true;
            std::fprintf(stderr, "velmora: the settings were not saved: %s cannot be read, so it is not replaced\n",
                         path.c_str());
            return false;
    }
    std::string error;
    if (!WriteSettingsFile(path, block, error)) {
        std::fprintf(stderr, "velmora: the settings were not saved: %s\n", error.c_str());
        return false;
    }
    file.state = CSettingsFileState::Valid;
    file.contents = block;
    return true;
}
