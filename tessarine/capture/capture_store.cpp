// The capture store: the writer's regions and halves, the file, the reader's
// wait and reads, and the reads handed to the decoder.
#include "tessarine/capture/capture_store.h"

#include "sdk/velmora/velmora_utf8.h"
#include "tessarine/frame/config.h"
#include "tessarine/frame/host_access.h"
#include "tessarine/frame/log.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

// No ring a DirectSound buffer can have is larger; nothing is captured then.
DWORD UsableRing(DWORD ring) { return ring > 0x7FFFFFFF ? 0 : ring; }

}  // namespace

CCaptureStore::CCaptureStore(IDirectSoundBuffer* real, DWORD ring)
    : realBuffer(real),
      // Zeroed, so a half completed before the writer filled all of it never
      // carries stale memory into the file.
      doubleBuffer(new BYTE[size_t(UsableRing(ring)) * 2 + 1]()), ringBytes(UsableRing(ring))
{
    dataReadyEvent.Reset(uCreateEvent(nullptr, FALSE, FALSE, nullptr));
    NoteActivity();

    char folder[VELMORA_UTF8_MAX_PATH];
    char name[VELMORA_UTF8_MAX_PATH];
    DWORD length = uGetTempPath(sizeof(folder), folder);
    if (length > 0 && length < sizeof(folder)) tempFolder = folder;
    if (tempFolder.empty() || uGetTempFileName(folder, "KTDM", 0, name) == 0) {
        LogLine("Could not create the capture file");
    } else {
        tempFileName = name;
        if (!OpenStoreFile()) LogLine("Could not open the capture file %s", name);
    }
}

CCaptureStore::~CCaptureStore()
{
    if (storeFile != nullptr) {
        storeFile->Close();
        storeFile = nullptr;
    }
    if (!tempFileName.empty()) RemoveHostFile(tempFileName.c_str());
}

void CCaptureStore::Close()
{
    CHold hold(lock);
    if (storeFile != nullptr) {
        storeFile->Close();
        storeFile = nullptr;
    }
    fileOpen.store(false);
    if (!tempFileName.empty()) RemoveHostFile(tempFileName.c_str());
    tempFileName.clear();
}

std::string CCaptureStore::FolderName() const
{
    return tempFolder.empty() ? std::string("TMPDIR") : "TMPDIR (" + tempFolder + ")";
}

bool CCaptureStore::OpenStoreFile()
{
    storeFile = OpenHostFile(tempFileName.c_str(), HOST_OPEN_READWRITE);
    if (storeFile != nullptr && storeFile->GetSize() != 0) {
        // The name was reserved by an empty file a moment ago: anything else
        // is some other file put in its place, which the capture must
        // neither write to nor empty.
        LogLine("The capture file %s is not the empty file made for it", tempFileName.c_str());
        storeFile->Close();
        storeFile = nullptr;
    }
    fileOpen.store(storeFile != nullptr);
    UpdateSize();
    return storeFile != nullptr;
}

void CCaptureStore::NoteActivity() { lastActivity.store(timeGetTime()); }

void CCaptureStore::UpdateSize() { fileSize.store(storeFile != nullptr ? storeFile->GetSize() : 0); }

bool CCaptureStore::IsCaptureEnded() const { return capped.load() || writeFailed.load() || !fileOpen.load(); }

// ---- The writer ------------------------------------------------------------

void CCaptureStore::AwaitWriteLease(CHold& hold)
{
    const std::thread::id self = std::this_thread::get_id();
    writeEnded.wait(hold, [&] { return writeDepth == 0 || writer == self; });
}

