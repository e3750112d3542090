// The host's commands.
#pragma once

#include "host/cli/component_library.h"
#include "host/cli/settings_session.h"

#include <string>
#include <vector>

enum { exitSuccess = 0, exitFailure = 1, exitUsage = 2 };

struct CCommandContext {
    CComponentLibrary& library;
    CSettingsSession& settings;
    std::vector<std::string> arguments;
    bool settingsChanged;
    CHostInterface* host = nullptr;
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
int RunPrefsShow(CCommandContext& context);
int RunPrefsSet(CCommandContext& context);
int RunPrefsRender(CCommandContext& context);
