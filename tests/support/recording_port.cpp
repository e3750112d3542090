#include "tests/support/recording_port.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace testsupport {

namespace {

bool IsOn(DWORD message) { return (message & 0xF0) == 0x90 && ((message >> 16) & 0x7F) != 0; }
bool IsOff(DWORD message) { return (message & 0xF0) == 0x80 || (message & 0xF0) == 0x90; }
BYTE Byte(DWORD message, int index) { return BYTE((message >> (8 * index)) & 0xFF); }

}  // namespace

std::ostream& operator<<(std::ostream& out, const CRecordedNote& note)
{
    return out << "{note " << int(note.key) << " vel " << int(note.velocity) << " ch " << int(note.channel) << " group "
               << note.group << " on " << note.on << " length " << note.length << "}";
}

std::ostream& operator<<(std::ostream& out, const CRecordedMessage& message)
{
    return out << "{status 0x" << std::hex << int(message.status) << std::dec << " ch " << int(message.channel) << " "
               << int(message.data1) << " " << int(message.data2) << " group " << message.group << " at " << message.at
               << "}";
}

CRecordingPort::CRecordingPort() { dmusic::SetMidiOutReceiver(this); }

CRecordingPort::CRecordingPort(IDirectMusicPerformance* performance, IDirectMusic* music)
{
    DMUS_PORTPARAMS8 params{};
    params.dwSize = sizeof(DMUS_PORTPARAMS7);
    EXPECT_EQ(music->CreatePort(dmusic::GUID_PlatformMidiOutPort, &params, &port, nullptr), S_OK);
    if (!port) return;
    EXPECT_EQ(port->Activate(TRUE), S_OK);
    EXPECT_EQ(performance->AddPort(port), S_OK);
    EXPECT_EQ(performance->AssignPChannelBlock(0, port, 1), S_OK);
    dmusic::SetMidiOutReceiver(this);
}

CRecordingPort::~CRecordingPort()
{
    dmusic::SetMidiOutReceiver(nullptr);
    if (port) port->Release();
}

void CRecordingPort::Receive(REFERENCE_TIME at, DWORD group, DWORD message)
{
    std::lock_guard<std::mutex> guard(lock);
    received.push_back({at, group, message});
}

void CRecordingPort::ReceiveSysex(REFERENCE_TIME, DWORD, const BYTE*, size_t) {}

std::vector<CRecordedNote> CRecordingPort::Notes(REFERENCE_TIME origin) const
{
    std::lock_guard<std::mutex> guard(lock);
    std::vector<CRecordedNote> notes;
    std::vector<bool> paired(received.size(), false);
    for (size_t i = 0; i < received.size(); ++i) {
        const Raw& on = received[i];
        if (!IsOn(on.message)) continue;
        CRecordedNote note{on.at - origin,     -1, on.group, BYTE(on.message & 0x0F), Byte(on.message, 1),
                           Byte(on.message, 2)};
        // Its off: the first one sent after it for the same key that no
        // earlier note took.
        for (size_t j = i + 1; j < received.size(); ++j) {
            const Raw& off = received[j];
            if (paired[j] || IsOn(off.message) || !IsOff(off.message) || off.group != on.group ||
                (off.message & 0x0F) != note.channel || Byte(off.message, 1) != note.key)
                continue;
            paired[j] = true;
            note.length = off.at - on.at;
            break;
        }
        notes.push_back(note);
    }
    std::stable_sort(notes.begin(), notes.end(),
                     [](const CRecordedNote& a, const CRecordedNote& b) { return a.on < b.on; });
    return notes;
}

std::vector<CRecordedMessage> CRecordingPort::Others(REFERENCE_TIME origin) const
{
    std::lock_guard<std::mutex> guard(lock);
    std::vector<CRecordedMessage> others;
    for (const Raw& raw : received) {
        if (IsOff(raw.message)) continue;
        others.push_back({raw.at - origin, raw.group, BYTE(raw.message & 0xF0), BYTE(raw.message & 0x0F),
                          Byte(raw.message, 1), Byte(raw.message, 2)});
    }
    std::stable_sort(others.begin(), others.end(),
                     [](const CRecordedMessage& a, const CRecordedMessage& b) { return a.at < b.at; });
    return others;
}

size_t CRecordingPort::NotesOn() const
{
    std::lock_guard<std::mutex> guard(lock);
    return size_t(std::count_if(received.begin(), received.end(), [](const Raw& raw) { return IsOn(raw.message); }));
}

void CRecordingPort::Clear()
{
    std::lock_guard<std::mutex> guard(lock);
    received.clear();
}

}  // namespace testsupport
