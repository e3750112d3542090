// The process-wide class table and CoCreateInstance over it. The table is
// made on first use, so classes that register themselves from static objects
// in any unit find it whatever the order of initialisation, and it is never
// destroyed, so late users at exit still find it.
#include <platform/com_registry.h>

#include <ole2.h>

#include <map>
#include <mutex>

#include "apartment.h"

namespace platform {
namespace {

struct ClassTable {
    std::mutex lock;
    std::map<GUID, ClassFactoryFunction, CGuidLess> classes;
};

ClassTable& Table()
{
    static ClassTable* table = new ClassTable;
    return *table;
}

}  // namespace

ClassFactoryFunction RegisterComClass(REFCLSID clsid, ClassFactoryFunction factory)
{
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    ClassFactoryFunction previous = nullptr;
    auto found = table.classes.find(clsid);
    if (found != table.classes.end()) {
        previous = found->second;
        if (factory == nullptr)
            table.classes.erase(found);
        else
            found->second = factory;
    } else if (factory != nullptr) {
        table.classes.emplace(clsid, factory);
    }
    return previous;
}

ClassFactoryFunction FindComClass(REFCLSID clsid)
{
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.classes.find(clsid);
    return found == table.classes.end() ? nullptr : found->second;
}

}  // namespace platform

extern "C" {

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if ((context & CLSCTX_ALL) == 0) return E_INVALIDARG;
    if (!platform::com::IsComInitializedOnThisThread()) return CO_E_NOTINITIALIZED;
    // Every class here lives in the process.
    if ((context & CLSCTX_INPROC) == 0) return REGDB_E_CLASSNOTREG;
    platform::ClassFactoryFunction factory = platform::FindComClass(clsid);
    if (factory == nullptr) return REGDB_E_CLASSNOTREG;
    // The factory runs outside the table's lock: it may create other classes.
    void* made = nullptr;
    HRESULT result = factory(outer, iid, &made);
    if (FAILED(result)) {
        // Whatever a failed factory left in its output is not handed on.
        return result;
    }
    if (made == nullptr) return E_UNEXPECTED;
    *object = made;
    return result;
}

HRESULT WINAPI OleRun(LPUNKNOWN unknown)
{
    // Objects here run as soon as they exist; there is nothing to start.
    return unknown == nullptr ? E_INVALIDARG : S_OK;
}

}  // extern "C"
