// The names Windows can hold: how a decoded directory or file name is written
// on disk there. Built on every platform so that one table tests it everywhere;
// only the double-byte code pages need Windows' own tables.
#include "file_io.h"

#include <cstring>

namespace {

// Characters no Windows file name may hold; 0x01-0x1F are refused as well.
constexpr const char* kForbidden = "<>:\"/\\|?*";

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameLetters(const char* text, std::size_t size, const char* word)
{
    if (size != std::strlen(word))
        return false;
    for (std::size_t i = 0; i < size; ++i) {
        if (Upper(text[i]) != word[i])
            return false;
    }
    return true;
}

// Whether `digit` is one of the superscript digits 1, 2 and 3 in `codePage`:
// bytes 0xB9, 0xB2 and 0xB3 in the Western code page and its relatives
// (the Greek one has no superscript one), two bytes each in UTF-8.
bool IsSuperscriptDigit(const char* digit, std::size_t size, unsigned codePage)
{
    if (codePage == kUtf8CodePage)
        return size == 2 && (std::memcmp(digit, "\xC2\xB9", 2) == 0 || std::memcmp(digit, "\xC2\xB2", 2) == 0 ||
                             std::memcmp(digit, "\xC2\xB3", 2) == 0);
    if (size != 1 || codePage < 1252 || codePage > 1258)
        return false;
    const auto byte = static_cast<unsigned char>(digit[0]);
    return byte == 0xB2 || byte == 0xB3 || (byte == 0xB9 && codePage != 1253);
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9, LPT0-LPT9 and COM and LPT
// with a superscript 1, 2 or 3 open a device wherever they stand in a path,
// whatever follows their first dot.
bool IsDeviceBase(const char* base, std::size_t size, unsigned codePage)
{
    for (const char* word : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (SameLetters(base, size, word))
            return true;
    }
    if (size < 4 || !(SameLetters(base, 3, "COM") || SameLetters(base, 3, "LPT")))
        return false;
    return (size == 4 && base[3] >= '0' && base[3] <= '9') || IsSuperscriptDigit(base + 3, size - 3, codePage);
}

} // namespace

bool IsWindowsDeviceName(const std::string& name, unsigned codePage)
{
    // No dot or space is ever the second half of a double-byte character.
    std::size_t end = name.find('.');
    if (end == std::string::npos)
        end = name.size();
    while (end > 0 && name[end - 1] == ' ')
        --end;
    return IsDeviceBase(name.data(), end, codePage);
}

std::string WindowsDiskName(const std::string& text, unsigned codePage)
{
    std::string name = text;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const AnsiCharacter character = AnsiCharacterAt(codePage, name.data() + i, name.size() - i);
        if (character == AnsiCharacter::TwoBytes) {
            ++i;   // the character's second byte may look like '\\' or '|' but is none
            continue;
        }
        if (character == AnsiCharacter::BrokenLeadByte) {
            // Kept, it would take the next byte (':', '/', ...) into one
            // character with it where the name is converted to UTF-16.
            name[i] = '_';
            continue;
        }
        const auto byte = static_cast<unsigned char>(name[i]);
        if ((byte >= 0x01 && byte <= 0x1F) || (byte != 0 && std::strchr(kForbidden, name[i]) != nullptr))
            name[i] = '_';
    }
    // Windows drops a last dot or space silently, so "a.txt." would be "a.txt".
    if (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.back() = '_';
    if (IsWindowsDeviceName(name, codePage))
        name.insert(name.begin(), '_');
    return name;
}
