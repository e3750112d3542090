// The component's routines over the host's services: files through the
// host's file systems, console lines, audio chunks, UTF-8/UTF-16 text.
#pragma once

#include "sdk/velmora/host_contract.h"
#include "tessarine/frame/sdk.h"

#include <cstdint>
#include <string>

// An open file with one reference for the caller, or null.
CHostFile* OpenHostFile(const char* path, int32_t mode);
// The host's result; 0 when no file system claims the path.
int32_t RemoveHostFile(const char* path);
// The receiver gets the native path, or the path unchanged.
void ResolveNativePath(const char* path, CHostString* receiver);
// Copies up to count bytes in pieces of at most 1 MiB; returns bytes written.
int64_t CopyFileData(CHostFile* source, CHostFile* destination, int64_t count);
void ConsoleOutput(int32_t severity, const char* text);
// Fills the chunk from signed 16-bit little-endian PCM.
bool FillAudioChunk(CHostAudioChunk* chunk, const void* data, uint32_t bytes, uint32_t sampleRate, uint32_t channels,
                    uint32_t bitsPerSample);

// UTF-16 to UTF-8: stops at a NUL unit or after maxUnits units; the output
// needs 3 bytes per unit plus 1. Returns the bytes written, NUL excluded.
uint32_t ConvertUtf16ToUtf8(const WCHAR* text, uint32_t maxUnits, char* output);
// UTF-8 to UTF-16: stops at a NUL byte, after maxBytes bytes, or at the first
// invalid sequence; the output needs one unit per byte plus 1. Returns the
// units written, NUL excluded.
uint32_t ConvertUtf8ToUtf16(const char* text, uint32_t maxBytes, WCHAR* output);

// A text receiver of the component's own, for the host's path operations.
class CHostStringBuffer final : public CHostString {
public:
    const char* GetText() override { return text.c_str(); }
    int32_t GetLength() override { return int32_t(text.size()); }
    // length -1: up to the NUL; otherwise length bytes, cut at a NUL among them.
    void SetText(const char* newText, int32_t length) override;
    void Clear() { text.clear(); }

private:
    std::string text;
};
