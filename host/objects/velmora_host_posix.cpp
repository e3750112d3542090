// The host's main window on Linux: a window of the platform's window table,
// whose messages are handled as they are sent.
#include "host/objects/velmora_host.h"

#include <clocale>
#include <cstring>
#include <string>

HWND CVelmoraHost::OpenMainWindow()
{
    return CreateWindowExA(0, "#32770", "Velmora", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, 0, 640, 480, nullptr,
                           nullptr, nullptr, nullptr);
}

void CVelmoraHost::CloseMainWindow(HWND window) { DestroyWindow(window); }

void CVelmoraHost::UseUtf8Locale()
{
    const char* named = std::setlocale(LC_CTYPE, "");
    const std::string chosen = named ? named : "C";
    auto isUtf8 = [](const char* name) {
        return name && (std::strstr(name, "UTF-8") || std::strstr(name, "utf8") || std::strstr(name, "UTF8") ||
                        std::strstr(name, "utf-8"));
    };
    if (isUtf8(chosen.c_str())) return;
    if (!isUtf8(std::setlocale(LC_CTYPE, "C.UTF-8"))) std::setlocale(LC_CTYPE, chosen.c_str());
}
