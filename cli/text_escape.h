// Archive texts (raw bytes, any encoding) written into JSON and into messages.
#pragma once

#include <string>

// True when `text` is well-formed UTF-8: shortest forms only, no surrogates,
// nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text);

// Appends `text` as a JSON value that gives back its exact bytes: a string
// when it is valid UTF-8 (quote, backslash and control characters escaped),
// otherwise an array of its byte values, 0 to 255.
void AppendJsonText(std::string& out, const std::string& text);

// `text` for a one-line message: bytes below 0x20 and 0x7F become \xHH and a
// backslash becomes \\, so a hostile name can neither break the line nor
// send escape sequences to a terminal.
std::string Printable(const std::string& text);

// A path the user gave, for a message, as the system writes it: as
// Printable, but on Windows, where it is the separator, a backslash stays
// itself, and a path that PathFromWide kept exact shows its ANSI form.
std::string PrintablePath(const std::string& path);
