// The platform's process-wide COM class table, which CoCreateInstance reads.
// DirectSound and DirectMusic register their classes at load; tests may put
// a replacement in (to inject faults) and restore the previous entry.
#pragma once

#include <objbase.h>

namespace platform {

// Creates a new object of the class and returns the requested interface.
// outer is the aggregating object (classes here refuse aggregation).
typedef HRESULT (*ClassFactoryFunction)(LPUNKNOWN outer, REFIID iid, void** object);

// Puts factory in the table for clsid (null removes the entry) and returns
// what was there before (null when nothing was).
ClassFactoryFunction RegisterComClass(REFCLSID clsid, ClassFactoryFunction factory);

// A static object whose construction registers one class.
struct ComClassRegistration {
    ComClassRegistration(REFCLSID clsid, ClassFactoryFunction factory) { RegisterComClass(clsid, factory); }
};

}  // namespace platform
