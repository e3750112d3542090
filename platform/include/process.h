// _beginthreadex, as the C runtime of Windows gives it.
#pragma once

#include <windows.h>

extern "C" {
// Starts a thread running start(argument); CREATE_SUSPENDED in initFlag keeps
// it waiting for ResumeThread. Returns the thread handle (close it with
// CloseHandle; waiting on it waits for the thread's end), or 0.
uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned(WINAPI* start)(void*), void* argument,
                         unsigned initFlag, unsigned* threadId);
}