void CCaptureStore::BeginWrite(DWORD offset, DWORD bytes, DWORD flags, CCaptureRegion& first, CCaptureRegion& second)
{
    CHold hold(lock);
    AwaitWriteLease(hold);
    writer = std::this_thread::get_id();
    ++writeDepth;
    ++locks;
    const DWORD ring = ringBytes;
    first = {nullptr, 0};
    second = {nullptr, 0};
    if (ring == 0) {
        pendingLockFlags = flags;
        lastLockOffset = 0;
        return;
    }
    // The double buffer covers offsets below N in each half.
    offset %= ring;
    if (bytes > ring) bytes = ring;
    // The writer has wrapped when it comes back to a lower offset, or to the
    // same offset right after a Lock of the whole ring (which filled the
    // rest of the current half and the start of the other).
    if (lastLockOffset > offset || (lastLockBytes == ring && lastLockOffset == offset)) {
        // The half it was filling is complete.
        const bool completed = secondHalfCurrent;
        secondHalfCurrent = !secondHalfCurrent;
        FlushHalf(doubleBuffer.get() + (completed ? ring : 0));
    }
    BYTE* current = doubleBuffer.get() + (secondHalfCurrent ? ring : 0);
    BYTE* other = doubleBuffer.get() + (secondHalfCurrent ? 0 : ring);
    first.pointer = current + offset;
    if (offset + bytes > ring) {
        first.length = ring - offset;
        second.pointer = other;
        second.length = bytes - (ring - offset);
    } else {
        first.length = bytes;
    }
    pendingLockFlags = flags;
    lastLockOffset = offset;
    lastLockBytes = bytes;
}

HRESULT CCaptureStore::EndWrite(const std::function<HRESULT(DWORD offset, DWORD flags)>& mirror)
{
    CHold hold(lock);
    AwaitWriteLease(hold);
    const HRESULT result = mirror ? mirror(lastLockOffset, pendingLockFlags) : DS_OK;
    if (writeDepth > 0) {
        pendingLockFlags = 0;
        if (--writeDepth == 0) {
            writer = std::thread::id();
            writeEnded.notify_all();
        }
    }
    return result;
}

void CCaptureStore::FlushHalf(const BYTE* half)
{
    // What lies before the capture's start point is not part of it.
    const DWORD ring = ringBytes;
    const DWORD skip = std::min(startSkip, ring);
    startSkip -= skip;
    if (skip < ring) Append(half + skip, ring - skip);
}

void CCaptureStore::Append(const BYTE* bytes, DWORD count)
{
    if (storeFile == nullptr || writeFailed.load()) return;
    const int64_t size = storeFile->GetSize();
    const int64_t limit = dataLimit.load();
    if (size + count > limit) {
        LogLine("All Data Ready");
        if (limit > 0 && !capped.exchange(true)) {
            // No more data will come: wake the reader so it takes what is there.
            SetEvent(dataReadyEvent.Get());
        }
        return;
    }
    // At the end: a reader puts the position back there, and it is moved
    // there should anything else have left it elsewhere.
    const bool atEnd = storeFile->GetPosition() == size || storeFile->SeekFrom(0, HOST_SEEK_END);
    const uint32_t written = atEnd ? storeFile->Write(bytes, count) : 0;
    UpdateSize();
    NoteActivity();
    if (written != count) {
        // What reached the file is still the stream in order; appending more
        // after a gap would not be, so the capture ends here.
        LogLine("Could not write the capture file");
        writeFailed.store(true);
        SetEvent(dataReadyEvent.Get());
        return;
    }
    const int64_t block = GetBlockSize(configOutputBuffer.value);
    if (fileSize.load() - readOffset.load() > 2 * block) {
        SetEvent(dataReadyEvent.Get());
        LogLine("Data Ready");
    }
}

// ---- The reader ------------------------------------------------------------

