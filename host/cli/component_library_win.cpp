// Loading the component on Windows: tessarine.dll from the executable's own
// folder, through LoadLibraryW.
#include "host/cli/component_library.h"
#include "host/utf8/win/wide.h"

#include <vector>

bool CComponentLibrary::Load(const std::string& path, CHostInterface* host, std::string& error)
{
    HMODULE module = LoadLibraryW(Widen(path).c_str());
    if (!module) {
        error = "cannot load the component " + path + ": " + SystemErrorText(GetLastError());
        return false;
    }
    handle = module;
    auto entry = reinterpret_cast<VelmoraGetInterfaceFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "velmora_get_interface")));
    return Start(entry, module, path, host, error);
}

void CComponentLibrary::Unload()
{
    component = nullptr;
    if (handle) FreeLibrary(static_cast<HMODULE>(handle));
    handle = nullptr;
}

std::string GetDefaultComponentPath()
{
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
