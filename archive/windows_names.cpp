// The names Windows can hold: how a decoded directory or file name is written
// on disk there. Built on every platform so that one table tests it everywhere.
#include "file_io.h"

#include <cstring>

namespace {

// Characters no Windows file name may hold; 0x01-0x1F are refused as well.
constexpr const char* kForbidden = "<>:\"/\\|?*";

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameLetters(const std::string& text, const char* word)
{
    if (text.size() != std::strlen(word))
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (Upper(text[i]) != word[i])
            return false;
    }
    return true;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9 and LPT0-LPT9 open a device
// wherever they stand in a path, whatever follows their first dot.
bool IsDeviceName(const std::string& base)
{
    for (const char* word : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (SameLetters(base, word))
            return true;
    }
    return base.size() == 4 && (SameLetters(base.substr(0, 3), "COM") || SameLetters(base.substr(0, 3), "LPT")) &&
           base[3] >= '0' && base[3] <= '9';
}

} // namespace

std::string WindowsDiskName(const std::string& text)
{
    std::string name = text;
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 0x01 && byte <= 0x1F) || (byte != 0 && std::strchr(kForbidden, c) != nullptr))
            c = '_';
    }
    // Windows drops a last dot or space silently, so "a.txt." would be "a.txt".
    if (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.back() = '_';
    std::string base = name.substr(0, name.find('.'));
    base.erase(base.find_last_not_of(' ') + 1);
    if (IsDeviceName(base))
        name.insert(name.begin(), '_');
    return name;
}
