// Loading the component.
#include "host/cli/component_library.h"
#include "host/cli/version.h"
#include "platform/user.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <vector>

CComponentLibrary::~CComponentLibrary() { Unload(); }

bool CComponentLibrary::Load(const std::string& path, CHostInterface* host, std::string& error) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = "cannot load the component " + path + ": " + (reason ? reason : "unknown error");
        return false;
    }
    auto entry = reinterpret_cast<VelmoraGetInterfaceFunction>(dlsym(handle, "velmora_get_interface"));
    if (!entry) {
        error = path + " has no velmora_get_interface: it is not a component";
        Unload();
        return false;
    }
    // The module instance is the library's load address, as on Windows.
    component = entry(host, platform::GetModuleOf(reinterpret_cast<const void*>(entry)));
    if (!component) {
        error = path + ": velmora_get_interface gave no interface";
        Unload();
        return false;
    }
    size_t slash = path.rfind('/');
    std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    component->SetLibraryNames(VELMORA_HOST_NAME " " VELMORA_HOST_VERSION, fileName.c_str());
    return true;
}

void CComponentLibrary::Unload() {
    component = nullptr;
    if (handle) dlclose(handle);
    handle = nullptr;
}

CServiceRegistration* CComponentLibrary::FindRegistration(const GUID& cls) {
    if (!component) return nullptr;
    // A bound on the walk, so a damaged list cannot hang the host.
    int steps = 0;
    for (CServiceRegistration* entry = component->GetFirstRegistration(); entry && steps < 10000;
         entry = entry->next, ++steps)
        if (std::memcmp(&entry->classId, &cls, sizeof(GUID)) == 0) return entry;
    return nullptr;
}

std::string GetDefaultComponentPath() {
    std::vector<char> buffer(4096);
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    std::string executable = length > 0 ? std::string(buffer.data(), static_cast<size_t>(length)) : "./velmora";
    size_t slash = executable.rfind('/');
    std::string folder = slash == std::string::npos ? "." : executable.substr(0, slash);
    return folder + "/../lib/libtessarine.so";
}
