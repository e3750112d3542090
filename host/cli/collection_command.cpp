// decode over a collection: the options, the naming and sharding of the
// inputs, and the choice between one file and a collection. The jobs
// themselves are each system's (collection_jobs_posix.cpp; Windows refuses).
#include "host/cli/collection_command.h"

#include "host/cli/collection_jobs.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

const char* const decodeCollectionHelp = "\n"
                                         "Usage: velmora decode FILE... -o DIR/ [--jobs N] [--skip-existing]\n"
                                         "                      [--report FILE.jsonl] [--shard K/N] [--format ...]\n"
                                         "\n"
                                         "With several FILEs, a folder as OUT (an existing one, or a name ending in\n"
                                         "/) or any of the options below, every playable file goes to DIR/NAME.EXT:\n"
                                         "a folder gives the MIDI, RMID, XMI and segment files under it, an archive\n"
                                         "its playable members; NAME is the file's name without its extension, with\n"
                                         "-2, -3 ... where names repeat (in the sorted order of the inputs). Each\n"
                                         "file is decoded by a velmora process of its own.\n"
                                         "\n"
                                         "  --jobs N          files decoded at once (default: one per core)\n"
                                         "  --skip-existing   leave files whose DIR/NAME.EXT exists (resumes a run)\n"
                                         "  --report FILE     one JSON line per file: input, output, length, seconds,\n"
                                         "                    status (converted, skipped, failed, interrupted), error\n"
                                         "  --shard K/N       only the K-th of N fixed shares of the sorted inputs\n"
                                         "\n"
                                         "A progress bar goes to stderr when it is a terminal, else a line per file.\n"
                                         "Ctrl-C stops every job: the finished files stay, nothing partial does.\n"
                                         "Exit status: 0 when every file converted, 1 when any failed or the run was\n"
                                         "interrupted (the others still convert), 2 for bad usage.\n";

namespace {

bool ParseCount(const std::string& text, int& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [end, status] = std::from_chars(first, last, value);
    return status == std::errc() && end == last && value > 0;
}

// The name of a path or member without its folders and extension.
std::string StemOf(const std::string& input)
{
    size_t start = input.find_last_of("/\\|");
    std::string name = start == std::string::npos ? input : input.substr(start + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name.empty() ? std::string("track") : name;
}

bool LooksLikeFolderOutput(const std::string& output)
{
    std::error_code failure;
    return !output.empty() && (output.back() == '/' || std::filesystem::is_directory(output, failure));
}

}  // namespace

bool ParseCollectionOptions(const std::vector<std::string>& arguments, CCollectionOptions& options, std::string& error)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string word = arguments[i], value;
        const size_t equals = word.find('=');
        const bool isOption = word.size() > 2 && word.compare(0, 2, "--") == 0;
        std::string name = isOption && equals != std::string::npos ? word.substr(0, equals) : word;
        auto takeValue = [&]() {
            if (equals != std::string::npos && isOption) {
                value = word.substr(equals + 1);
                return true;
            }
            if (i + 1 >= arguments.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = arguments[++i];
            return true;
        };
        if (!isOption) {
            options.files.push_back(word);
            continue;
        }
        options.given = true;
        if (name == "--jobs") {
            if (!takeValue()) return false;
            if (!ParseCount(value, options.jobs)) {
                error = "--jobs needs a number of 1 or more, not '" + value + "'";
                return false;
            }
        } else if (name == "--skip-existing" && equals == std::string::npos) {
            options.skipExisting = true;
        } else if (name == "--report") {
            if (!takeValue()) return false;
            if (value.empty()) {
                error = "--report needs a file";
                return false;
            }
            options.report = value;
        } else if (name == "--shard") {
            if (!takeValue()) return false;
            const size_t slash = value.find('/');
            if (slash == std::string::npos || !ParseCount(value.substr(0, slash), options.shardIndex) ||
                !ParseCount(value.substr(slash + 1), options.shardCount) || options.shardIndex > options.shardCount) {
                error = "--shard needs K/N with 1 <= K <= N, not '" + value + "'";
                return false;
            }
        } else {
            error = "unknown option " + word + " for 'decode'";
            return false;
        }
    }
    if (options.files.empty()) {
        error = "decode needs a FILE";
        return false;
    }
    return true;
}

std::vector<CCollectionItem> NameCollection(std::vector<std::string> inputs)
{
    std::sort(inputs.begin(), inputs.end());
    inputs.erase(std::unique(inputs.begin(), inputs.end()), inputs.end());
    // Names are compared without case, so a folder on a file system that
    // ignores it still gets one file per input.
    auto key = [](std::string name) {
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return name;
    };
    std::set<std::string> stems, taken;
    for (const std::string& input : inputs) stems.insert(key(StemOf(input)));
    std::vector<CCollectionItem> items;
    for (const std::string& input : inputs) {
        const std::string stem = StemOf(input);
        std::string name = stem;
        // A repeat takes the first free -N that no other input's own name is.
        for (int n = 2; taken.count(key(name)) || (n > 2 && stems.count(key(name))); ++n)
            name = stem + "-" + std::to_string(n);
        taken.insert(key(name));
        items.push_back({input, name});
    }
    return items;
}

std::vector<CCollectionItem> TakeShard(const std::vector<CCollectionItem>& items, int index, int count)
{
    if (count <= 0) return items;
    std::vector<CCollectionItem> share;
    for (size_t i = 0; i < items.size(); ++i)
        if (int(i % size_t(count)) == index - 1) share.push_back(items[i]);
    return share;
}

int RunDecodeCommand(CCommandContext& context)
{
    CCollectionOptions options;
    std::string error;
    if (!ParseCollectionOptions(context.arguments, options, error)) {
        std::fprintf(stderr, "velmora: %s\n", error.c_str());
        return exitUsage;
    }
    const std::string output = context.trackOptions ? context.trackOptions->output : std::string();
    // A folder as the one FILE with a file as OUT stays a single decode, which
    // refuses it as not a regular file.
    const bool collection = options.given || options.files.size() > 1 || LooksLikeFolderOutput(output);
    if (!collection) {
        context.arguments = options.files;
        return RunDecode(context);
    }
    return RunCollection(context, options);
}
