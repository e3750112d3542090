// The collection job of decode: each system's own (collection_jobs_posix.cpp;
// collection_jobs_win.cpp refuses it).
#pragma once

#include "host/cli/collection_command.h"

// Lists, names and decodes the collection; the exit status of decode.
int RunCollection(CCommandContext& context, const CCollectionOptions& options);
