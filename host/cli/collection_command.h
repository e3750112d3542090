// velmora decode over a collection: several files, folders or archives to
// one folder, each file decoded by a process of its own, several at once.
#pragma once

#include "host/cli/commands.h"

#include <string>
#include <vector>

// What decode does with its arguments: one file to -o OUT through RunDecode,
// or, when it names several files, a folder as OUT, or collection options,
// the collection job.
int RunDecodeCommand(CCommandContext& context);

// The collection part of decode's help.
extern const char* const decodeCollectionHelp;

// The collection options, taken out of decode's arguments.
struct CCollectionOptions {
    std::vector<std::string> files;
    int jobs = 0;  // 0: one per core
    bool skipExisting = false;
    std::string report;
    int shardIndex = 0, shardCount = 0;  // --shard K/N: 1-based K, or 0/0
    bool given = false;                  // any collection option was given
};

// Parses decode's arguments; false with error set on bad usage.
bool ParseCollectionOptions(const std::vector<std::string>& arguments, CCollectionOptions& options, std::string& error);

// One file of a collection and where it goes.
struct CCollectionItem {
    std::string input;  // a path, or archive://ARCHIVE|MEMBER
    std::string name;   // the output's name without extension, unique in the collection
};

// Names the sorted inputs: the file (or member) name without its extension,
// with -2, -3 ... after the first where names repeat.
std::vector<CCollectionItem> NameCollection(std::vector<std::string> inputs);

// The K-th of N shares of a named collection (K from 1): every N-th item.
std::vector<CCollectionItem> TakeShard(const std::vector<CCollectionItem>& items, int index, int count);
