// The module globals through which the component reaches the host.
#pragma once

#include "tessarine/frame/host_contract.h"

HINSTANCE GetModuleInstance();
CHostInterface* GetHostInterface();
// The component's file name as the host gave it; "" when unset.
const char* GetComponentFileName();
