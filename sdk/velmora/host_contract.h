// The host's contract with a plug-in: the tables of operations exchanged in
// both directions, the class GUIDs and the exported entry point. Host and
// component are both built against it; neither includes the other.
// The order of the virtual operations in each class is the contract: a
// position is a slot in the table, counted from 0. Slots whose meaning the
// host chose are marked as such; the component never calls them.
#pragma once

#include "sdk/velmora/windows_names.h"

#include <cstdint>

class CHostString;
class CHostFile;

// ---- The common head of every object that crosses the boundary -----------

class CHostService {
public:
    virtual int32_t Release() = 0;                          // 0
    virtual int32_t AddRef() = 0;                           // 1
    virtual CHostService* QueryClass(const GUID* cls) = 0;  // 2

protected:
    ~CHostService() = default;
};

// ---- The host's objects ----------------------------------------------------

// {2FBCE1E5-902E-49E0-B9CF-CE0FBA765348}
inline constexpr GUID CLSID_HostFileSystem = {
    0x2FBCE1E5, 0x902E, 0x49E0, {0xB9, 0xCF, 0xCE, 0x0F, 0xBA, 0x76, 0x53, 0x48}};
// {056B51C7-E78C-4A4E-B84E-6BFF3F8AB8F2}
inline constexpr GUID CLSID_HostConsole = {
    0x056B51C7, 0xE78C, 0x4A4E, {0xB8, 0x4E, 0x6B, 0xFF, 0x3F, 0x8A, 0xB8, 0xF2}};

class CHostInterface {
public:
    // The index-th service of the class, with a reference for the caller, or null.
    virtual CHostService* EnumerateService(const GUID* cls, int32_t index) = 0;  // 0
    virtual int32_t GetHostVersion() = 0;                                        // 1 (host's)
    virtual HWND GetMainWindow() = 0;                                            // 2

protected:
    ~CHostInterface() = default;
};

// A text receiver.
class CHostString {
public:
    virtual const char* GetText() = 0;                           // 0 (host's)
    virtual int32_t GetLength() = 0;                             // 1 (host's)
    virtual void SetText(const char* text, int32_t length) = 0;  // 2: length -1 = up to the NUL

protected:
    ~CHostString() = default;
};

// Open modes of CHostFile::Open.
enum : int32_t {
    HOST_OPEN_READ = 1,       // existing file, read only
    HOST_OPEN_WRITE = 2,      // create or truncate, write
    HOST_OPEN_READWRITE = 3,  // read and write; created when absent, kept when present
};

// Origins of CHostFile::SeekFrom.
enum : int32_t {
    HOST_SEEK_BEGIN = 0,
    HOST_SEEK_CURRENT = 1,
    HOST_SEEK_END = 2,
};

class CHostFile : public CHostService {
public:
    virtual const char* GetPath() = 0;                               // 3 (host's)
    virtual int32_t Open(const char* path, int32_t mode) = 0;        // 4: non-zero on success
    virtual uint32_t Read(void* buffer, uint32_t count) = 0;         // 5: bytes moved
    virtual uint32_t Write(const void* buffer, uint32_t count) = 0;  // 6: bytes moved
    virtual int64_t GetSize() = 0;                                   // 7
    virtual int64_t GetPosition() = 0;                               // 8
    virtual int32_t Truncate() = 0;                                  // 9: cut at the position
    virtual int32_t Seek(int64_t offset) = 0;                        // 10: absolute
    virtual int32_t SeekFrom(int64_t offset, int32_t origin) = 0;    // 11: 1 current, 2 end
    virtual int32_t CanSeek() = 0;                                   // 12
    virtual int32_t IsEndOfFile() = 0;                               // 13 (host's)
    virtual int32_t Flush() = 0;                                     // 14 (host's)
    virtual int64_t GetModificationTime() = 0;                       // 15 (host's)
    virtual const char* GetContentType() = 0;                        // 16 (host's)
    virtual int32_t IsStream() = 0;                                  // 17: a live stream, not to be searched
    virtual void Close() = 0;                                        // 18: closes and disposes

protected:
    ~CHostFile() = default;
};

