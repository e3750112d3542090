// The part of POSIX signal handling that the decode's Ctrl-C guard uses,
// over the C runtime's signal(): Windows has no sigaction. Included ahead of
// the sources that use it by the Windows build (host/CMakeLists.txt).
#pragma once

#include <csignal>

// Windows raises neither: a closed console ends the process, and a failed
// write is an error of the write itself. Numbers the C runtime refuses, so
// setting them changes nothing.
#ifndef SIGHUP
#define SIGHUP 1
#endif
#ifndef SIGPIPE
#define SIGPIPE 13
#endif

struct sigaction {
    void (*sa_handler)(int);
    unsigned long sa_mask;
    int sa_flags;
};

inline int sigemptyset(unsigned long* set)
{
    *set = 0;
    return 0;
}

inline int sigaction(int number, const struct sigaction* action, struct sigaction* previous)
{
    void (*before)(int) = std::signal(number, action ? action->sa_handler : SIG_DFL);
    if (before == SIG_ERR) return number == SIGHUP || number == SIGPIPE ? 0 : -1;
    if (!action) std::signal(number, before);
    if (previous) *previous = {before, 0, 0};
    return 0;
}
