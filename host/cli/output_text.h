// Texts for the host's output.
#pragma once

#include <string>

// Text for a line of the text output: control characters escaped, so a
// name or value can never start a line of its own, and what is not UTF-8
// shown as U+FFFD.
std::string PrintableText(const std::string& text);

// JSON text: control characters escaped; bytes that are not UTF-8 are
// taken as Latin-1, so the output is always valid.
std::string JsonString(const std::string& text);
