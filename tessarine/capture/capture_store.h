// The capture store: the double buffer the synthesiser renders into, the
// temporary PCM file its completed halves are appended to, and the reader's
// wait for data. The capture buffer (capture_sound_buffer.h) owns one and
// serves its Lock and Unlock from it.
//
// One mutex guards the double buffer's bookkeeping, the file and its
// position; it is taken and released inside each operation and never held
// across a return to the caller. Between a Lock and its Unlock the regions
// belong to the writer: that is a write lease, not a held lock, and only the
// operations that touch the double buffer or place the capture's start in
// it (clearing, reading the cursor, starting) wait for the lease to end. A reader reads the file, never
// the double buffer, so reading and rendering go on side by side.
#pragma once

#include "tessarine/frame/com_reference.h"
#include "sdk/velmora/host_contract.h"
#include "tessarine/frame/owned_handle.h"
#include "tessarine/frame/sdk.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// How long a reader waits for the next half before it gives up on the
// capture, in milliseconds of platform time: the synthesiser appends one
// half per second while it runs.
inline constexpr DWORD captureStallTimeout = 10000;

// Milliseconds from the last activity to now, two tick counts that may wrap.
// An activity stamped after now was read (by a writer between the reader's
// two readings) lies ahead of now: no time has passed since it.
inline DWORD CaptureIdleTime(DWORD lastActivity, DWORD now)
{
    const int32_t passed = int32_t(now - lastActivity);
    return passed > 0 ? DWORD(passed) : 0;
}

// One buffer region handed to the writer.
struct CCaptureRegion {
    BYTE* pointer;
    DWORD length;
};

class CCaptureReader;

class CCaptureStore {
public:
    // ring is N, the capture buffer's dwBufferBytes; real is the buffer the
    // capture stands in for (or null), which the owner keeps alive as long
    // as the store. Never throws for a missing temporary file: the store
    // then refuses to serve (see BeginRead).
    CCaptureStore(IDirectSoundBuffer* real, DWORD ring);
    CCaptureStore(const CCaptureStore&) = delete;
    CCaptureStore& operator=(const CCaptureStore&) = delete;
    ~CCaptureStore();

    // ---- The writer ---------------------------------------------------------

    // Opens a write lease (a Lock) and gives the regions of the double buffer
    // for ring offset a and b bytes; completes a half when the writer has
    // wrapped. An offset of N or more is taken modulo N and a count above N
    // as N, so the regions always lie inside the double buffer. Waits while
    // another thread's lease is open; the same thread may open another.
    void BeginWrite(DWORD offset, DWORD bytes, DWORD flags, CCaptureRegion& first, CCaptureRegion& second);
    // Ends the innermost lease of the calling thread (an Unlock). mirror, if
    // given, is called first with the Lock's offset and flags, while the
    // lease still holds, and its result returned (DS_OK without one). An
    // Unlock from a thread without a lease waits for the writer's lease to
    // end and ends nothing.
    HRESULT EndWrite(const std::function<HRESULT(DWORD offset, DWORD flags)>& mirror = nullptr);

    // ---- The reader ---------------------------------------------------------

    // Waits until B bytes lie beyond offset (or a signal is pending, or the
    // capture has ended), then opens a read of the file from offset on.
    // owner, if given, is kept alive by the read (it owns this store).
    // Raises std::runtime_error; no lock is held then, nor after a return.
    // Offsets, sizes and the limit are 64-bit: a capture holds any song.
    CComReference<CCaptureReader> BeginRead(int64_t offset, IUnknown* owner = nullptr);
    // Why the last BeginRead failed, in words for the user (the exception
    // carries the diagnostic text). Read on the reader's thread only.
    const std::string& GetFailureReason() const { return failureReason; }

    // ---- Control ------------------------------------------------------------

    void SetDataLimit(int64_t limit);
    int64_t GetDataLimit() const { return dataLimit.load(); }
    // Empties the file, the double buffer and the pending signal, and moves
    // the real buffer's play position back to 0; the ring starts over there.
    void ClearCapture();
    // The play cursor, for a capture that holds nothing yet and so can still
    // choose where it begins; false otherwise or when it cannot be read.
    // With locks, also how many Locks the writer has made so far.
    bool ReadPlayCursor(DWORD* play, uint64_t* locks = nullptr);
    // Makes such a capture begin with the byte at play (a cursor just read),
    // instead of at the start of the lap the writer is in, so that what
    // precedes the music does not depend on where in the ring the writer
    // happened to be, and sets the data limit (see SetDataLimit): until then
    // a limit of 0 keeps every half out. False (nothing changed) once the
    // capture has begun. Given the Lock count of the cursor's read, a start
    // whose writer has Locked since is refused too (*writerMoved then says
    // so): the cursor may be a lap behind what the writer holds by now.
    bool StartAtPlayCursor(DWORD play, int64_t limit, const uint64_t* locksAtRead = nullptr,
                           bool* writerMoved = nullptr);
    // True once no more data will reach the file: a half was dropped at the
    // data limit, a write failed, or there is no file. The reader then reads
    // what is there and stops.
    bool IsCaptureEnded() const;
    // Closes and removes the capture file; writes after it are dropped.
    void Close();

