// The settings tessarine keeps in its settings block, as it publishes them to
// whoever loads it: each record's name, how its data is read, and the whole
// numbers it can work with. The block itself carries only names and bytes
// (four bytes are an integer or a float alike), so a host that shows or
// changes a value reads its kind here. The component declares its variables
// by these names and kinds and checks them against this table when it builds.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

namespace tessarine {

enum class CSettingKind { Integer, Float, Text };

struct CSettingDescription {
    const char* name;
    CSettingKind kind;
    // For an integer, the values the component works with: a block size
    // below 4 bytes never fills, there is no port below -1, and a pad before
    // the music, in seconds, is held to what 32 bits carry in 100-ns units.
    int64_t minimum;
    int64_t maximum;
};

inline constexpr int64_t settingIntMin = std::numeric_limits<int32_t>::min();
inline constexpr int64_t settingIntMax = std::numeric_limits<int32_t>::max();

// In the order the component makes them ("MIDILog" first); it saves them in
// the reverse order.
inline constexpr CSettingDescription settingDescriptions[] = {
    {"MIDILog", CSettingKind::Integer, settingIntMin, settingIntMax},
    {"MIDIOutputBuffer", CSettingKind::Integer, 4, settingIntMax},
    {"MIDIPadBefore", CSettingKind::Integer, 0, settingIntMax / 10000000},
    {"MIDIOutputPort", CSettingKind::Integer, -1, settingIntMax},
    {"MIDIReverb", CSettingKind::Integer, settingIntMin, settingIntMax},
    {"MIDIChorus", CSettingKind::Integer, settingIntMin, settingIntMax},
    {"MIDIMasterVolume", CSettingKind::Integer, settingIntMin, settingIntMax},
    {"MIDIMasterTempo", CSettingKind::Float, 0, 0},
    {"MIDIUseCustomDLS", CSettingKind::Integer, settingIntMin, settingIntMax},
    {"MIDICustomDLS", CSettingKind::Text, 0, 0},
};

// The description of that name; null for a name tessarine does not keep.
constexpr const CSettingDescription* FindSettingDescription(std::string_view name)
{
    for (const CSettingDescription& description : settingDescriptions)
        if (name == description.name) return &description;
    return nullptr;
}

}  // namespace tessarine
