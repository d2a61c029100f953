// pakunpack's PATTERN matcher: one table, the same on every platform; on
// POSIX systems each row is checked against the system's fnmatch too.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fnmatch.h>
#endif

#include <string>

#include "pattern_match.h"

namespace {

TEST(MatchesPattern, FollowsFnmatchWithoutFlags)
{
    struct Row {
        std::string pattern, text;
        bool matches;
    };
    const Row rows[] = {
        // Plain bytes, the empty pattern, bytes above 0x7F.
        {"a.txt", "a.txt", true}, {"a.txt", "a.txT", false}, {"", "", true}, {"", "a", false},
        {"\xE9t\xE9", "\xE9t\xE9", true}, {"a", "ab", false}, {"ab", "a", false},
        // '*' takes any run, '/' and a leading '.' included; '?' one byte.
        {"*", "", true}, {"*", ".hidden", true}, {"m*t", "maps/b.dat", true}, {"*.txt", "a.txt.bak", false},
        {"*/*/*", "a/b/c", true}, {"a*b*c", "aXbYbZc", true}, {"a*b*c", "aXbYbZ", false}, {"**a", "xa", true},
        {"?", "", false}, {"?", "/", true}, {"??", "\xFF\x01", true}, {"a?c", "ac", false},
        // A backslash quotes; a lone one at the end matches nothing.
        {"\\*.txt", "*.txt", true}, {"\\*.txt", "a.txt", false}, {"\\a.tx?", "a.txt", true},
        {"a\\", "a\\", false}, {"a\\\\", "a\\", true}, {"*\\", "x\\", false},
        // Sets: ranges by byte value, negation, ']' first, '-' at the ends.
        {"[ac]*", "c.dat", true}, {"[ac]*", "b.dat", false}, {"[a-c]", "b", true}, {"[c-a]", "b", false},
        {"[!a-c]", "d", true}, {"[!a-c]", "b", false}, {"[^a]", "b", true}, {"[]]", "]", true},
        {"[!]]", "]", false}, {"[a-]", "-", true}, {"[-a]", "-", true}, {"[\\]]", "]", true},
        {"[\x80-\xFF]", "\xE9", true}, {"[a-\\z]", "q", true}, {"[/]", "/", true},
        // POSIX classes in the C locale, and [=c=] / [.c.] for c itself.
        {"[[:digit:]]x", "7x", true}, {"[[:alpha:]]", "7", false}, {"[[:upper:][:digit:]]", "Q", true},
        {"[[:space:]]", "\t", true}, {"[[:punct:]]", "!", true}, {"[[:xdigit:]]", "g", false},
        {"[[:alpha:]]", "\xE9", false}, {"[[=a=]]", "a", true}, {"[[.-.]]", "-", true},
        {"[[:nope:]]", "n", false},
        // A '[' without its ']' is a byte; a set cut off in a quote or a range spoils the pattern.
        {"[ab", "[ab", true}, {"a[", "a[", true}, {"[!", "[!", true}, {"[a-", "[a-", false},
        {"[\\", "[\\", false},
    };
    // Code points that are the rows' bytes match alike.
    const auto codePoints = [](const std::string& bytes) {
        std::u32string units;
        for (const char c : bytes)
            units += static_cast<unsigned char>(c);
        return units;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("'" + row.pattern + "' on '" + row.text + "'");
        EXPECT_EQ(MatchesPattern(row.pattern, row.text), row.matches);
        EXPECT_EQ(MatchesPattern(codePoints(row.pattern), codePoints(row.text)), row.matches);
#ifndef _WIN32
        EXPECT_EQ(::fnmatch(row.pattern.c_str(), row.text.c_str(), 0) == 0, row.matches) << "fnmatch disagrees";
#endif
    }
}

// On code points '?' takes one character, whatever its size, and sets take
// code points.
TEST(MatchesPattern, TakesCodePointsAsCharacters)
{
    EXPECT_TRUE(MatchesPattern(U"?.txt", U"\U0001D41A.txt"));
    EXPECT_FALSE(MatchesPattern(U"\u0430.txt", U"b.txt"));
    EXPECT_TRUE(MatchesPattern(U"[\u0430-\u044F]?", U"\u044F\u0100"));
    EXPECT_FALSE(MatchesPattern(U"[[:alpha:]]", U"\u0430"));
}

} // namespace
