// Set when the user asked the host to stop (Ctrl-C, termination, a hang-up):
// the host's long loops, over archive members and their copies as over the
// decoded blocks, end early when they see it.
#pragma once

#include <atomic>

inline std::atomic<bool> interruptRequested{false};
