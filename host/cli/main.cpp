// velmora: the command-line host. Loads the component, keeps its settings,
// and offers its services as commands.
#include "host/cli/collection_command.h"
#include "host/cli/commands.h"
#include "host/cli/component_library.h"
#include "host/cli/settings_session.h"
#include "host/cli/version.h"
#include "host/objects/settings_file.h"
#include "host/objects/velmora_host.h"
#include "platform/clock.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const mainHelp =
    "Usage: velmora [OPTIONS] COMMAND [ARGUMENTS]\n"
    "\n"
    "Loads the tessarine MIDI decoder component and runs one command.\n"
    "\n"
    "Commands:\n"
    "  about                    the component's registrations and version texts\n"
    "  config list              every setting as NAME=VALUE, in the component's order\n"
    "  config get NAME          one setting's value\n"
    "  config set NAME VALUE    change a setting (saved when the host exits)\n"
    "  config reset             every setting back to its default\n"
    "  info [--json] FILE...    each file's length and tags\n"
    "  decode FILE -o OUT       a file to WAV, FLAC or Ogg Vorbis audio\n"
    "                           [--format F] [--from SECONDS] [--set NAME=VALUE]\n"
    "  prefs show               the preferences page's controls and their state\n"
    "  prefs set OPTIONS        change settings through the preferences page\n"
    "  prefs render OUT.png     draw the preferences page\n"
    "\n"
    "Options:\n"
    "  --help                   this text; after a command, that command's help\n"
    "  --verbose                show the component's diagnostic lines on stderr\n"
    "  --speed RATE|max         run the platform clock RATE (0.01 to 1000) times\n"
    "                           real time, or as fast as the synthesizer renders (max)\n"
    "  --component PATH         load this component library instead of\n"
    "                           <folder of velmora>/../lib/libtessarine.so\n"
    "\n"
    "Settings are kept in $VELMORA_CONFIG, else $XDG_CONFIG_HOME/velmora/tessarine.cfg,\n"
    "else ~/.config/velmora/tessarine.cfg.\n"
    "\n"
    "Exit status: 0 on success, 1 when the work failed, 2 for a usage error.\n";

// The fixed clock rates --speed takes.
constexpr double minimumSpeed = 0.01;
constexpr double maximumSpeed = 1000;

struct COptions {
    bool help = false;
    bool verbose = false;
    double speed = 0;  // 0: real time
    bool speedMax = false;  // the clock follows the synthesizer
    std::string componentPath;
    std::vector<std::string> words;
    CTrackOptions track;
    // Track options given, for the check that the command takes them.
    std::vector<std::string> trackOptionNames;
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "velmora: %s\nTry 'velmora --help'.\n", message.c_str());
    return exitUsage;
}

