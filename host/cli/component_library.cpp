// The component once loaded: its entry point, its names, its registrations.
#include "host/cli/component_library.h"
#include "host/cli/version.h"

#include <cstring>

CComponentLibrary::~CComponentLibrary() { Unload(); }

bool CComponentLibrary::Start(VelmoraGetInterfaceFunction entry, HINSTANCE module, const std::string& path,
                              CHostInterface* host, std::string& error)
{
    if (!entry) {
        error = path + " has no velmora_get_interface: it is not a component";
        Unload();
        return false;
    }
    component = entry(host, module);
    if (!component) {
        error = path + ": velmora_get_interface gave no interface";
        Unload();
        return false;
    }
    size_t slash = path.find_last_of("\\/");
    std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    component->SetLibraryNames(VELMORA_HOST_NAME " " VELMORA_HOST_VERSION, fileName.c_str());
    return true;
}

CServiceRegistration* CComponentLibrary::FindRegistration(const GUID& cls)
{
    if (!component) return nullptr;
    // A bound on the walk, so a damaged list cannot hang the host.
    int steps = 0;
    for (CServiceRegistration* entry = component->GetFirstRegistration(); entry && steps < 10000;
         entry = entry->next, ++steps)
        if (std::memcmp(&entry->classId, &cls, sizeof(GUID)) == 0) return entry;
    return nullptr;
}
