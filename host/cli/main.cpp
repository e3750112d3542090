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

const char* const mainHelp = "Usage: velmora [OPTIONS] COMMAND [ARGUMENTS]\n"
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
    double speed = 0;       // 0: real time
    bool speedMax = false;  // the clock follows the synthesizer
    std::string componentPath;
    std::vector<std::string> words;
    CTrackOptions track;
    // Track options given, for the check that the command takes them.
    std::vector<std::string> trackOptionNames;
};

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "velmora: %s\nTry 'velmora --help'.\n", message.c_str());
    return exitUsage;
}

// The words of the command line and where the parse stands in them.
struct CArgumentCursor {
    int argc;
    char** argv;
    int index;
};

// --speed's value: max, or a rate within the clock's range.
bool ParseSpeed(const std::string& value, COptions& options, std::string& error)
{
    options.speedMax = value == "max";
    options.speed = 0;
    if (options.speedMax) return true;
    const char* first = value.data();
    const char* last = value.data() + value.size();
    auto [end, status] = std::from_chars(first, last, options.speed);
    if (status != std::errc() || end != last || !std::isfinite(options.speed) || options.speed <= 0) {
        error = "--speed needs 'max' or a rate above 0, not '" + value + "'";
        return false;
    }
    if (options.speed < minimumSpeed || options.speed > maximumSpeed) {
        // Past these the synthesizer cannot keep up with the clock, or a
        // second of music takes hours: neither gives the song.
        error = "--speed " + value +
                " is out of range: give a rate from 0.01 to 1000, or max (as fast as the "
                "synthesizer renders)";
        return false;
    }
    return true;
}

// A word that is not a "--" option: -h, -o OUT, or a word of the command.
bool ParseWord(CArgumentCursor& cursor, bool optionsEnded, COptions& options, std::string& error)
{
    const std::string word = cursor.argv[cursor.index];
    if (!optionsEnded && word == "-h") {
        options.help = true;
    } else if (!optionsEnded && word == "-o") {
        if (cursor.index + 1 >= cursor.argc) {
            error = "option -o needs a value";
            return false;
        }
        options.track.output = cursor.argv[++cursor.index];
        options.trackOptionNames.push_back("-o");
    } else {
        options.words.push_back(word);
    }
    return true;
}

// The options of the track commands: -o's long form, --format, --from, --set.
void TakeTrackOption(const std::string& name, const std::string& value, COptions& options)
{
    if (name == "--output")
        options.track.output = value;
    else if (name == "--format")
        options.track.format = value;
    else if (name == "--from")
        options.track.from = value;
    else
        options.track.settings.push_back(value);
    options.trackOptionNames.push_back(name);
}

// One "--" option, NAME=VALUE or NAME VALUE.
bool ParseLongOption(CArgumentCursor& cursor, COptions& options, std::string& error)
{
    const std::string word = cursor.argv[cursor.index];
    std::string name = word, value;
    const size_t equals = word.find('=');
    const bool hasValue = equals != std::string::npos;
    if (hasValue) {
        name = word.substr(0, equals);
        value = word.substr(equals + 1);
    }
    auto takeValue = [&]() {
        if (hasValue) return true;
        if (cursor.index + 1 >= cursor.argc) {
            error = "option " + name + " needs a value";
            return false;
        }
        value = cursor.argv[++cursor.index];
        return true;
    };
    if (name == "--help" && !hasValue) {
        options.help = true;
    } else if (name == "--verbose" && !hasValue) {
        options.verbose = true;
    } else if (name == "--speed") {
        return takeValue() && ParseSpeed(value, options, error);
    } else if (name == "--component") {
        if (!takeValue()) return false;
        if (value.empty()) return error = "--component needs a path", false;
        options.componentPath = value;
    } else if (name == "--output" || name == "--format" || name == "--from" || name == "--set") {
        if (!takeValue()) return false;
        TakeTrackOption(name, value, options);
    } else if (name == "--json" && !hasValue) {
        options.track.json = true;
        options.trackOptionNames.push_back(name);
    } else if (!options.words.empty()) {
        // After the command's name, other options are the command's own.
        options.words.push_back(word);
    } else {
        return error = "unknown option " + word, false;
    }
    return true;
}

