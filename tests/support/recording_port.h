// The platform's emulated external MIDI output on a performance, with what
// reaches it recorded: each note (its on paired with its off), program change
// and controller, with the reference time it is due, its channel group and
// channel. Tests read which note goes out when from it instead of listening
// for onsets in rendered sound.
#pragma once

#include <dmusicc.h>
#include <dmusici.h>

#include <mutex>
#include <ostream>
#include <vector>

#include "platform/dmusic/port.h"

namespace testsupport {

struct CRecordedNote {
    REFERENCE_TIME on;      // from the origin asked for
    REFERENCE_TIME length;  // to its off; -1 while none has come
    DWORD group;
    BYTE channel, key, velocity;
    bool operator==(const CRecordedNote&) const = default;
};

// Any other channel message: status without the channel (0xB0, 0xC0, ...).
struct CRecordedMessage {
    REFERENCE_TIME at;
    DWORD group;
    BYTE status, channel, data1, data2;
    bool operator==(const CRecordedMessage&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CRecordedNote& note);
std::ostream& operator<<(std::ostream& out, const CRecordedMessage& message);

class CRecordingPort final : public dmusic::IMidiOutReceiver {
public:
    // Records what reaches the output, whoever opened it.
    CRecordingPort();
    // Creates the output on DirectMusic, activates it, adds it to the
    // performance on channel block 0 and starts recording.
    CRecordingPort(IDirectMusicPerformance* performance, IDirectMusic* music);
    // Stops recording: close the performance down first, so that its
    // sequencer sends nothing more.
    ~CRecordingPort();
    CRecordingPort(const CRecordingPort&) = delete;
    CRecordingPort& operator=(const CRecordingPort&) = delete;

    IDirectMusicPort* Port() const { return port; }  // null when not made here
    // In the order of their times (then of their sending), from origin.
    std::vector<CRecordedNote> Notes(REFERENCE_TIME origin) const;
    std::vector<CRecordedMessage> Others(REFERENCE_TIME origin) const;
    size_t NotesOn() const;
    void Clear();

    void Receive(REFERENCE_TIME at, DWORD group, DWORD message) override;
    void ReceiveSysex(REFERENCE_TIME at, DWORD group, const BYTE* data, size_t size) override;

private:
    struct Raw {
        REFERENCE_TIME at;
        DWORD group;
        DWORD message;
    };
    IDirectMusicPort* port = nullptr;
    mutable std::mutex lock;
    std::vector<Raw> received;
};

}  // namespace testsupport