    // For tests and diagnostics: the double buffer (2N bytes) and the file name.
    const BYTE* GetDoubleBuffer() const { return doubleBuffer.get(); }
    const char* GetTempFileName() const { return tempFileName.c_str(); }
    HANDLE GetDataReadyEvent() const { return dataReadyEvent.Get(); }

private:
    friend class CCaptureReader;
    using CHold = std::unique_lock<std::mutex>;

    bool OpenStoreFile();
    // The temporary folder as the user's messages name it.
    std::string FolderName() const;
    // Waits (the mutex held by hold) until no other thread's write lease is open.
    void AwaitWriteLease(CHold& hold);
    bool CanChooseStart() const;
    // Appends a completed half (mutex held), less what lies before the
    // capture's start point.
    void FlushHalf(const BYTE* half);
    // Appends bytes unless the data limit or a failed write stops them.
    void Append(const BYTE* bytes, DWORD count);
    // The reader's wait for data at offset; raises as BeginRead does.
    void WaitForData(int64_t offset);
    // Up to count bytes of the file from offset on, as it holds them now.
    // The file's position goes back to its end for the writer; restored
    // becomes false when it could not.
    uint32_t ReadAt(int64_t offset, void* buffer, uint32_t count, bool& restored);
    void NoteActivity();
    void UpdateSize();

    IDirectSoundBuffer* const realBuffer;
    std::unique_ptr<BYTE[]> doubleBuffer;
    const DWORD ringBytes;
    std::string tempFileName;
    // The temporary folder the file was made in, for the user's messages.
    std::string tempFolder;
    COwnedHandle dataReadyEvent;
    std::mutex lock;
    // Signalled when the last write lease ends.
    std::condition_variable writeEnded;
    // The thread whose lease is open and how many Locks it has not yet
    // unlocked; 0 when none is open.
    std::thread::id writer;
    int writeDepth = 0;
    // Locks made since the store began.
    uint64_t locks = 0;
    CHostFile* storeFile = nullptr;
    DWORD pendingLockFlags = 0;
    DWORD lastLockOffset = 0;
    // Bytes of the most recent Lock (after clamping), to tell a whole-ring
    // Lock followed by one at the same offset from a rewrite.
    DWORD lastLockBytes = 0;
    bool secondHalfCurrent = false;
    // Bytes of the halves still to come that lie before the start point.
    DWORD startSkip = 0;
    std::atomic<int64_t> readOffset{0};
    std::atomic<int64_t> dataLimit{0};

    // The file's size as last seen under the mutex, for the reader's check
    // outside it.
    std::atomic<int64_t> fileSize{0};
    // Set when no more halves can be appended (see IsCaptureEnded).
    std::atomic<bool> capped{false};
    std::atomic<bool> writeFailed{false};
    std::atomic<bool> fileOpen{false};
    // Platform milliseconds (a timeGetTime tick count) of the last append,
    // or of the last (re)start.
    std::atomic<DWORD> lastActivity{0};
    // See GetFailureReason.
    std::string failureReason;
};

// A read of the capture as the engine hands it to the decoder: the capture
// file from an offset on, each Read taken from the file under the store's
// mutex, so that no lock is held between the reader's calls. Finish ends it.
class CCaptureReader final : public CHostFile {
public:
    CCaptureReader(CCaptureStore& store, IUnknown* owner, int64_t offset, bool restored);
    CCaptureReader(const CCaptureReader&) = delete;
    CCaptureReader& operator=(const CCaptureReader&) = delete;

    // Raises std::runtime_error when a read could not put the file's
    // position back at its end; nothing is held then.
    void Finish() const;

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

private:
    ~CCaptureReader() = default;

    CCaptureStore& store;
    CComReference<IUnknown> owner;
    const std::string path;
    int64_t position;
    bool restored;
    std::atomic<int32_t> references{1};
};