void CCaptureStore::WaitForData(int64_t offset)
{
    readOffset.store(offset);
    if (!fileOpen.load()) {
        failureReason = "the capture file could not be made in " + FolderName();
        throw std::runtime_error("error seeking to offset location");
    }
    if (writeFailed.load()) {
        // What is in the file is the stream so far, but the rest will never
        // come: the decode cannot give the whole song.
        failureReason = "no room for the capture in " + FolderName();
        throw std::runtime_error("Could not write the capture file");
    }
    const int64_t size = fileSize.load();
    if (size >= offset + int64_t(GetBlockSize(configOutputBuffer.value)) || IsCaptureEnded()) return;
    LogLine("Waiting for data");
    for (;;) {
        // Waits in steps so that a capture that stops appending is noticed.
        // The activity is read before the clock, so that it is never later
        // than the time it is measured against.
        const DWORD last = lastActivity.load();
        const DWORD idle = CaptureIdleTime(last, timeGetTime());
        if (idle >= captureStallTimeout) {
            failureReason =
                "the synthesizer delivered no audio for " + std::to_string(captureStallTimeout / 1000) + " seconds";
            throw std::runtime_error("error waiting for MIDI event");
        }
        const DWORD result = WaitForSingleObject(dataReadyEvent.Get(), captureStallTimeout - idle);
        if (result == WAIT_OBJECT_0) break;
        if (result != WAIT_TIMEOUT) {
            failureReason = "the wait for the synthesizer's audio failed";
            throw std::runtime_error("error waiting for MIDI event");
        }
        if (IsCaptureEnded()) break;
    }
    LogLine("Wait Finished");
}

CComReference<CCaptureReader> CCaptureStore::BeginRead(int64_t offset, IUnknown* owner)
{
    WaitForData(offset);
    bool readable = false;
    bool restored = false;
    {
        CHold hold(lock);
        // The file must be readable there; the position goes back to the end
        // at once, since the writer appends while the reader holds its read.
        readable = storeFile != nullptr && offset >= 0 && storeFile->Seek(offset);
        restored = readable && storeFile->SeekFrom(0, HOST_SEEK_END);
    }
    if (!readable) {
        failureReason = "the capture file cannot be read back";
        throw std::runtime_error("error seeking to offset location");
    }
    return CComReference<CCaptureReader>::Adopt(new CCaptureReader(*this, owner, offset, restored));
}

uint32_t CCaptureStore::ReadAt(int64_t offset, void* buffer, uint32_t count, bool& restored)
{
    CHold hold(lock);
    if (storeFile == nullptr || offset < 0 || !storeFile->Seek(offset)) return 0;
    const uint32_t got = storeFile->Read(buffer, count);
    if (!storeFile->SeekFrom(0, HOST_SEEK_END)) restored = false;
    return got;
}

// ---- Control ---------------------------------------------------------------

void CCaptureStore::SetDataLimit(int64_t limit)
{
    CHold hold(lock);
    dataLimit.store(limit);
    // A new limit may leave room for more halves; the signal that woke the
    // reader at the old limit no longer holds.
    if (capped.load() && fileSize.load() + ringBytes <= limit) {
        capped.store(false);
        ResetEvent(dataReadyEvent.Get());
    }
    NoteActivity();
}

void CCaptureStore::ClearCapture()
{
    CHold hold(lock);
    AwaitWriteLease(hold);
    ResetEvent(dataReadyEvent.Get());
    std::memset(doubleBuffer.get(), 0, size_t(ringBytes) * 2);
    // The file stays open and is emptied in place: removing it and creating
    // it again by name would give another user a moment to put a link of
    // their own there, and the new file the default permissions.
    if (storeFile != nullptr && !(storeFile->Seek(0) && storeFile->Truncate())) {
        LogLine("Could not empty the capture file %s", tempFileName.c_str());
        storeFile->Close();
        storeFile = nullptr;
        fileOpen.store(false);
    }
    UpdateSize();
    capped.store(false);
    writeFailed.store(false);
    NoteActivity();
    if (realBuffer != nullptr) realBuffer->SetCurrentPosition(0);
    lastLockOffset = 0;
    lastLockBytes = 0;
    startSkip = 0;
}

bool CCaptureStore::CanChooseStart() const
{
    // Only a capture that has not begun can choose where it begins.
    return ringBytes != 0 && storeFile != nullptr && fileSize.load() == 0 && realBuffer != nullptr;
}

bool CCaptureStore::ReadPlayCursor(DWORD* play, uint64_t* locksSoFar)
{
    CHold hold(lock);
    // Read between the writer's Locks, as StartAtPlayCursor places it.
    AwaitWriteLease(hold);
    if (locksSoFar) *locksSoFar = locks;
    DWORD write = 0;
    return CanChooseStart() && SUCCEEDED(realBuffer->GetCurrentPosition(play, &write));
}

