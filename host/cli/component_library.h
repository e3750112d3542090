// The component as the host loads it: libtessarine.so through dlopen
// (tessarine.dll through LoadLibraryW on Windows), its entry point called
// with the host interface. Loading is each system's own
// (component_library_posix.cpp, component_library_win.cpp); the rest is
// shared.
#pragma once

#include "sdk/velmora/host_contract.h"

#include <string>

class CComponentLibrary {
public:
    CComponentLibrary() = default;
    ~CComponentLibrary();
    CComponentLibrary(const CComponentLibrary&) = delete;
    CComponentLibrary& operator=(const CComponentLibrary&) = delete;

    // Loads the library, calls velmora_get_interface and passes the library
    // names; false with error set when any of it fails.
    bool Load(const std::string& path, CHostInterface* host, std::string& error);
    // Unloads the library while the host objects still exist.
    void Unload();

    CComponentInterface* Component() { return component; }
    CServiceRegistration* FindRegistration(const GUID& cls);

private:
    // Calls the entry point of the library just loaded and passes the
    // library names; false with error set (and the library unloaded) when
    // there is no entry point or it gives no interface.
    bool Start(VelmoraGetInterfaceFunction entry, HINSTANCE module, const std::string& path, CHostInterface* host,
               std::string& error);

    void* handle = nullptr;
    CComponentInterface* component = nullptr;
};

// <folder of this executable>/../lib/libtessarine.so; on Windows
// tessarine.dll beside the executable
std::string GetDefaultComponentPath();
