// Host objects for tests: a CHostFile over bytes in memory, with settable
// answers and injected faults, which counts the calls a test may want to
// forbid; and the host's file information, read back field by field.
#pragma once

#include "host/objects/file_info.h"
#include "sdk/velmora/host_contract.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class CMemoryHostFile : public CHostFile {
public:
    explicit CMemoryHostFile(std::vector<uint8_t> bytes = {}, std::string path = "memory://file");

    // Release and AddRef count, but the object belongs to the test (it is
    // never deleted through Release).
    int32_t Release() override;
    int32_t AddRef() override;
    CHostService* QueryClass(const GUID* cls) override;
    const char* GetPath() override;
    int32_t Open(const char* path, int32_t mode) override;
    uint32_t Read(void* buffer, uint32_t count) override;
    uint32_t Write(const void* buffer, uint32_t count) override;
    int64_t GetSize() override;
    int64_t GetPosition() override;
    int32_t Truncate() override;
    int32_t Seek(int64_t offset) override;
    int32_t SeekFrom(int64_t offset, int32_t origin) override;
    int32_t CanSeek() override;
    int32_t IsEndOfFile() override;
    int32_t Flush() override;
    int64_t GetModificationTime() override;
    const char* GetContentType() override;
    int32_t IsStream() override;
    void Close() override;

    // ---- Settings ----
    std::vector<uint8_t> data;
    std::string path;
    int64_t position = 0;
    bool canSeek = true;
    bool isStream = false;  // the answer at position 17
    bool hasSizeOverride = false;
    int64_t sizeOverride = 0;  // GetSize's answer when hasSizeOverride
    bool hasPositionOverride = false;
    int64_t positionOverride = 0;  // GetPosition's answer when hasPositionOverride
    // Reads stop short at this offset: bytes before it are delivered, none at
    // or after it (-1: no fault).
    int64_t failReadsAt = -1;
    bool failSeeks = false;  // Seek and SeekFrom answer 0 and do not move

    // Pretends the file is size bytes long without holding them: reads give
    // only the bytes actually held.
    void ReportSize(int64_t size)
    {
        hasSizeOverride = true;
        sizeOverride = size;
    }
    void ReportPosition(int64_t answer)
    {
        hasPositionOverride = true;
        positionOverride = answer;
    }

    // ---- What the file saw ----
    int readCalls = 0;
    int writeCalls = 0;
    int openCalls = 0;
    int closeCalls = 0;
    int releaseCalls = 0;
    int addRefCalls = 0;
    int seekCalls = 0;
    int truncateCalls = 0;
    uint64_t bytesRead = 0;
    uint32_t largestReadRequest = 0;
    // Reads asked for at or beyond the end of the bytes held.
    int readsAtEnd = 0;

private:
    int64_t HeldSize() const { return static_cast<int64_t>(data.size()); }
    int64_t ReportedSize() const { return hasSizeOverride ? sizeOverride : HeldSize(); }
};

// The host's file information, read back by the tests as its fields in
// order; counts the calls that replace a field.
class CRecordingFileInfo : public CFileInfo {
public:
    struct CField {
        std::string name;
        std::string value;
        bool operator==(const CField&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const CField& field)
        {
            return out << field.name << "=\"" << field.value << "\"";
        }
    };

    explicit CRecordingFileInfo(std::string locationPath = "memory://file") : CFileInfo(std::move(locationPath)) {}

    void SetField(const char* name, const char* value) override
    {
        ++setFieldCalls;
        CFileInfo::SetField(name, value);
    }
    std::vector<CField> RecordedFields() const
    {
        std::vector<CField> out;
        for (const auto& [name, value] : Fields()) out.push_back({name, value});
        return out;
    }

    int setFieldCalls = 0;
};

}  // namespace testsupport
