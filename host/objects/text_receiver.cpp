// The host's text receiver.
#include "host/objects/text_receiver.h"

#include <cstring>

void CHostTextReceiver::SetText(const char* newText, int32_t length)
{
    ++setCount;
    if (!newText) {
        text.clear();
        return;
    }
    size_t size = length < 0 ? std::strlen(newText) : strnlen(newText, static_cast<size_t>(length));
    text.assign(newText, size);
}