// Options may stand anywhere; "--" ends them. Words that begin with a single
// '-' are arguments, so "config set MIDIOutputPort -1" works.
bool ParseOptions(int argc, char** argv, COptions& options, std::string& error) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
            if (!optionsEnded && word == "-h") {
                options.help = true;
                continue;
            }
            if (!optionsEnded && word == "-o") {
                if (i + 1 >= argc) {
                    error = "option -o needs a value";
                    return false;
                }
                options.track.output = argv[++i];
                options.trackOptionNames.push_back("-o");
                continue;
            }
            options.words.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = word, value;
        bool hasValue = false;
        size_t equals = word.find('=');
        if (equals != std::string::npos) {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
            hasValue = true;
        }
        auto takeValue = [&]() {
            if (hasValue) return true;
            if (i + 1 >= argc) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        if (name == "--help" && !hasValue) {
            options.help = true;
        } else if (name == "--verbose" && !hasValue) {
            options.verbose = true;
        } else if (name == "--speed") {
            if (!takeValue()) return false;
            options.speedMax = value == "max";
            options.speed = 0;
            const char* first = value.data();
            const char* last = value.data() + value.size();
            auto [end, status] = std::from_chars(first, last, options.speed);
            if (options.speedMax) {
                options.speed = 0;
            } else if (status != std::errc() || end != last || !std::isfinite(options.speed) || options.speed <= 0) {
                error = "--speed needs 'max' or a rate above 0, not '" + value + "'";
                return false;
            } else if (options.speed < minimumSpeed || options.speed > maximumSpeed) {
                // Past these the synthesizer cannot keep up with the clock, or a
                // second of music takes hours: neither gives the song.
                error = "--speed " + value + " is out of range: give a rate from 0.01 to 1000, or max (as fast as the "
                        "synthesizer renders)";
                return false;
            }
        } else if (name == "--component") {
            if (!takeValue()) return false;
            if (value.empty()) {
                error = "--component needs a path";
                return false;
            }
            options.componentPath = value;
        } else if (name == "--output" || name == "--format" || name == "--from" || name == "--set") {
            if (!takeValue()) return false;
            if (name == "--output") options.track.output = value;
            else if (name == "--format") options.track.format = value;
            else if (name == "--from") options.track.from = value;
            else options.track.settings.push_back(value);
            options.trackOptionNames.push_back(name);
        } else if (name == "--json" && !hasValue) {
            options.track.json = true;
            options.trackOptionNames.push_back(name);
        } else if (!options.words.empty()) {
            // After the command's name, other options are the command's own.
            options.words.push_back(word);
        } else {
            error = "unknown option " + word;
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CVelmoraHost::UseUtf8Locale();
    COptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) return UsageError(error);

    const CCommand* command = nullptr;
    size_t argumentStart = 0;
    if (!options.words.empty()) {
        command = FindCommand(options.words, argumentStart);
        if (!command) {
            std::string named = options.words[0];
            if (argumentStart > 0) named += " " + options.words[argumentStart];
            return UsageError("unknown command '" + named + "'");
        }
    }
    if (options.help) {
        std::fputs(command ? command->help : mainHelp, stdout);
        if (command && command->run == RunDecodeCommand) std::fputs(decodeCollectionHelp, stdout);
        return exitSuccess;
    }
    if (!command) {
        std::fputs(mainHelp, stderr);
        return exitUsage;
    }
    if (!command->run) {
        // A group such as "config" without its subcommand.
        std::fprintf(stderr, "velmora: '%s' needs a subcommand\n\n", command->name);
        std::fputs(command->help, stderr);
        return exitUsage;
    }
    std::vector<std::string> arguments(options.words.begin() + static_cast<long>(argumentStart), options.words.end());
    if (static_cast<int>(arguments.size()) < command->minimumArguments ||
        static_cast<int>(arguments.size()) > command->maximumArguments) {
        std::fprintf(stderr, "velmora: wrong number of arguments for '%s'\n\n", command->name);
        std::fputs(command->help, stderr);
        return exitUsage;
    }

    // Each track option belongs to one command.
    for (const std::string& name : options.trackOptionNames) {
        const bool fits = name == "--json" ? command->run == RunInfo : command->run == RunDecodeCommand;
        if (!fits) return UsageError("option " + name + " does not go with '" + std::string(command->name) + "'");
    }
    if (options.speedMax) platform::SetClockSpeed("max");
    else if (options.speed > 0) platform::SetClockRate(options.speed);
    else if (command->run == RunDecodeCommand) platform::SetClockSpeed(defaultDecodeSpeed);
    options.track.speedGiven = options.speedMax || options.speed > 0;
    options.track.component = options.componentPath;

    int status;
    {
        CVelmoraHost host;
        host.Console().SetVerbose(options.verbose);
        CComponentLibrary library;
        std::string path = options.componentPath.empty() ? GetDefaultComponentPath() : options.componentPath;
        if (!library.Load(path, &host, error)) {
            std::fprintf(stderr, "velmora: %s\n", error.c_str());
            return exitFailure;
        }
        CSettingsSession settings(library.Component(), GetSettingsFilePath());
        settings.Start();

        CCommandContext context{library, settings, arguments, false, &host, &options.track};
        status = command->run(context);
        // A failed command saves nothing.
        if (status == exitSuccess && !settings.Finish(context.settingsChanged)) status = exitFailure;
        library.Unload();
    }
    return status;
}
