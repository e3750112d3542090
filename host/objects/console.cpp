// The host console.
#include "host/objects/console.h"

void CVelmoraConsole::Output(int32_t severity, const char* text, const char* source)
{
    std::string line = text ? text : "";
    std::string from = source ? source : "";
    std::lock_guard<std::mutex> guard(lock);
    if (recording) lines.push_back({severity, line, from});
    if (!stream || (severity <= 1 && !verbose)) return;
    // One fprintf per line, under the lock, so lines from threads never mix.
    if (from.empty())
        std::fprintf(stream, "%s\n", line.c_str());
    else
        std::fprintf(stream, "%s: %s\n", from.c_str(), line.c_str());
    std::fflush(stream);
}

void CVelmoraConsole::SetVerbose(bool on)
{
    std::lock_guard<std::mutex> guard(lock);
    verbose = on;
}

void CVelmoraConsole::SetStream(FILE* newStream)
{
    std::lock_guard<std::mutex> guard(lock);
    stream = newStream;
}

void CVelmoraConsole::SetRecording(bool on)
{
    std::lock_guard<std::mutex> guard(lock);
    recording = on;
}

std::vector<CConsoleLine> CVelmoraConsole::GetLines()
{
    std::lock_guard<std::mutex> guard(lock);
    return lines;
}

void CVelmoraConsole::ClearLines()
{
    std::lock_guard<std::mutex> guard(lock);
    lines.clear();
}