// Options may stand anywhere; "--" ends them. Words that begin with a single
// '-' are arguments, so "config set MIDIOutputPort -1" works.
bool ParseOptions(int argc, char** argv, COptions& options, std::string& error)
{
    bool optionsEnded = false;
    for (CArgumentCursor cursor{argc, argv, 1}; cursor.index < argc; ++cursor.index) {
        const std::string word = argv[cursor.index];
        const bool isLong = !optionsEnded && word.size() >= 2 && word.compare(0, 2, "--") == 0;
        if (isLong && word == "--") {
            optionsEnded = true;
        } else if (isLong) {
            if (!ParseLongOption(cursor, options, error)) return false;
        } else if (!ParseWord(cursor, optionsEnded, options, error)) {
            return false;
        }
    }
    return true;
}

// The command the words name, its arguments in arguments; null with status
// set when there is none to run (help given, or a usage error).
const CCommand* ChooseCommand(const COptions& options, std::vector<std::string>& arguments, int& status)
{
    const CCommand* command = nullptr;
    size_t argumentStart = 0;
    if (!options.words.empty()) {
        command = FindCommand(options.words, argumentStart);
        if (!command) {
            std::string named = options.words[0];
            if (argumentStart > 0) named += " " + options.words[argumentStart];
            status = UsageError("unknown command '" + named + "'");
            return nullptr;
        }
    }
    if (options.help) {
        std::fputs(command ? command->help : mainHelp, stdout);
        if (command && command->run == RunDecodeCommand) std::fputs(decodeCollectionHelp, stdout);
        status = exitSuccess;
        return nullptr;
    }
    status = exitUsage;
    if (!command) {
        std::fputs(mainHelp, stderr);
        return nullptr;
    }
    if (!command->run) {
        // A group such as "config" without its subcommand.
        std::fprintf(stderr, "velmora: '%s' needs a subcommand\n\n", command->name);
        std::fputs(command->help, stderr);
        return nullptr;
    }
    arguments.assign(options.words.begin() + static_cast<long>(argumentStart), options.words.end());
    return command;
}

// The command's arguments and track options; false with the usage error shown.
bool CheckUsage(const CCommand& command, const COptions& options, const std::vector<std::string>& arguments,
                int& status)
{
    if (static_cast<int>(arguments.size()) < command.minimumArguments ||
        static_cast<int>(arguments.size()) > command.maximumArguments) {
        std::fprintf(stderr, "velmora: wrong number of arguments for '%s'\n\n", command.name);
        std::fputs(command.help, stderr);
        status = exitUsage;
        return false;
    }
    // Each track option belongs to one command.
    for (const std::string& name : options.trackOptionNames) {
        const bool fits = name == "--json" ? command.run == RunInfo : command.run == RunDecodeCommand;
        if (!fits) {
            status = UsageError("option " + name + " does not go with '" + std::string(command.name) + "'");
            return false;
        }
    }
    return true;
}

void SetClock(const CCommand& command, COptions& options)
{
    if (options.speedMax)
        platform::SetClockSpeed("max");
    else if (options.speed > 0)
        platform::SetClockRate(options.speed);
    else if (command.run == RunDecodeCommand)
        platform::SetClockSpeed(defaultDecodeSpeed);
    options.track.speedGiven = options.speedMax || options.speed > 0;
    options.track.component = options.componentPath;
}

// Loads the component, runs the command between loading and saving the
// settings, and unloads it.
int RunWithComponent(const CCommand& command, COptions& options, const std::vector<std::string>& arguments)
{
    CVelmoraHost host;
    host.Console().SetVerbose(options.verbose);
    CComponentLibrary library;
    std::string error;
    const std::string path = options.componentPath.empty() ? GetDefaultComponentPath() : options.componentPath;
    if (!library.Load(path, &host, error)) {
        std::fprintf(stderr, "velmora: %s\n", error.c_str());
        return exitFailure;
    }
    CSettingsSession settings(library.Component(), GetSettingsFilePath());
    settings.Start();

    CCommandContext context{library, settings, arguments, false, &host, &options.track};
    int status = command.run(context);
    // A failed command saves nothing.
    if (status == exitSuccess && !settings.Finish(context.settingsChanged)) status = exitFailure;
    library.Unload();
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    CVelmoraHost::UseUtf8Locale();
    COptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) return UsageError(error);
    std::vector<std::string> arguments;
    int status = exitUsage;
    const CCommand* command = ChooseCommand(options, arguments, status);
    if (!command || !CheckUsage(*command, options, arguments, status)) return status;
    SetClock(*command, options);
    return RunWithComponent(*command, options, arguments);
}
