// The host console: lines from the component, from any thread. Severity 1
// (diagnostics) reaches stderr only when verbose; higher severities always.
// It can also record every line, for tests.
#pragma once

#include "host/objects/ref_counted.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

struct CConsoleLine {
    int32_t severity;
    std::string text;
    std::string source;
};

class CVelmoraConsole final : public CRefCounted<CHostConsole> {
public:
    CHostService* QueryClass(const GUID* cls) override { return AnswerClass(cls, CLSID_HostConsole); }
    void Output(int32_t severity, const char* text, const char* source) override;

    void SetVerbose(bool on);
    // Where lines are printed; null prints nothing (tests that only record).
    void SetStream(FILE* stream);
    void SetRecording(bool on);
    std::vector<CConsoleLine> GetLines();
    void ClearLines();

private:
    std::mutex lock;
    bool verbose = false;
    bool recording = false;
    FILE* stream = stderr;
    std::vector<CConsoleLine> lines;
};
