// CTestHost: the real host objects, installed into the component for the
// length of a test. Console lines are recorded (and printed only when the
// environment sets TESSARINE_TEST_VERBOSE).
#pragma once

#include "host/objects/audio_chunk.h"
#include "host/objects/file_info.h"
#include "host/objects/settings_block.h"
#include "host/objects/text_receiver.h"
#include "host/objects/velmora_host.h"
#include "tessarine/frame/globals.h"
#include "sdk/velmora/host_contract.h"

#include <string>
#include <vector>

class CTestHost {
public:
    // Calls velmora_get_interface(host interface, null).
    CTestHost();
    // Hands the component a null host, so nothing reaches a freed host.
    ~CTestHost();
    CTestHost(const CTestHost&) = delete;
    CTestHost& operator=(const CTestHost&) = delete;

    CVelmoraHost& Host() { return host; }
    CHostInterface* Interface() { return &host; }
    CComponentInterface* Component() { return component; }
    CVelmoraConsole& Console() { return host.Console(); }

    std::vector<CConsoleLine> ConsoleLines() { return host.Console().GetLines(); }
    void ClearConsoleLines() { host.Console().ClearLines(); }
    // Lines whose text contains the given text, with that severity (0: any).
    size_t CountConsoleLines(const std::string& text, int32_t severity = 0);

    // The component's settings block as SaveSettings writes it.
    std::vector<uint8_t> SaveSettings();

private:
    CVelmoraHost host;
    CComponentInterface* component = nullptr;
};
