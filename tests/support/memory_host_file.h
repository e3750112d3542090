// Host objects for tests: a CHostFile over bytes in memory, with settable
// answers and injected faults, which counts the calls a test may want to
// forbid; and a CHostFileInfo that records its fields in order.
#pragma once

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
    bool isStream = false;      // the answer at position 17
    bool hasSizeOverride = false;
    int64_t sizeOverride = 0;   // GetSize's answer when hasSizeOverride
    bool hasPositionOverride = false;
    int64_t positionOverride = 0;  // GetPosition's answer when hasPositionOverride
    // Reads stop short at this offset: bytes before it are delivered, none at
    // or after it (-1: no fault).
    int64_t failReadsAt = -1;
    bool failSeeks = false;     // Seek and SeekFrom answer 0 and do not move

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

// Records fields in the order given, as the host would show them.
class CRecordingFileInfo : public CHostFileInfo {
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

    explicit CRecordingFileInfo(std::string locationPath = "memory://file");

    uint32_t GetFieldCount() override;
    const char* GetFieldName(uint32_t index) override;
    const char* GetFieldValue(uint32_t index) override;
    int32_t FindField(const char* name) override;
    void RemoveField(uint32_t index) override;
    void RemoveAllFields() override;
    const char* GetField(const char* name) override;
    void AddField(const char* name, const char* value) override;
    void SetFieldAt(uint32_t index, const char* value) override;
    uint32_t GetInfoCount() override;
    const char* GetInfoName(uint32_t index) override;
    void SetField(const char* name, const char* value) override;
    const char* GetInfoValue(uint32_t index) override;
    void SetInfo(const char* name, const char* value) override;
    const char* GetInfo(const char* name) override;
    void RemoveInfo(const char* name) override;
    void Reset() override;
    void CopyFrom(CHostFileInfo* other) override;
    CHostLocation* GetLocation() override;
    double GetLength() override;
    void SetLength(double seconds) override;

    std::vector<CField> fields;
    std::vector<CField> infos;
    double length = 0;
    bool lengthSet = false;
    int addFieldCalls = 0;
    int setFieldCalls = 0;

private:
    class CLocation : public CHostLocation {
    public:
        const char* GetPath() override { return path.c_str(); }
        std::string path;
    };
    CLocation location;
};

}  // namespace testsupport
