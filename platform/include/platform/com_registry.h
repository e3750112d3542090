// The platform's process-wide COM class table, which CoCreateInstance reads.
// DirectSound and DirectMusic register their classes at load; tests may put
// a replacement in (to inject faults) and restore the previous entry.
#pragma once

#include <objbase.h>

#include <cstring>

namespace platform {

// Orders GUIDs by their bytes, for maps keyed by class or object identifier.
struct CGuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

// Creates a new object of the class and returns the requested interface.
// outer is the aggregating object (classes here refuse aggregation).
typedef HRESULT (*ClassFactoryFunction)(LPUNKNOWN outer, REFIID iid, void** object);

// Puts factory in the table for clsid (null removes the entry) and returns
// what was there before (null when nothing was).
ClassFactoryFunction RegisterComClass(REFCLSID clsid, ClassFactoryFunction factory);

// The factory now in the table for clsid, or null.
ClassFactoryFunction FindComClass(REFCLSID clsid);

// A static object whose construction registers one class.
struct ComClassRegistration {
    ComClassRegistration(REFCLSID clsid, ClassFactoryFunction factory) { RegisterComClass(clsid, factory); }
};

// Puts a replacement class in for the lifetime of the object (a test's fault
// injection) and restores the previous entry, or its absence, afterwards.
class ScopedComClassReplacement {
public:
    ScopedComClassReplacement(REFCLSID clsid, ClassFactoryFunction factory)
        : clsid(clsid), previous(RegisterComClass(clsid, factory))
    {}
    ~ScopedComClassReplacement() { RegisterComClass(clsid, previous); }
    ScopedComClassReplacement(const ScopedComClassReplacement&) = delete;
    ScopedComClassReplacement& operator=(const ScopedComClassReplacement&) = delete;

    // The entry that was replaced (null when there was none), for a
    // replacement that forwards to it.
    ClassFactoryFunction Previous() const { return previous; }

private:
    CLSID clsid;
    ClassFactoryFunction previous;
};

}  // namespace platform
