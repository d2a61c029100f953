// The installed tree: both programs, the theme icons and a valid menu entry.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_files.h"

namespace {

std::string Output(const std::string& command)
{
    std::string text;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char block[4096];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, pipe)) > 0;)
            text.append(block, got);
        ::pclose(pipe);
    }
    return text;
}

// Width and height from a PNG's header chunk; 0 when it isn't a PNG.
std::pair<unsigned, unsigned> PngSize(const std::string& bytes)
{
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    auto be32 = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) << 24 |
               static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
               static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
               static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 3]));
    };
    return {be32(16), be32(20)};
}

TEST(Install, PutsProgramsIconsAndMenuEntryUnderThePrefix)
{
    ScratchDir prefix;
    const std::string install = "'" CMAKE_COMMAND "' --install '" BUILD_DIR "' --prefix '" + prefix.Path() + "' 2>&1";
    ASSERT_EQ(std::system((install + " >/dev/null").c_str()), 0) << Output(install);

    for (const char* program : {"bin/Tessup", "bin/pakunpack"}) {
        SCOPED_TRACE(program);
        EXPECT_EQ(::access((prefix / program).c_str(), X_OK), 0);
    }
    EXPECT_EQ(Output("'" + (prefix / "bin/pakunpack") + "' --version"), "pakunpack 1.0.0.1\n");

    for (unsigned size : {16u, 32u, 48u, 64u, 128u, 256u}) {
        SCOPED_TRACE(size);
        const std::string side = std::to_string(size);
        const std::string icon = prefix / ("share/icons/hicolor/" + side + "x" + side + "/apps/corvane-unpaker.png");
        EXPECT_EQ(PngSize(ReadBytes(icon)), std::make_pair(size, size));
    }

    const std::string entry = prefix / "share/applications/corvane-unpaker.desktop";
    const std::string text = ReadBytes(entry);
    for (const char* line : {"\nName=Corvane UnPaker\n", "\nExec=Tessup\n", "\nIcon=corvane-unpaker\n",
                             "\nCategories=Utility;Archiving;"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(Output("desktop-file-validate '" + entry + "' 2>&1"), "");
    }
}

} // namespace
