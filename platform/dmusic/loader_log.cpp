// The loader's diagnostic lines, off unless TESSARINE_DMUSIC_TRACE is set.
#include "platform/dmusic/loader_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace dmusic {

void LoaderTrace(const char* format, ...)
{
    static const bool enabled = std::getenv("TESSARINE_DMUSIC_TRACE") != nullptr;
    if (!enabled) return;
    std::va_list args;
    va_start(args, format);
    std::fputs("dmusic: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}

}  // namespace dmusic
