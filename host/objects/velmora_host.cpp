// The host interface.
#include "host/objects/velmora_host.h"

CVelmoraHost::CVelmoraHost() : console(new CVelmoraConsole())
{
    fileSystems.push_back(new CLocalFileSystem());
    fileSystems.push_back(new CArchiveFileSystem());
    mainWindow = OpenMainWindow();
}

CVelmoraHost::~CVelmoraHost()
{
    if (mainWindow) CloseMainWindow(mainWindow);
    // The component may still hold references; each object lives until its last.
    for (CHostFileSystem* fileSystem : fileSystems) fileSystem->Release();
    console->Release();
}

CHostService* CVelmoraHost::EnumerateService(const GUID* cls, int32_t index)
{
    if (index < 0) return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    CHostService* service = nullptr;
    if (SameClass(cls, CLSID_HostFileSystem)) {
        if (static_cast<size_t>(index) < fileSystems.size()) service = fileSystems[index];
    } else if (SameClass(cls, CLSID_HostConsole)) {
        if (index == 0) service = console;
    }
    if (service) service->AddRef();
    return service;
}

void CVelmoraHost::AddFileSystem(CHostFileSystem* fileSystem)
{
    if (!fileSystem) return;
    fileSystem->AddRef();
    std::lock_guard<std::mutex> guard(lock);
    fileSystems.push_back(fileSystem);
}
