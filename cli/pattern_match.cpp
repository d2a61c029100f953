// The matcher behind pakunpack's PATTERN arguments.
#include "pattern_match.h"

#include <cstring>

namespace {

// A pattern or text unit as a number: a byte's value, or a code point.
char32_t Unit(char c)
{
    return static_cast<unsigned char>(c);
}

char32_t Unit(char32_t c)
{
    return c;
}

// A POSIX class by name, for the C locale: only ASCII is in any of them.
template <typename Text>
bool InClass(const Text& nameText, char32_t c, bool& known)
{
    std::string name;
    for (const auto unit : nameText)
        name += Unit(unit) < 0x80 ? static_cast<char>(Unit(unit)) : '\x7F';
    known = true;
    const bool upper = c >= 'A' && c <= 'Z';
    const bool lower = c >= 'a' && c <= 'z';
    const bool digit = c >= '0' && c <= '9';
    const bool graph = c > 0x20 && c < 0x7F;
    if (name == "alpha") return upper || lower;
    if (name == "digit") return digit;
    if (name == "alnum") return upper || lower || digit;
    if (name == "upper") return upper;
    if (name == "lower") return lower;
    if (name == "space") return c == ' ' || (c >= '\t' && c <= '\r');
    if (name == "blank") return c == ' ' || c == '\t';
    if (name == "punct") return graph && !upper && !lower && !digit;
    if (name == "print") return graph || c == ' ';
    if (name == "graph") return graph;
    if (name == "cntrl") return c < 0x20 || c == 0x7F;
    if (name == "xdigit") return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    known = false;
    return false;
}

enum class Bracket { Match, NoMatch, NotABracket, Invalid };

// One side of a range, or a lone member: a unit, a quoted unit, or [.c.] /
// [=c=] for a single unit c. Moves `p` past it; false at the pattern's end.
template <typename Text>
bool ReadMember(const Text& pattern, std::size_t& p, char32_t& c)
{
    if (p >= pattern.size())
        return false;
    if (pattern[p] == '\\') {
        if (p + 1 >= pattern.size())
            return false;
        c = Unit(pattern[p + 1]);
        p += 2;
        return true;
    }
    if (pattern[p] == '[' && p + 4 < pattern.size() && (pattern[p + 1] == '.' || pattern[p + 1] == '=') &&
        pattern[p + 3] == pattern[p + 1] && pattern[p + 4] == ']') {
        c = Unit(pattern[p + 2]);
        p += 5;
        return true;
    }
    c = Unit(pattern[p]);
    ++p;
    return true;
}

// Matches the bracket expression that starts at pattern[p] ('[') against
// `c`; on Match or NoMatch `p` ends just past its ']'.
template <typename Text>
Bracket MatchBracket(const Text& pattern, std::size_t& p, char32_t c)
{
    std::size_t q = p + 1;
    bool negated = false;
    if (q < pattern.size() && (pattern[q] == '!' || pattern[q] == '^')) {
        negated = true;
        ++q;
    }
    bool matched = false;
    bool first = true;
    for (;;) {
        if (q >= pattern.size())
            return Bracket::NotABracket;
        if (pattern[q] == ']' && !first) {
            p = q + 1;
            return matched != negated ? Bracket::Match : Bracket::NoMatch;
        }
        first = false;
        if (pattern[q] == '[' && q + 1 < pattern.size() && pattern[q + 1] == ':') {
            std::size_t end = q + 2;
            while (end + 1 < pattern.size() && !(pattern[end] == ':' && pattern[end + 1] == ']'))
                ++end;
            if (end + 1 < pattern.size()) {
                bool known = false;
                if (InClass(pattern.substr(q + 2, end - q - 2), c, known))
                    matched = true;
                if (!known && !matched)   // once matched, the rest is only skipped
                    return Bracket::Invalid;
                q = end + 2;
                continue;
            }
        }
        // A quote or a range cut off by the pattern's end spoils the pattern.
        char32_t low = 0;
        if (!ReadMember(pattern, q, low))
            return Bracket::Invalid;
        char32_t high = low;
        if (q < pattern.size() && pattern[q] == '-') {
            if (q + 1 >= pattern.size())
                return Bracket::Invalid;
            if (pattern[q + 1] != ']') {
                ++q;
                if (!ReadMember(pattern, q, high))
                    return Bracket::Invalid;
            }
        }
        if (c >= low && c <= high)
            matched = true;
    }
}

// Matches pattern[p...] against text[t...]; '*' backtracks to the latest
// star only, which is enough because a star matches any run of units.
template <typename Text>
bool Match(const Text& pattern, const Text& text)
{
    std::size_t p = 0, t = 0;
    std::size_t starP = std::string::npos, starT = 0;
    for (;;) {
        if (p < pattern.size() && pattern[p] == '*') {
            while (p < pattern.size() && pattern[p] == '*')
                ++p;
            starP = p;
            starT = t;
            continue;
        }
        bool advanced = false;
        if (p < pattern.size() && t < text.size()) {
            const char32_t c = Unit(text[t]);
            const auto head = pattern[p];
            if (head == '?') {
                ++p;
                advanced = true;
            } else if (head == '[') {
                std::size_t q = p;
                const Bracket result = MatchBracket(pattern, q, c);
                if (result == Bracket::Invalid)
                    return false;
                if (result == Bracket::Match) {
                    p = q;
                    advanced = true;
                } else if (result == Bracket::NotABracket && c == '[') {
                    ++p;
                    advanced = true;
                }
            } else if (head == '\\') {
                if (p + 1 >= pattern.size())
                    return false;   // a lone backslash at the end matches nothing
                if (Unit(pattern[p + 1]) == c) {
                    p += 2;
                    advanced = true;
                }
            } else if (Unit(head) == c) {
                ++p;
                advanced = true;
            }
            if (advanced) {
                ++t;
                continue;
            }
        } else if (p >= pattern.size() && t >= text.size()) {
            return true;
        } else if (p < pattern.size() && pattern[p] == '\\' && p + 1 >= pattern.size()) {
            return false;
        }
        // A mismatch: let the latest star take one more unit, if any is left.
        if (starP == std::string::npos || starT >= text.size())
            return false;
        p = starP;
        t = ++starT;
    }
}

} // namespace

bool MatchesPattern(const std::string& pattern, const std::string& text)
{
    return Match(pattern, text);
}

bool MatchesPattern(const std::u32string& pattern, const std::u32string& text)
{
    return Match(pattern, text);
}
