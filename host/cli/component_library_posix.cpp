// Loading the component on Linux: libtessarine.so through dlopen.
#include "host/cli/component_library.h"
#include "platform/user.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

bool CComponentLibrary::Load(const std::string& path, CHostInterface* host, std::string& error)
{
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = "cannot load the component " + path + ": " + (reason ? reason : "unknown error");
        return false;
    }
    auto entry = reinterpret_cast<VelmoraGetInterfaceFunction>(dlsym(handle, "velmora_get_interface"));
    // The module instance is the library's load address, as on Windows.
    return Start(entry, entry ? platform::GetModuleOf(reinterpret_cast<const void*>(entry)) : nullptr, path, host,
                 error);
}

void CComponentLibrary::Unload()
{
    component = nullptr;
    if (handle) dlclose(handle);
    handle = nullptr;
}

std::string GetDefaultComponentPath()
{
    std::vector<char> buffer(4096);
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    std::string executable = length > 0 ? std::string(buffer.data(), static_cast<size_t>(length)) : "./velmora";
    size_t slash = executable.rfind('/');
    std::string folder = slash == std::string::npos ? "." : executable.substr(0, slash);
    return folder + "/../lib/libtessarine.so";
}
