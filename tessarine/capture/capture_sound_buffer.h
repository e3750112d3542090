// The component's own secondary buffer. DirectMusic's synthesiser renders
// into it; every byte lands in the capture store (a double buffer whose
// completed halves go to a temporary PCM file), while the wrapped real buffer
// keeps playing on the device and sets the pace.
#pragma once

#include "tessarine/capture/capture_traffic.h"
#include "tessarine/frame/com_reference.h"
#include "sdk/velmora/host_contract.h"
#include "tessarine/frame/owned_handle.h"
#include "tessarine/frame/sdk.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// {C8DF30ED-F9B6-4FFA-BE6F-7A31ABA235A7}
inline constexpr GUID IID_CCaptureSoundBuffer = {
    0xC8DF30ED, 0xF9B6, 0x4FFA, {0xBE, 0x6F, 0x7A, 0x31, 0xAB, 0xA2, 0x35, 0xA7}};

// How long a reader waits for the next half before it gives up on the
// capture, in milliseconds of platform time: the synthesiser appends one
// half per second while it runs.
inline constexpr DWORD captureStallTimeout = 10000;

// One buffer region handed to the writer.
struct CCaptureRegion {
    BYTE* pointer;
    DWORD length;
};

class CCaptureSoundBuffer : public IDirectSoundBuffer, public IDirectSoundNotify {
public:
    // Takes over the caller's reference on realBuffer; N is the description's
    // dwBufferBytes. Never throws for a missing temporary file: the store then
    // refuses to serve (see WaitForData).
    CCaptureSoundBuffer(IDirectSoundBuffer* realBuffer, LPCDSBUFFERDESC description);

