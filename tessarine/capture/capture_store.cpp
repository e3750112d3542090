// The capture store: the double buffer the synthesiser renders into, the
// temporary PCM file its completed halves are appended to, and the reader's
// wait for data. One recursive lock guards the buffer, the file and its
// position; the reader checks the size and waits outside it.
#include "tessarine/capture/capture_sound_buffer.h"

#include "sdk/velmora/velmora_utf8.h"
#include "tessarine/frame/config.h"
#include "tessarine/frame/host_access.h"
#include "tessarine/frame/log.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

CCaptureSoundBuffer::CCaptureSoundBuffer(IDirectSoundBuffer* real, LPCDSBUFFERDESC description)
{
    DWORD ring = description != nullptr ? description->dwBufferBytes : 0;
    if (ring > 0x7FFFFFFF)
        ring = 0;  // no ring a DirectSound buffer can have; nothing is captured
    // Zeroed, so a half completed before the writer filled all of it never
    // carries stale memory into the file.
    doubleBuffer.reset(new BYTE[size_t(ring) * 2 + 1]());
    doubleBufferBytes = ring * 2;
    dataReadyEvent.Reset(uCreateEvent(nullptr, FALSE, FALSE, nullptr));
    InitializeCriticalSection(&lock);
    NoteActivity();

    char folder[VELMORA_UTF8_MAX_PATH];
    char name[VELMORA_UTF8_MAX_PATH];
    DWORD length = uGetTempPath(sizeof(folder), folder);
    if (length > 0 && length < sizeof(folder))
        tempFolder = folder;
    if (tempFolder.empty() || uGetTempFileName(folder, "KTDM", 0, name) == 0) {
        LogLine("Could not create the capture file");
    } else {
        tempFileName = name;
        if (!OpenStoreFile())
            LogLine("Could not open the capture file %s", name);
    }
    // Taken over last, so that a failure above leaves the caller's reference
    // with the caller.
    realBuffer = CComReference<IDirectSoundBuffer>::Adopt(real);
}

CCaptureSoundBuffer::~CCaptureSoundBuffer()
{
    if (storeFile != nullptr) {
        storeFile->Close();
        storeFile = nullptr;
    }
    if (!tempFileName.empty())
        RemoveHostFile(tempFileName.c_str());
    DeleteCriticalSection(&lock);
}

void CCaptureSoundBuffer::CloseStore()
{
    EnterCriticalSection(&lock);
    LogLine("Capture traffic: %s", traffic.Describe().c_str());
    if (storeFile != nullptr) {
        storeFile->Close();
        storeFile = nullptr;
    }
    fileOpen.store(false);
    if (!tempFileName.empty())
        RemoveHostFile(tempFileName.c_str());
    tempFileName.clear();
    LeaveCriticalSection(&lock);
}

std::string CCaptureSoundBuffer::FolderName() const
{
    return tempFolder.empty() ? std::string("TMPDIR") : "TMPDIR (" + tempFolder + ")";
}

bool CCaptureSoundBuffer::OpenStoreFile()
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

void CCaptureSoundBuffer::NoteActivity() { lastActivity.store(timeGetTime()); }

void CCaptureSoundBuffer::UpdateSize() { fileSize.store(storeFile != nullptr ? storeFile->GetSize() : 0); }

bool CCaptureSoundBuffer::IsCaptureEnded() const
{
    return capped.load() || writeFailed.load() || !fileOpen.load();
}

