// Small stand-ins for the host's objects, enough to watch what the frame's
// routines do with them: counted objects, a recording console, file systems
// with scripted answers, files over memory, a growable audio chunk.
#pragma once

#include "tessarine/frame/globals.h"
#include "sdk/velmora/host_contract.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

// Counts references; the test itself holds the first one.
template <class TInterface> class CCountedFake : public TInterface {
public:
    int32_t Release() override { return --refCount; }
    int32_t AddRef() override { return ++refCount; }
    CHostService* QueryClass(const GUID*) override { return nullptr; }

    int32_t refCount = 1;
};

struct CConsoleLine {
    int32_t severity;
    std::string text;
    std::string source;
};

class CRecordingConsole final : public CCountedFake<CHostConsole> {
public:
    void Output(int32_t severity, const char* text, const char* source) override
    {
        lines.push_back({severity, text, source});
    }

    std::vector<CConsoleLine> lines;
};

// A file over a byte vector that records the sizes asked of it.
class CMemoryFile final : public CCountedFake<CHostFile> {
public:
    const char* GetPath() override { return openedPath.c_str(); }
    int32_t Open(const char* path, int32_t mode) override
    {
        openedPath = path;
        openedMode = mode;
        return openSucceeds;
    }
    uint32_t Read(void* buffer, uint32_t count) override
    {
        readSizes.push_back(count);
        if (readLimit >= 0 && int64_t(readSizes.size()) > readLimit) return 0;
        const size_t left = data.size() - position;
        const size_t n = count < left ? count : left;
        std::memcpy(buffer, data.data() + position, n);
        position += n;
        return uint32_t(n);
    }
    uint32_t Write(const void* buffer, uint32_t count) override
    {
        writeSizes.push_back(count);
        uint32_t n = count < writeLimit ? count : writeLimit;
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        data.insert(data.end(), bytes, bytes + n);
        return n;
    }
    int64_t GetSize() override { return int64_t(data.size()); }
    int64_t GetPosition() override { return int64_t(position); }
    int32_t Truncate() override { return 0; }
    int32_t Seek(int64_t offset) override
    {
        position = size_t(offset);
        return 1;
    }
    int32_t SeekFrom(int64_t, int32_t) override { return 0; }
    int32_t CanSeek() override { return 1; }
    int32_t IsEndOfFile() override { return position >= data.size(); }
    int32_t Flush() override { return 1; }
    int64_t GetModificationTime() override { return 0; }
    const char* GetContentType() override { return ""; }
    int32_t IsStream() override { return 0; }
    void Close() override { ++closeCount; }

    std::vector<uint8_t> data;
    size_t position = 0;
    std::string openedPath;
    int32_t openedMode = 0;
    int32_t openSucceeds = 1;
    int64_t readLimit = -1;     // number of reads that return data; -1 = all
    uint32_t writeLimit = ~0u;  // most bytes one Write accepts
    std::vector<uint32_t> readSizes;
    std::vector<uint32_t> writeSizes;
    int closeCount = 0;
};

// A file system with scripted answers that records the paths it is given.
class CScriptedFileSystem final : public CCountedFake<CHostFileSystem> {
public:
    int32_t GetCanonicalPath(const char* path, CHostString* out) override
    {
        canonicalAsked.push_back(path);
        if (canonicalPrefix.empty()) return 0;
        out->SetText((canonicalPrefix + path).c_str(), -1);
        return 1;
    }
    int32_t ClaimsPath(const char* path) override
    {
        claimAsked.push_back(path);
        return claimPrefix.empty() ? 0 : std::string(path).rfind(claimPrefix, 0) == 0;
    }
    int32_t GetNativePath(const char* path, CHostString* out) override
    {
        if (nativePrefix.empty()) return 0;
        out->SetText((nativePrefix + path).c_str(), -1);
        return 1;
    }
    CHostFile* CreateFileObject(const char* path) override
    {
        createdFor.push_back(path);
        return file;
    }
    int32_t FileExists(const char*) override { return 0; }
    int32_t RemoveFile(const char* path) override
    {
        removed.push_back(path);
        return removeResult;
    }

    std::string canonicalPrefix;  // empty: declines to canonicalise
    std::string claimPrefix;      // empty: claims nothing
    std::string nativePrefix;     // empty: has no native paths
    CHostFile* file = nullptr;
    int32_t removeResult = 1;
    std::vector<std::string> canonicalAsked, claimAsked, createdFor, removed;
};

class CFakeHost final : public CHostInterface {
public:
    CHostService* EnumerateService(const GUID* cls, int32_t index) override
    {
        CHostService* found = nullptr;
        if (IsEqualGUID(*cls, CLSID_HostConsole)) {
            if (index == 0 && console) found = console;
        } else if (IsEqualGUID(*cls, CLSID_HostFileSystem)) {
            if (index >= 0 && size_t(index) < fileSystems.size()) found = fileSystems[size_t(index)];
        }
        if (found) found->AddRef();
        return found;
    }
    int32_t GetHostVersion() override { return 1; }
    HWND GetMainWindow() override { return nullptr; }

    CRecordingConsole* console = nullptr;
    std::vector<CScriptedFileSystem*> fileSystems;
};

// Installs a fake host as the component's host for one test.
class CFakeHostTest : public ::testing::Test {
protected:
    void SetUp() override { velmora_get_interface(&host, nullptr); }
    void TearDown() override { velmora_get_interface(nullptr, nullptr); }

    CFakeHost host;
};
