// Shell patterns for choosing entries, matched the same way on every platform.
#pragma once

#include <string>

// True when `text` matches `pattern` as fnmatch(3) matches without flags in
// the C locale: '*' any run of bytes, '?' any one byte, "[...]" one byte of a
// set ('!' or '^' first negates; ranges by byte value; [:alpha:] and the
// other POSIX classes; [=c=] and [.c.] for c itself). '/' and a leading '.'
// are bytes like any other. A backslash quotes the next byte, and a pattern
// that ends in a lone backslash matches nothing. A '[' without its ']' is an
// ordinary byte.
bool MatchesPattern(const std::string& pattern, const std::string& text);

// The same on code points instead of bytes: '?' is any one character, sets
// take code points and their ranges go by code point value; the classes
// hold ASCII alone, as in the C locale.
bool MatchesPattern(const std::u32string& pattern, const std::u32string& text);
