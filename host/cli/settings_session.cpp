// Loading and saving the settings around a run of the host.
#include "host/cli/settings_session.h"

#include <cstdio>

std::vector<uint8_t> GetSettingsBlock(CComponentInterface* component)
{
    CSettingsBuffer buffer;
    component->SaveSettings(&buffer);
    return buffer.Bytes();
}

std::vector<CSettingsRecord> GetSettingsRecords(CComponentInterface* component)
{
    return ParseSettingsBlock(GetSettingsBlock(component)).records;
}

bool ChangeSetting(CComponentInterface* component, const std::string& name, const std::string& text,
                   CSettingsRecord& change)
{
    std::string message;
    if (!ParseSettingChange(GetSettingsRecords(component), name, text, change, message)) {
        std::fprintf(stderr, "velmora: %s\n", message.c_str());
        return false;
    }
    const std::vector<uint8_t> block = BuildSettingsBlock({change});
    component->LoadSettings(block.data(), static_cast<uint32_t>(block.size()));
    return true;
}

CSettingsSession::CSettingsSession(CComponentInterface* component, std::string path)
    : component(component), path(std::move(path))
{}

void CSettingsSession::Start()
{
    defaults = GetSettingsBlock(component);
    file = ReadSettingsFile(path);
    switch (file.state) {
    case CSettingsFileState::Missing: break;
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
        std::fprintf(stderr, "velmora: cannot read the settings file %s (%s); the defaults are used.\n", path.c_str(),
                     file.error.c_str());
        break;
    }
    loaded = GetSettingsBlock(component);
}

namespace {

// Puts each record in place of those of its name in records, or after them.
void Merge(std::vector<CSettingsRecord>& records, const std::vector<CSettingsRecord>& changes)
{
    for (const CSettingsRecord& change : changes) {
        bool found = false;
        for (CSettingsRecord& record : records)
            if (record.name == change.name) {
                record.data = change.data;
                found = true;
            }
        if (!found) records.push_back(change);
    }
}

// The records of now that differ from those of the same name in before.
std::vector<CSettingsRecord> Changes(const std::vector<uint8_t>& before, const std::vector<uint8_t>& now)
{
    const std::vector<CSettingsRecord> old = ParseSettingsBlock(before).records;
    std::vector<CSettingsRecord> changed;
    for (const CSettingsRecord& record : ParseSettingsBlock(now).records) {
        bool same = false;
        for (const CSettingsRecord& earlier : old)
            same = same || (earlier.name == record.name && earlier.data == record.data);
        if (!same) changed.push_back(record);
    }
    return changed;
}

}  // namespace

namespace {

// What the file should hold: this run's changes merged into the file as it
// is now. False (with the reason on stderr) when it must not be replaced;
// true with unchanged set when it holds them already.
bool MergeIntoFile(const std::string& path, const CSettingsFile& now, const std::vector<uint8_t>& block,
                   const std::vector<CSettingsRecord>& changes, std::vector<CSettingsRecord>& records, bool& unchanged)
{
    std::string error;
    unchanged = false;
    switch (now.state) {
    case CSettingsFileState::Valid:
        if (!now.contents.empty()) {
            if (changes.empty()) return unchanged = true, true;
            records = now.parse.records;
            Merge(records, changes);
            return true;
        }
        [[fallthrough]];  // the lock's own empty file: as good as missing
    case CSettingsFileState::Missing: records = ParseSettingsBlock(block).records; return true;
    case CSettingsFileState::Corrupt: {
        std::string backup;
        if (!BackUpSettingsFile(path, now.contents, backup, error)) {
            std::fprintf(stderr, "velmora: the settings were not saved: %s\n", error.c_str());
            return false;
        }
        std::fprintf(stderr, "velmora: the damaged settings file was kept as %s\n", backup.c_str());
        records = now.parse.records;
        Merge(records, ParseSettingsBlock(block).records);
        return true;
    }
    case CSettingsFileState::Unreadable: break;
    }
    std::fprintf(stderr, "velmora: the settings were not saved: %s cannot be read, so it is not replaced\n",
                 path.c_str());
    return false;
}

}  // namespace

bool CSettingsSession::Finish(bool settingsChanged)
{
    // A command that changed nothing leaves the file to the hosts that do.
    if (!settingsChanged) return true;
    const std::vector<uint8_t> block = GetSettingsBlock(component);
    const std::vector<CSettingsRecord> changes = Changes(loaded, block);
    if (changes.empty() && file.state != CSettingsFileState::Corrupt) return true;
    std::string error;
    CSettingsFileLock lock;
    if (!lock.Acquire(path, error)) {
        std::fprintf(stderr, "velmora: the settings were not saved: %s\n", error.c_str());
        return false;
    }
    // The file as other hosts may have left it since this one started.
    const CSettingsFile now = ReadSettingsFile(path);
    std::vector<CSettingsRecord> records;
    bool unchanged = false;
    if (!MergeIntoFile(path, now, block, changes, records, unchanged)) return false;
    if (unchanged) return true;
    const std::vector<uint8_t> merged = BuildSettingsBlock(records);
    if (now.state == CSettingsFileState::Valid && merged == now.contents) return true;
    if (!WriteSettingsFile(path, merged, error)) {
        std::fprintf(stderr, "velmora: the settings were not saved: %s\n", error.c_str());
        return false;
    }
    file = ReadSettingsFile(path);
    loaded = block;
    return true;
}
