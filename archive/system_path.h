// SystemPath: a path as programs hand it to the archive library and get it
// back, able to name every file the system can.
#pragma once

#include <string>
#include <utility>

// On POSIX systems a path is its bytes, and so is a SystemPath. On Windows
// the system names files in UTF-16, while the library's texts (names,
// messages, the report) are bytes in the ANSI code page: a path that code
// page holds exactly is its ANSI bytes alone, and one it can't hold (a
// fullwidth "ａ.pak", a Cyrillic "Ж.pak" under code page 1252) keeps its
// exact UTF-16 form beside its ANSI form. It then still names its own file,
// never the look-alike the code page would make of it, while Text() shows
// what the system's ANSI calls would show.
class SystemPath {
public:
    SystemPath() = default;
    // A path given as bytes: on Windows in the ANSI code page.
    SystemPath(std::string text) : m_text(std::move(text)) {}
    SystemPath(const char* text) : m_text(text) {}
#ifdef _WIN32
    // A path the ANSI code page can't hold: `exact` in UTF-16, and `ansi`,
    // what the code page makes of it. PathFromWide makes these.
    SystemPath(std::string ansi, std::wstring exact) : m_text(std::move(ansi)), m_exact(std::move(exact)) {}

    // The exact path when Text() can't name the file; empty when it can.
    const std::wstring& Exact() const { return m_exact; }
#endif

    // The path as it is shown: its bytes; on Windows the ANSI form.
    const std::string& Text() const { return m_text; }
    bool empty() const { return m_text.empty() && ExactEmpty(); }

    friend bool operator==(const SystemPath& a, const SystemPath& b)
    {
#ifdef _WIN32
        return a.m_text == b.m_text && a.m_exact == b.m_exact;
#else
        return a.m_text == b.m_text;
#endif
    }
    friend bool operator!=(const SystemPath& a, const SystemPath& b) { return !(a == b); }

private:
#ifdef _WIN32
    bool ExactEmpty() const { return m_exact.empty(); }
#else
    static bool ExactEmpty() { return true; }
#endif

    std::string m_text;
#ifdef _WIN32
    std::wstring m_exact;
#endif
};
