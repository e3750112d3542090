// The settings for one run of the host: loaded from the settings file at
// start, saved at exit only when a command changed one. The save merges
// this run's changes into the file as it is by then, under the file's lock,
// so hosts changing settings at once lose none, and records the component
// does not know are kept as they are. A damaged file is reported and left
// as it is; it is replaced only when a command changes a setting, and then
// only after a backup of it was kept.
#pragma once

#include "host/objects/settings_block.h"
#include "host/objects/settings_file.h"
#include "sdk/velmora/host_contract.h"

#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> GetSettingsBlock(CComponentInterface* component);
std::vector<CSettingsRecord> GetSettingsRecords(CComponentInterface* component);

// Hands one setting, as the user typed it, to the component: the one parser
// of config set and --set. False, with the message on stderr, for a name the
// component does not have or a value that does not suit it; change gets the
// record handed over.
bool ChangeSetting(CComponentInterface* component, const std::string& name, const std::string& text,
                   CSettingsRecord& change);

class CSettingsSession {
public:
    CSettingsSession(CComponentInterface* component, std::string path);

    // Reads the file and hands its records to the component (for a damaged
    // file, the records before the damage). Remembers the defaults first.
    void Start();
    // With settingsChanged, saves the settings this run changed. False,
    // with the reason on stderr, when saving failed.
    bool Finish(bool settingsChanged);

    const std::vector<uint8_t>& Defaults() const { return defaults; }
    const std::string& Path() const { return path; }

private:
    CComponentInterface* component;
    std::string path;
    CSettingsFile file;
    std::vector<uint8_t> defaults;
    std::vector<uint8_t> loaded;  // the component's settings once the file was read
};