class CHostFileSystem : public CHostService {
public:
    virtual int32_t GetCanonicalPath(const char* path, CHostString* out) = 0;  // 3
    virtual int32_t ClaimsPath(const char* path) = 0;                          // 4
    virtual int32_t GetNativePath(const char* path, CHostString* out) = 0;     // 5
    virtual CHostFile* CreateFileObject(const char* path) = 0;                 // 6: not yet open
    virtual int32_t FileExists(const char* path) = 0;                          // 7 (host's)
    virtual int32_t RemoveFile(const char* path) = 0;                          // 8

protected:
    ~CHostFileSystem() = default;
};

class CHostConsole : public CHostService {
public:
    // severity 1: diagnostic lines; 2: warnings; 3: messages for the user.
    virtual void Output(int32_t severity, const char* text, const char* source) = 0;  // 3

protected:
    ~CHostConsole() = default;
};

class CSettingsWriter {
public:
    virtual void Write(const void* data, uint32_t size) = 0;  // 0

protected:
    ~CSettingsWriter() = default;
};

// A block of audio as 64-bit floating-point samples, interleaved.
class CHostAudioChunk {
public:
    virtual uint32_t GetSampleRate() = 0;               // 0 (host's)
    virtual double* GetBuffer() = 0;                    // 1
    virtual uint32_t GetCapacity() = 0;                 // 2: samples
    virtual double* SetCapacity(uint32_t samples) = 0;  // 3: null when it cannot grow
    virtual uint32_t GetChannels() = 0;                 // 4 (host's)
    virtual void SetSampleRate(uint32_t rate) = 0;      // 5
    virtual uint32_t GetSampleCount() = 0;              // 6 (host's): frames
    virtual void SetChannels(uint32_t channels) = 0;    // 7
    virtual void Reset() = 0;                           // 8 (host's)
    virtual void SetSampleCount(uint32_t frames) = 0;   // 9

protected:
    ~CHostAudioChunk() = default;
};

// Where a track lives.
class CHostLocation {
public:
    virtual const char* GetPath() = 0;  // 0

protected:
    ~CHostLocation() = default;
};

// A track's information: fields in the order set, and the length.
class CHostFileInfo {
public:
    virtual uint32_t GetFieldCount() = 0;                            // 0 (host's)
    virtual const char* GetFieldName(uint32_t index) = 0;            // 1 (host's)
    virtual const char* GetFieldValue(uint32_t index) = 0;           // 2 (host's)
    virtual int32_t FindField(const char* name) = 0;                 // 3 (host's): index or -1
    virtual void RemoveField(uint32_t index) = 0;                    // 4 (host's)
    virtual void RemoveAllFields() = 0;                              // 5 (host's)
    virtual const char* GetField(const char* name) = 0;              // 6 (host's): first value or null
    virtual void AddField(const char* name, const char* value) = 0;  // 7: appends
    virtual void SetFieldAt(uint32_t index, const char* value) = 0;  // 8 (host's)
    virtual uint32_t GetInfoCount() = 0;                             // 9 (host's)
    virtual const char* GetInfoName(uint32_t index) = 0;             // 10 (host's)
    virtual void SetField(const char* name, const char* value) = 0;  // 11: replaces, or appends
    virtual const char* GetInfoValue(uint32_t index) = 0;            // 12 (host's)
    virtual void SetInfo(const char* name, const char* value) = 0;   // 13 (host's)
    virtual const char* GetInfo(const char* name) = 0;               // 14 (host's)
    virtual void RemoveInfo(const char* name) = 0;                   // 15 (host's)
    virtual void Reset() = 0;                                        // 16 (host's)
    virtual void CopyFrom(CHostFileInfo* other) = 0;                 // 17 (host's)
    virtual CHostLocation* GetLocation() = 0;                        // 18
    virtual double GetLength() = 0;                                  // 19 (host's)
    virtual void SetLength(double seconds) = 0;                      // 20

protected:
    ~CHostFileInfo() = default;
};

// ---- The component's objects ----------------------------------------------

// {D63655B2-B0CE-4069-BDF9-E364E43FF23C}
inline constexpr GUID CLSID_MidiDecoderService = {
    0xD63655B2, 0xB0CE, 0x4069, {0xBD, 0xF9, 0xE3, 0x64, 0xE4, 0x3F, 0xF2, 0x3C}};
