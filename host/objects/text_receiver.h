// A text receiver: the component writes texts into it with SetText.
#pragma once

#include "sdk/velmora/host_contract.h"

#include <string>

class CHostTextReceiver final : public CHostString {
public:
    CHostTextReceiver() = default;
    explicit CHostTextReceiver(std::string initial) : text(std::move(initial)) {}
    virtual ~CHostTextReceiver() = default;

    const char* GetText() override { return text.c_str(); }
    int32_t GetLength() override { return static_cast<int32_t>(text.size()); }
    // Takes length bytes, or up to the NUL when length is -1 (or when a NUL
    // comes first); a null text empties the receiver.
    void SetText(const char* newText, int32_t length) override;

    const std::string& Text() const { return text; }
    // Counts SetText calls, so a caller can tell "set to empty" from "never set".
    int SetCount() const { return setCount; }

private:
    std::string text;
    int setCount = 0;
};
