// Diagnostic lines of the DirectMusic loader and file readers (what was
// skipped or repaired), printed to stderr when TESSARINE_DMUSIC_TRACE is set.
#pragma once

namespace dmusic {

void LoaderTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace dmusic