void CCaptureSoundBuffer::BeginWrite(DWORD offset, DWORD bytes, DWORD flags, CCaptureRegion& first,
                                     CCaptureRegion& second)
{
    EnterCriticalSection(&lock);
    ++writeNesting;
    DWORD ring = doubleBufferBytes / 2;
    first = {nullptr, 0};
    second = {nullptr, 0};
    if (ring == 0) {
        pendingLockFlags = flags;
        lastLockOffset = 0;
        return;
    }
    // The double buffer covers offsets below N in each half.
    offset %= ring;
    if (bytes > ring)
        bytes = ring;
    // The writer has wrapped when it comes back to a lower offset, or to the
    // same offset right after a Lock of the whole ring (which filled the
    // rest of the current half and the start of the other).
    if (lastLockOffset > offset || (lastLockBytes == ring && lastLockOffset == offset)) {
        // The half it was filling is complete.
        BOOL completed = secondHalfCurrent;
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

void CCaptureSoundBuffer::EndWrite()
{
    // Entered again first: an Unlock without a Lock then waits for the
    // writer instead of leaving a lock it does not hold.
    EnterCriticalSection(&lock);
    if (writeNesting > 0) {
        --writeNesting;
        pendingLockFlags = 0;
        LeaveCriticalSection(&lock);  // the one BeginWrite took
    }
    LeaveCriticalSection(&lock);
}

void CCaptureSoundBuffer::FlushHalf(const BYTE* half)
{
    // What lies before the capture's start point is not part of it.
    DWORD ring = doubleBufferBytes / 2;
    DWORD skip = std::min(startSkip, ring);
    startSkip -= skip;
    if (skip < ring)
        Append(half + skip, ring - skip);
}

void CCaptureSoundBuffer::Append(const BYTE* bytes, DWORD count)
{
    if (storeFile == nullptr || writeFailed.load())
        return;
    int64_t size = storeFile->GetSize();
    if (size + count > dataLimit) {
        LogLine("All Data Ready");
        if (dataLimit > 0 && !capped.exchange(true)) {
            // No more data will come: wake the reader so it takes what is there.
            SetEvent(dataReadyEvent.Get());
        }
        return;
    }
    // At the end: a reader puts the position back there, and it is moved
    // there should anything else have left it elsewhere.
    const bool atEnd = storeFile->GetPosition() == size || storeFile->SeekFrom(0, HOST_SEEK_END);
    uint32_t written = atEnd ? storeFile->Write(bytes, count) : 0;
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

CHostFile* CCaptureSoundBuffer::WaitForData(int64_t offset)
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
    int64_t size = fileSize.load();
    if (size < offset + int64_t(GetBlockSize(configOutputBuffer.value)) && !IsCaptureEnded()) {
        LogLine("Waiting for data");
        for (;;) {
            // Waits in steps so that a capture that stops appending is noticed.
            DWORD idle = timeGetTime() - lastActivity.load();
            if (idle >= captureStallTimeout) {
                failureReason = "the synthesizer delivered no audio for " +
                                std::to_string(captureStallTimeout / 1000) + " seconds";
                throw std::runtime_error("error waiting for MIDI event");
            }
            DWORD result = WaitForSingleObject(dataReadyEvent.Get(), captureStallTimeout - idle);
            if (result == WAIT_OBJECT_0)
                break;
            if (result != WAIT_TIMEOUT) {
                failureReason = "the wait for the synthesizer's audio failed";
                throw std::runtime_error("error waiting for MIDI event");
            }
            if (IsCaptureEnded())
                break;
        }
        LogLine("Wait Finished");
    }
    EnterCriticalSection(&lock);
    if (storeFile == nullptr || offset < 0 || !storeFile->Seek(offset)) {
        LeaveCriticalSection(&lock);
        failureReason = "the capture file cannot be read back";
        throw std::runtime_error("error seeking to offset location");
    }
    return storeFile;
}

void CCaptureSoundBuffer::EndRead()
{
    if (storeFile == nullptr || !storeFile->SeekFrom(0, HOST_SEEK_END)) {
        LeaveCriticalSection(&lock);
        throw std::runtime_error("error seeking to offset location");
    }
    LeaveCriticalSection(&lock);
}

void CCaptureSoundBuffer::SetDataLimit(int64_t limit)
{
    EnterCriticalSection(&lock);
    dataLimit = limit;
    // A new limit may leave room for more halves; the signal that woke the
    // reader at the old limit no longer holds.
    if (capped.load() && fileSize.load() + doubleBufferBytes / 2 <= limit) {
        capped.store(false);
        ResetEvent(dataReadyEvent.Get());
    }
    NoteActivity();
    LeaveCriticalSection(&lock);
}

void CCaptureSoundBuffer::ClearCapture()
{
    EnterCriticalSection(&lock);
    ResetEvent(dataReadyEvent.Get());
    std::memset(doubleBuffer.get(), 0, doubleBufferBytes);
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
    if (realBuffer)
        SetCurrentPosition(0);
    lastLockOffset = 0;
    lastLockBytes = 0;
    startSkip = 0;
    LeaveCriticalSection(&lock);
}

bool CCaptureSoundBuffer::CanChooseStart() const
{
    // Only a capture that has not begun can choose where it begins.
    return doubleBufferBytes / 2 != 0 && storeFile != nullptr && fileSize.load() == 0 && realBuffer;
}

bool CCaptureSoundBuffer::ReadPlayCursor(DWORD* play)
{
    EnterCriticalSection(&lock);
    DWORD write = 0;
    const bool read = CanChooseStart() && SUCCEEDED(realBuffer->GetCurrentPosition(play, &write));
    LeaveCriticalSection(&lock);
    return read;
}

bool CCaptureSoundBuffer::StartAtPlayCursor(DWORD play, int64_t limit)
{
    EnterCriticalSection(&lock);
    DWORD ring = doubleBufferBytes / 2;
    if (!CanChooseStart()) {
        LeaveCriticalSection(&lock);
        return false;
    }
    // The limit comes with the start, so no half reaches the file before
    // the capture has chosen where it begins.
    dataLimit = limit;
    NoteActivity();
    play = (play % ring) & ~DWORD(3);
    // Where the writer goes on, from the start of the current half: past the
    // ring's end when its last Lock ran into the next lap, which then lies
    // in the other half. The cursor is in the lap that puts it nearest the
    // writer (ahead of it on a tie): the previous lap, still whole in the
    // other half, this one, or the next one.
    const int64_t writer = int64_t(lastLockOffset) + int64_t(lastLockBytes);
    int64_t cursor = play;
    for (int64_t candidate : {int64_t(play) - int64_t(ring), int64_t(play) + int64_t(ring)}) {
        const int64_t distance = std::llabs(candidate - writer), best = std::llabs(cursor - writer);
        if (distance < best || (distance == best && candidate < cursor))
            cursor = candidate;
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
    LeaveCriticalSection(&lock);
    return true;
}
