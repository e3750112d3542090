// The module globals through which the component reaches the host.
#pragma once

#include "sdk/velmora/host_contract.h"
#include "tessarine/frame/sdk.h"

HINSTANCE GetModuleInstance();
CHostInterface* GetHostInterface();
// The component's file name as the host gave it; "" when unset.
const char* GetComponentFileName();

// The exported entry point: keeps the host interface and the module instance
// (each call overwrites both) and returns the one component interface.
TESSARINE_EXPORT CComponentInterface* velmora_get_interface(CHostInterface* host, HINSTANCE instance);
