// The part of POSIX signal handling that the decode's Ctrl-C guard uses,
// over the C runtime's signal(): Windows has no sigaction. Included ahead of
// the sources that use it by the Windows build (host/CMakeLists.txt).
#pragma once

#include <csignal>

struct sigaction {
    void (*sa_handler)(int);
    unsigned long sa_mask;
    int sa_flags;
};

inline int sigemptyset(unsigned long* set) {
    *set = 0;
    return 0;
}

inline int sigaction(int number, const struct sigaction* action, struct sigaction* previous) {
    void (*before)(int) = std::signal(number, action ? action->sa_handler : SIG_DFL);
    if (before == SIG_ERR) return -1;
    if (!action) std::signal(number, before);
    if (previous) *previous = {before, 0, 0};
    return 0;
}
