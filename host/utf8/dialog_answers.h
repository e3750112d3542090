// The host's side of the three dialog calls that a person answers: message
// boxes, shell execution and the file chooser. The command line and the
// tests install the answers; with none installed a message box answers "no"
// (IDNO, or IDCANCEL/IDOK when there is no "no"), nothing is executed and
// the chooser is cancelled.
#pragma once

#include "sdk/velmora/velmora_utf8.h"

#include <string>

class CDialogAnswers {
public:
    virtual int AnswerMessageBox(HWND parent, const char* text, const char* caption, UINT type) = 0;
    // True when the address or file was opened.
    virtual bool AnswerShellExecute(HWND parent, const char* verb, const char* file, const char* parameters) = 0;
    // True with the chosen path, false when cancelled.
    virtual bool AnswerOpenFileName(HWND parent, const char* filter, const char* title, std::string& path) = 0;

protected:
    ~CDialogAnswers() = default;
};

// Installs answers (null removes them); returns the ones installed before.
VELMORA_DIALOG_ANSWERS_API CDialogAnswers* uSetDialogAnswers(CDialogAnswers* answers);
