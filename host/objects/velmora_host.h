// The host interface handed to the component: its services by class and
// index (the file systems, then the console) and the main window.
#pragma once

#include "host/objects/archive_file_system.h"
#include "host/objects/console.h"
#include "host/objects/local_file_system.h"

#include <mutex>
#include <vector>

inline constexpr int32_t velmoraHostVersion = 1;

class CVelmoraHost final : public CHostInterface {
public:
    CVelmoraHost();
    virtual ~CVelmoraHost();
    CVelmoraHost(const CVelmoraHost&) = delete;
    CVelmoraHost& operator=(const CVelmoraHost&) = delete;

    // File systems from index 0 (local, archive, then any added); the
    // console at index 0. Each answer carries a reference for the caller.
    CHostService* EnumerateService(const GUID* cls, int32_t index) override;
    int32_t GetHostVersion() override { return velmoraHostVersion; }
    // A real window, the same for the life of the host.
    HWND GetMainWindow() override { return mainWindow; }

    CVelmoraConsole& Console() { return *console; }
    // Adds a file system after the built-in ones; the host keeps a reference.
    void AddFileSystem(CHostFileSystem* fileSystem);

    // Text is UTF-8 throughout the host: the character type locale is the
    // user's when it is a UTF-8 one, else C.UTF-8, so libarchive can give
    // member names that are not ASCII (velmora_host_posix.cpp,
    // velmora_host_win.cpp).
    static void UseUtf8Locale();

private:
    // The player's main window, the parent of the preferences page, and its
    // end: each system's own (velmora_host_posix.cpp, velmora_host_win.cpp).
    static HWND OpenMainWindow();
    static void CloseMainWindow(HWND window);

    std::mutex lock;
    CVelmoraConsole* console;
    std::vector<CHostFileSystem*> fileSystems;
    HWND mainWindow = nullptr;
};
