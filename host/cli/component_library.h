// The component as the host loads it: libtessarine.so through dlopen, its
// entry point called with the host interface.
#pragma once

#include "tessarine/frame/host_contract.h"

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
    void* handle = nullptr;
    CComponentInterface* component = nullptr;
};

// <folder of this executable>/../lib/libtessarine.so
std::string GetDefaultComponentPath();
