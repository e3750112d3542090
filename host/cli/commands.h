// The host's commands.
#pragma once

#include "host/cli/component_library.h"
#include "host/cli/settings_session.h"
#include "host/objects/velmora_host.h"

#include <string>
#include <vector>

enum { exitSuccess = 0, exitFailure = 1, exitUsage = 2 };

// The clock of a decode without --speed: time follows the synthesizer, which
// renders as fast as it can and gives the notes and length of real time.
inline constexpr const char* defaultDecodeSpeed = "max";

// Options of the track commands (info, decode).
struct CTrackOptions {
    std::string output;                 // -o / --output
    std::string format;                 // --format
    std::string from;                   // --from, as typed; empty when not given
    std::vector<std::string> settings;  // --set NAME=VALUE, in order
    bool json = false;                  // --json
    bool speedGiven = false;            // --speed was on the command line
    std::string component;              // --component, when given
};

struct CCommandContext {
    CComponentLibrary& library;
    CSettingsSession& settings;
    std::vector<std::string> arguments;
    bool settingsChanged;
    CVelmoraHost* host = nullptr;
    const CTrackOptions* trackOptions = nullptr;
};

struct CCommand {
    const char* name;  // as typed: "about", "config set"
    const char* help;
    int minimumArguments;
    int maximumArguments;
    int (*run)(CCommandContext& context);  // null for a group of subcommands
};

// The command the words name (one word, or a group and its subcommand);
// argumentStart gets the index of the first argument. Null when unknown
// (argumentStart then tells whether the group was known: 1 if so).
const CCommand* FindCommand(const std::vector<std::string>& words, size_t& argumentStart);

int RunAbout(CCommandContext& context);
int RunConfigList(CCommandContext& context);
int RunConfigGet(CCommandContext& context);
int RunConfigSet(CCommandContext& context);
int RunConfigReset(CCommandContext& context);
int RunInfo(CCommandContext& context);
int RunDecode(CCommandContext& context);
// Help texts of the track commands.
extern const char* const infoHelp;
extern const char* const decodeHelp;
int RunPrefsShow(CCommandContext& context);
int RunPrefsSet(CCommandContext& context);
int RunPrefsRender(CCommandContext& context);
