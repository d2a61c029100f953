// How decoded names are written on disk on Windows: one table for every rule.
#include <gtest/gtest.h>

#include <string>

#include "file_io.h"

namespace {

TEST(WindowsDiskName, MakesEveryNameOneHarmlessComponent)
{
    struct Row {
        std::string text, disk;
    };
    const Row rows[] = {
        // Names Windows holds as they are, and the report's bytes above 0x7F.
        {"a.txt", "a.txt"}, {"my file.dds", "my file.dds"}, {"\x80\xE9\xFF.bin", "\x80\xE9\xFF.bin"},
        {".hidden", ".hidden"}, {"..a", "..a"}, {"a..b", "a..b"},
        // Characters Windows doesn't allow, each alone, and the controls.
        {"a<b", "a_b"}, {"a>b", "a_b"}, {"a:b.dds", "a_b.dds"}, {"a\"b", "a_b"}, {"a/b", "a_b"},
        {"a\\b", "a_b"}, {"a|b", "a_b"}, {"x?y*", "x_y_"}, {"C:", "C_"}, {"file:stream", "file_stream"},
        {"\x01", "_"}, {"a\tb\nc\x1F", "a_b_c_"}, {"a\x20" "b\x7F", "a b\x7F"},
        // A last dot or space, never more than the last.
        {"...", ".._"}, {"a.txt.", "a.txt_"}, {"a ", "a_"}, {"a. .", "a. _"}, {" ", "_"},
        // Device names before the first dot, trailing spaces dropped there.
        {"nul.txt", "_nul.txt"}, {"AUX", "_AUX"}, {"con.txt.", "_con.txt_"}, {"COM1", "_COM1"},
        {"Con .txt", "_Con .txt"}, {"lpt9.a.b", "_lpt9.a.b"}, {"com0", "_com0"}, {"LPT0.x", "_LPT0.x"},
        {"CONIN$", "_CONIN$"}, {"conout$.log", "_conout$.log"},
        // Close to a device name but none.
        {"CON_", "CON_"}, {"CON ", "CON_"}, {"console", "console"}, {"COM10", "COM10"}, {"COMA", "COMA"},
        {"LPT", "LPT"}, {"xnul", "xnul"}, {"a.con", "a.con"}, {"CONIN", "CONIN"}, {"NUL:", "NUL_"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("'" + row.text + "'");
        EXPECT_EQ(WindowsDiskName(row.text), row.disk);
    }
    // Every device name in both letter cases, alone and with an extension.
    std::vector<std::string> devices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (char digit = '0'; digit <= '9'; ++digit) {
        devices.push_back(std::string("COM") + digit);
        devices.push_back(std::string("LPT") + digit);
    }
    // Superscript 1, 2 and 3 in the Western code page count as digits too.
    for (const char* superscript : {"\xB9", "\xB2", "\xB3"}) {
        devices.push_back(std::string("COM") + superscript);
        devices.push_back(std::string("LPT") + superscript);
    }
    for (const std::string& device : devices) {
        std::string lower = device;
        for (char& c : lower)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        for (const std::string& name : {device, lower, device + ".txt", lower + " .dds"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(WindowsDiskName(name), "_" + name);
        }
    }
}

// Which bytes are superscript digits depends on the code page. (The
// double-byte code pages take Windows' own tables: windows_files_test.cpp.)
TEST(WindowsDiskName, FollowsTheCharactersOfTheAnsiCodePage)
{
    struct Row {
        unsigned codePage;
        std::string text, disk;
    };
    const Row rows[] = {
        // Single-byte code pages have no second bytes.
        {1252, "\x83\x7C.txt", "\x83_.txt"}, {1251, "\xE0\x5C", "\xE0_"},
        // Superscripts where the code page has them, as file or folder names.
        {1252, "com\xB9.txt", "_com\xB9.txt"}, {1257, "LPT\xB3", "_LPT\xB3"}, {1253, "COM\xB2", "_COM\xB2"},
        {1253, "COM\xB9", "COM\xB9"}, {1250, "COM\xB9", "COM\xB9"}, {932, "COM\xB9", "COM\xB9"},
        {1252, "COM\xB9\xB9", "COM\xB9\xB9"}, {1252, "COM\xBC", "COM\xBC"}, {1252, "LPT\xB2 .a", "_LPT\xB2 .a"},
        {65001, "COM\xC2\xB9", "_COM\xC2\xB9"}, {65001, "lpt\xC2\xB3.log", "_lpt\xC2\xB3.log"},
        {65001, "COM\xB9", "COM\xB9"}, {65001, "COM\xC2\xBC", "COM\xC2\xBC"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.codePage) + " '" + row.text + "'");
        EXPECT_EQ(WindowsDiskName(row.text, row.codePage), row.disk);
    }
}

} // namespace
