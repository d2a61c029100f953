// The matcher behind pakunpack's PATTERN arguments.
#include "pattern_match.h"

#include <cstring>

namespace {

// A POSIX class by name, for the C locale.
bool InClass(const std::string& name, unsigned char c, bool& known)
{
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

// One side of a range, or a lone member: a byte, a quoted byte, or [.c.] /
// [=c=] for a single byte c. Moves `p` past it; false at the pattern's end.
bool ReadMember(const std::string& pattern, std::size_t& p, unsigned char& c)
{
    if (p >= pattern.size())
        return false;
    if (pattern[p] == '\\') {
        if (p + 1 >= pattern.size())
            return false;
        c = static_cast<unsigned char>(pattern[p + 1]);
        p += 2;
        return true;
    }
    if (pattern[p] == '[' && p + 4 < pattern.size() && (pattern[p + 1] == '.' || pattern[p + 1] == '=') &&
        pattern[p + 3] == pattern[p + 1] && pattern[p + 4] == ']') {
        c = static_cast<unsigned char>(pattern[p + 2]);
        p += 5;
        return true;
    }
    c = static_cast<unsigned char>(pattern[p]);
    ++p;
    return true;
}

// Matches the bracket expression that starts at pattern[p] ('[') against
// `c`; on Match or NoMatch `p` ends just past its ']'.
Bracket MatchBracket(const std::string& pattern, std::size_t& p, unsigned char c)
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
        if (pattern.compare(q, 2, "[:") == 0) {
            const std::size_t end = pattern.find(":]", q + 2);
            if (end != std::string::npos) {
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
        unsigned char low = 0;
        if (!ReadMember(pattern, q, low))
            return Bracket::Invalid;
        unsigned char high = low;
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
// star only, which is enough because a star matches any run of bytes.
bool Match(const std::string& pattern, const std::string& text)
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
            const auto c = static_cast<unsigned char>(text[t]);
            const char head = pattern[p];
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
                if (static_cast<unsigned char>(pattern[p + 1]) == c) {
                    p += 2;
                    advanced = true;
                }
            } else if (static_cast<unsigned char>(head) == c) {
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
        // A mismatch: let the latest star take one more byte, if any is left.
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
