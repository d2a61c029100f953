// Archive texts (raw bytes, any encoding) written into JSON and into messages.
#include "text_escape.h"

#include <cstddef>
#include <cstdio>

namespace {

// Length of the well-formed sequence that starts at text[pos], 0 when none
// does. The ranges are those of the Unicode standard's table of well-formed
// byte sequences; only the second byte has narrower limits than 80..BF.
std::size_t SequenceLength(const std::string& text, std::size_t pos)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;    // shorter forms are overlong
        else if (lead == 0xED)
            high = 0x9F;   // D800..DFFF are surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;   // nothing above U+10FFFF
    } else {
        return 0;          // 80..C1, F5..FF never lead
    }
    if (text.size() - pos < length || byte(pos + 1) < low || byte(pos + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF)
            return 0;
    }
    return length;
}

// `text` with bytes below 0x20 and 0x7F as \xHH and, with `backslashes`, a
// backslash as \\.
std::string Escaped(const std::string& text, bool backslashes)
{
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' && backslashes) {
            shown += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(byte));
            shown += escape;
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace

bool IsValidUtf8(const std::string& text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = SequenceLength(text, pos);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

void AppendJsonText(std::string& out, const std::string& text)
{
    if (!IsValidUtf8(text)) {
        out += '[';
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i > 0)
                out += ',';
            out += std::to_string(static_cast<unsigned char>(text[i]));
        }
        out += ']';
        return;
    }
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

std::string Printable(const std::string& text)
{
    return Escaped(text, true);
}

std::string PrintablePath(const std::string& path)
{
#ifdef _WIN32
    return Escaped(path.c_str(), false);
#else
    return Escaped(path, true);
#endif
}
