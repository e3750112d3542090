// The host's main window on Linux: a window of the platform's window table,
// whose messages are handled as they are sent.
#include "host/objects/velmora_host.h"

HWND CVelmoraHost::OpenMainWindow() {
    return CreateWindowExA(0, "#32770", "Velmora", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, 0, 640, 480, nullptr,
                           nullptr, nullptr, nullptr);
}

void CVelmoraHost::CloseMainWindow(HWND window) { DestroyWindow(window); }