bool CCaptureStore::StartAtPlayCursor(DWORD play, int64_t limit, const uint64_t* locksAtRead, bool* writerMoved)
{
    CHold hold(lock);
    // Where the writer stands is known once its Lock is unlocked.
    AwaitWriteLease(hold);
    const DWORD ring = ringBytes;
    if (writerMoved) *writerMoved = false;
    if (!CanChooseStart()) return false;
    if (locksAtRead && *locksAtRead != locks) {
        if (writerMoved) *writerMoved = true;
        return false;
    }
    // The limit comes with the start, so no half reaches the file before
    // the capture has chosen where it begins.
    dataLimit.store(limit);
    NoteActivity();
    play = (play % ring) & ~DWORD(3);
    // Where the writer goes on, from the start of the current half: past the
    // ring's end when its last Lock ran into the next lap, which then lies
    // in the other half. The cursor is in the lap that puts it nearest the
    // writer (ahead of it on a tie): the previous lap, still whole in the
    // other half, this one, or the next one.
    const int64_t writerAt = int64_t(lastLockOffset) + int64_t(lastLockBytes);
    int64_t cursor = play;
    for (int64_t candidate : {int64_t(play) - int64_t(ring), int64_t(play) + int64_t(ring)}) {
        const int64_t distance = std::llabs(candidate - writerAt), best = std::llabs(cursor - writerAt);
        if (distance < best || (distance == best && candidate < cursor)) cursor = candidate;
    }
    if (cursor < 0) {
        // The writer has wrapped and leads the cursor: the sound playing now
        // is the end of the previous lap.
        const BYTE* other = doubleBuffer.get() + (secondHalfCurrent ? 0 : ring);
        startSkip = 0;
        Append(other + play, ring - play);
    } else {
        // In this lap (or the next, the current half then going as well);
        // a late writer still writes those bytes there.
        startSkip = DWORD(cursor);
    }
    return true;
}

// ---- CCaptureReader ----------------------------------------------------------

CCaptureReader::CCaptureReader(CCaptureStore& store, IUnknown* owner, int64_t offset, bool restored)
    : store(store), owner(owner), path(store.GetTempFileName()), position(offset), restored(restored)
{}

void CCaptureReader::Finish() const
{
    if (!restored) throw std::runtime_error("error seeking to offset location");
}

int32_t CCaptureReader::Release()
{
    const int32_t left = --references;
    if (left == 0) delete this;
    return left;
}

int32_t CCaptureReader::AddRef() { return ++references; }

CHostService* CCaptureReader::QueryClass(const GUID*) { return nullptr; }

const char* CCaptureReader::GetPath() { return path.c_str(); }

int32_t CCaptureReader::Open(const char*, int32_t) { return 0; }

uint32_t CCaptureReader::Read(void* buffer, uint32_t count)
{
    const uint32_t got = store.ReadAt(position, buffer, count, restored);
    position += got;
    return got;
}

uint32_t CCaptureReader::Write(const void*, uint32_t) { return 0; }

int64_t CCaptureReader::GetSize() { return store.fileSize.load(); }

int64_t CCaptureReader::GetPosition() { return position; }

int32_t CCaptureReader::Truncate() { return 0; }

int32_t CCaptureReader::Seek(int64_t offset)
{
    if (offset < 0) return 0;
    position = offset;
    return 1;
}

int32_t CCaptureReader::SeekFrom(int64_t offset, int32_t origin)
{
    const int64_t base = origin == HOST_SEEK_END ? GetSize() : origin == HOST_SEEK_CURRENT ? position : 0;
    return Seek(base + offset);
}

int32_t CCaptureReader::CanSeek() { return 1; }

int32_t CCaptureReader::IsEndOfFile() { return position >= GetSize(); }

int32_t CCaptureReader::Flush() { return 1; }

int64_t CCaptureReader::GetModificationTime() { return 0; }

const char* CCaptureReader::GetContentType() { return ""; }

int32_t CCaptureReader::IsStream() { return 0; }

void CCaptureReader::Close() { Release(); }
