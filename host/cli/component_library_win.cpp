// Loading the component on Windows: tessarine.dll from the executable's own
// folder, through LoadLibraryW.
#include "host/cli/component_library.h"
#include "host/cli/version.h"
#include "host/utf8/win/wide.h"

#include <cstring>
#include <vector>

CComponentLibrary::~CComponentLibrary() { Unload(); }

bool CComponentLibrary::Load(const std::string& path, CHostInterface* host, std::string& error) {
    HMODULE module = LoadLibraryW(Widen(path).c_str());
    if (!module) {
        error = "cannot load the component " + path + ": " + SystemErrorText(GetLastError());
        return false;
    }
    handle = module;
    auto entry = reinterpret_cast<VelmoraGetInterfaceFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "velmora_get_interface")));
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

void CComponentLibrary::Unload() {
    component = nullptr;
    if (handle) FreeLibrary(static_cast<HMODULE>(handle));
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
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return "tessarine.dll";
        if (length < buffer.size()) {
            std::string executable = Narrow(buffer.data(), length);
            size_t slash = executable.find_last_of("\\/");
            return (slash == std::string::npos ? std::string() : executable.substr(0, slash + 1)) + "tessarine.dll";
        }
        buffer.resize(buffer.size() * 2);
    }
}