    // IUnknown, shared by both interfaces.
    STDMETHOD(QueryInterface)(REFIID riid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;

    // IDirectSoundBuffer
    STDMETHOD(GetCaps)(LPDSBCAPS caps) override;
    STDMETHOD(GetCurrentPosition)(LPDWORD play, LPDWORD write) override;
    STDMETHOD(GetFormat)(LPWAVEFORMATEX format, DWORD sizeAllocated, LPDWORD sizeWritten) override;
    STDMETHOD(GetVolume)(LPLONG volume) override;
    STDMETHOD(GetPan)(LPLONG pan) override;
    STDMETHOD(GetFrequency)(LPDWORD frequency) override;
    STDMETHOD(GetStatus)(LPDWORD status) override;
    STDMETHOD(Initialize)(LPDIRECTSOUND directSound, LPCDSBUFFERDESC description) override;
    STDMETHOD(Lock)(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2, LPDWORD bytes2,
                    DWORD flags) override;
    STDMETHOD(Play)(DWORD reserved, DWORD priority, DWORD flags) override;
    STDMETHOD(SetCurrentPosition)(DWORD position) override;
    STDMETHOD(SetFormat)(LPCWAVEFORMATEX format) override;
    STDMETHOD(SetVolume)(LONG volume) override;
    STDMETHOD(SetPan)(LONG pan) override;
    STDMETHOD(SetFrequency)(DWORD frequency) override;
    STDMETHOD(Stop)() override;
    STDMETHOD(Unlock)(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) override;
    STDMETHOD(Restore)() override;

    virtual ~CCaptureSoundBuffer();

    // The version 8 methods, never reached: the object is not a version 8 buffer.
    virtual HRESULT STDMETHODCALLTYPE SetFX(DWORD effectsCount, LPDSEFFECTDESC effects, LPDWORD resultCodes);
    virtual HRESULT STDMETHODCALLTYPE AcquireResources(DWORD flags, DWORD effectsCount, LPDWORD resultCodes);
    virtual HRESULT STDMETHODCALLTYPE GetObjectInPath(REFGUID object, DWORD index, REFGUID iid, LPVOID* result);

    // IDirectSoundNotify
    STDMETHOD(SetNotificationPositions)(DWORD count, LPCDSBPOSITIONNOTIFY positions) override;

    // ---- The store ----------------------------------------------------------

    // Enters the store lock (held until EndWrite) and gives the regions of the
    // double buffer for ring offset a and b bytes; completes a half when the
    // writer has wrapped. An offset of N or more is taken modulo N and a count
    // above N as N, so the regions always lie inside the double buffer.
    void BeginWrite(DWORD offset, DWORD bytes, DWORD flags, CCaptureRegion& first, CCaptureRegion& second);
    void EndWrite();
    // Appends a completed half (lock held), less what lies before the
    // capture's start point.
    void FlushHalf(const BYTE* half);
    // Waits until B bytes lie beyond offset (or a signal is pending, or the
    // capture has ended), then returns the file at offset with the lock held.
    // Raises std::runtime_error; the lock is then not held.
    // Offsets, sizes and the limit are 64-bit: a capture holds any song.
    CHostFile* WaitForData(int64_t offset);
    void EndRead();
    void SetDataLimit(int64_t limit);
    int64_t GetDataLimit() const { return dataLimit; }
    void ClearCapture();
    // The play cursor, for a capture that holds nothing yet and so can still
    // choose where it begins; false otherwise or when it cannot be read.
    bool ReadPlayCursor(DWORD* play);
    // Makes such a capture begin with the byte at play (a cursor just read),
    // instead of at the start of the lap the writer is in, so that what
    // precedes the music does not depend on where in the ring the writer
    // happened to be, and sets the data limit (see SetDataLimit): until then
    // a limit of 0 keeps every half out. False (nothing changed) once the
    // capture has begun.
    bool StartAtPlayCursor(DWORD play, int64_t limit);
    // True once no more data will reach the file: a half was dropped at the
    // data limit, a write failed, or there is no file. The reader then reads
    // what is there and stops.
    bool IsCaptureEnded() const;
    // Why the last WaitForData failed, in words for the user (the exception
    // carries the diagnostic text). Read on the reader's thread only.
    const std::string& GetFailureReason() const { return failureReason; }

    // For tests and diagnostics: the double buffer (2N bytes) and the file name.
    const BYTE* GetDoubleBuffer() const { return doubleBuffer.get(); }
    const char* GetTempFileName() const { return tempFileName.c_str(); }
    HANDLE GetDataReadyEvent() const { return dataReadyEvent.Get(); }

    // Logs what the synthesizer did to this buffer, then closes and removes
    // the capture file: the engine's teardown calls it, since whoever made
    // the buffer may not be the last to release it. Writes after it are
    // dropped.
    void CloseStore();

private:
    bool OpenStoreFile();
    // The temporary folder as the user's messages name it.
    std::string FolderName() const;
    bool RealBufferNotifies();
    bool CanChooseStart() const;
    // Appends bytes unless the data limit or a failed write stops them.
    void Append(const BYTE* bytes, DWORD count);
    void NoteActivity();
    void UpdateSize();

    CComReference<IDirectSoundBuffer> realBuffer;
    std::unique_ptr<BYTE[]> doubleBuffer;
    DWORD doubleBufferBytes = 0;
    std::string tempFileName;
    // The temporary folder the file was made in, for the user's messages.
    std::string tempFolder;
    COwnedHandle dataReadyEvent;
    CRITICAL_SECTION lock;
    CCaptureTraffic traffic;
    CHostFile* storeFile = nullptr;
    DWORD pendingLockFlags = 0;
    DWORD lastLockOffset = 0;
    BOOL secondHalfCurrent = FALSE;
    LONG volatile referenceCount = 1;
    std::atomic<int64_t> readOffset{0};
    int64_t dataLimit = 0;

    // The file's size as last seen under the lock, for the reader's check
    // outside it.
    std::atomic<int64_t> fileSize{0};
    // Set when no more halves can be appended (see IsCaptureEnded).
    std::atomic<bool> capped{false};
    std::atomic<bool> writeFailed{false};
    std::atomic<bool> fileOpen{false};
    // Platform milliseconds of the last append, or of the last (re)start.
    std::atomic<DWORD> lastActivity{0};
    // BeginWrite calls not yet matched by EndWrite, so a stray Unlock never
    // leaves a lock it does not hold.
    int writeNesting = 0;
    // Bytes of the most recent Lock (after clamping), to tell a whole-ring
    // Lock followed by one at the same offset from a rewrite.
    DWORD lastLockBytes = 0;
    // Bytes of the halves still to come that lie before the start point.
    DWORD startSkip = 0;
    // See GetFailureReason.
    std::string failureReason;
};
