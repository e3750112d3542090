// Windows: velmora.exe decodes one file at a time; the collection job, which
// spawns a process per file and waits on them the POSIX way, is the Linux
// host's.
#include "host/cli/collection_jobs.h"

#include <cstdio>

int RunCollection(CCommandContext&, const CCollectionOptions&)
{
    std::fprintf(stderr, "velmora: decoding a collection (several files, a folder, -o DIR/ or --jobs, --skip-existing, "
                         "--report, --shard) needs the Linux velmora; velmora.exe decodes one FILE to -o OUT\n");
    return exitUsage;
}
