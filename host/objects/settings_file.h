// The file in which the host keeps the component's settings block. It is
// replaced whole (a temporary file in the same folder, renamed over it), so
// a crash leaves the old file or the new one, never half of one.
#pragma once

#include "host/objects/settings_block.h"

#include <cstdint>
#include <string>
#include <vector>

// $VELMORA_CONFIG, else $XDG_CONFIG_HOME/velmora/tessarine.cfg, else
// ~/.config/velmora/tessarine.cfg.
std::string GetSettingsFilePath();

enum class CSettingsFileState {
    Missing,     // no file yet
    Valid,       // its records parse exactly to the end
    Corrupt,     // they do not: parse.records holds those before the damage
    Unreadable,  // it exists but cannot be read
};

struct CSettingsFile {
    CSettingsFileState state = CSettingsFileState::Missing;
    std::vector<uint8_t> contents;
    CSettingsParse parse;
    std::string error;  // why it is unreadable
};

CSettingsFile ReadSettingsFile(const std::string& path);

// Writes the block in place of the file, creating its folder when needed.
bool WriteSettingsFile(const std::string& path, const std::vector<uint8_t>& block, std::string& error);

// Keeps contents next to path under a name no file has yet (path.corrupt,
// path.corrupt.1, ...); backupPath gets the name used.
bool BackUpSettingsFile(const std::string& path, const std::vector<uint8_t>& contents, std::string& backupPath,
                        std::string& error);