// {7255E8D0-3FCF-4781-B93B-D06CB88DFAFA}
inline constexpr GUID CLSID_PreferencesPageService = {
    0x7255E8D0, 0x3FCF, 0x4781, {0xB9, 0x3B, 0xD0, 0x6C, 0xB8, 0x8D, 0xFA, 0xFA}};
// {10BB3EBD-DDF7-4975-A3CC-23084829453E}
inline constexpr GUID CLSID_VersionInfoService = {
    0x10BB3EBD, 0xDDF7, 0x4975, {0xA3, 0xCC, 0x23, 0x08, 0x48, 0x29, 0x45, 0x3E}};

// The decoder's table, as the host calls it.
class CDecoderServiceInterface : public CHostService {
public:
    virtual bool OpenTrack(CHostFile* file, CHostFileInfo* info, uint32_t flags) = 0;   // 3
    virtual bool MatchesContentType(const char* ignored, const char* contentType) = 0;  // 4
    virtual bool MatchesExtension(const char* ignored, const char* extension) = 0;      // 5
    // How firmly the decoder claims a track (path, content type) that
    // another decoder also takes: 1 is an ordinary claim.
    virtual int32_t RankForTrack(const void* path, const void* contentType) = 0;  // 6 (host's)
    // True when SeekTrack can move within an open track.
    virtual bool CanSeek() = 0;                               // 7 (host's)
    virtual int32_t DecodeChunk(CHostAudioChunk* chunk) = 0;  // 8
    virtual bool SeekTrack(double seconds) = 0;               // 9
    // True when a track ends at the length its information gave, unlike a
    // live stream.
    virtual bool HasFixedLength() = 0;  // 10 (host's)
    virtual void NoOperation11() = 0;   // 11
    // Writes the information back into the file (file, info, abort flag);
    // true when written.
    virtual bool WriteTrackInfo(const void* file, const void* info, const void* abort) = 0;  // 12 (host's)
    virtual int32_t DecodeBlock(void** data, uint32_t* bytes, uint32_t* rate, uint32_t* bits,
                                uint32_t* channels) = 0;  // 13
    virtual ~CDecoderServiceInterface() = default;        // 14
};

// Flags of OpenTrack.
enum : uint32_t {
    OPEN_TRACK_INFO = 1,
    OPEN_TRACK_DECODE = 2,
};

class CPreferencesPageInterface : public CHostService {
public:
    virtual HWND CreatePage(HWND parent) = 0;     // 3
    virtual const char* GetPageName() = 0;        // 4
    virtual const char* GetParentPageName() = 0;  // 5

protected:
    ~CPreferencesPageInterface() = default;
};

class CVersionInfoInterface : public CHostService {
public:
    virtual void GetFileName(CHostString* out) = 0;     // 3
    virtual void GetDisplayName(CHostString* out) = 0;  // 4
    virtual void GetVersion(CHostString* out) = 0;      // 5
    virtual void GetAboutText(CHostString* out) = 0;    // 6

protected:
    ~CVersionInfoInterface() = default;
};

// One registration record: the table (CreateInstance), next, class GUID.
class CServiceRegistration {
public:
    virtual CHostService* CreateInstance() = 0;  // 0

    CServiceRegistration* next = nullptr;
    GUID classId;

protected:
    explicit CServiceRegistration(const GUID& classId);
    ~CServiceRegistration() = default;
};

class CComponentInterface {
public:
    virtual int32_t GetInterfaceVersion();                                  // 0: always 35
    virtual CServiceRegistration* GetFirstRegistration();                   // 1
    virtual void SaveSettings(CSettingsWriter* writer);                     // 2
    virtual void LoadSettings(const void* data, uint32_t size);             // 3
    virtual void NoOperation();                                             // 4
    virtual void SetLibraryNames(const char* first, const char* fileName);  // 5
    virtual void SetServicesFlag(uint8_t flag);                             // 6
};

// The exported entry point.
typedef CComponentInterface* (*VelmoraGetInterfaceFunction)(CHostInterface* host, HINSTANCE instance);
