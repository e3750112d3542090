// The file in which the host keeps the component's settings block. It is
// replaced whole (a temporary file beside it, synced, renamed over it), so
// a crash leaves the old file or the new one, never half of one; a symbolic
// link to it stays a link. Hosts that change settings at once take turns
// under CSettingsFileLock.
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

// The file that path names, through symbolic links (also to a file that is
// not there yet).
std::string ResolveSettingsPath(const std::string& path);

// Held while one host reads the settings file, merges its changes into it
// and replaces it: another host that changes settings waits meanwhile, so
// each sees what the others saved.
class CSettingsFileLock {
public:
    CSettingsFileLock() = default;
    ~CSettingsFileLock();
    CSettingsFileLock(const CSettingsFileLock&) = delete;
    CSettingsFileLock& operator=(const CSettingsFileLock&) = delete;

    // Waits for the lock; false (and why in error) when it cannot be had.
    bool Acquire(const std::string& path, std::string& error);

private:
    intptr_t handle = -1;
};

// Writes the block in place of the file (of a link's target), creating its
// folder when needed.
bool WriteSettingsFile(const std::string& path, const std::vector<uint8_t>& block, std::string& error);

// Keeps contents next to path under a name no file has yet (path.corrupt,
// path.corrupt.1, ...); backupPath gets the name used.
bool BackUpSettingsFile(const std::string& path, const std::vector<uint8_t>& contents, std::string& backupPath,
                        std::string& error);
