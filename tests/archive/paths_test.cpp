// The path calls both programs make: full paths, their folder and name, and
// the archive a command line names.
#include <gtest/gtest.h>

#include <filesystem>

#include "pak_archive.h"

namespace {

#ifndef _WIN32
TEST(ProgramPaths, SplitFullPathsMakeRelativeOnesAbsolute)
{
    const struct {
        const char* path;
        std::string full, folder, name;
    } rows[] = {
        {"/a/b/x.pak", "/a/b/x.pak", "/a/b", "x.pak"},
        {"/x.pak", "/x.pak", "/", "x.pak"},
        {"//a//./b/../x.pak", "/a/x.pak", "/a", "x.pak"},
        {"/../x.pak", "/x.pak", "/", "x.pak"},
        {"x.pak", "/tmp/x.pak", "/tmp", "x.pak"},
        {"../x.pak", "/x.pak", "/", "x.pak"},
    };
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path("/tmp");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const std::string full = FullPathOf(row.path);
        EXPECT_EQ(full, row.full);
        EXPECT_EQ(FolderOf(full), row.folder);
        EXPECT_EQ(FileNameOf(full), row.name);
    }
    std::filesystem::current_path(previous);
}
#endif

TEST(ProgramPaths, CommandLinePathIsTheOnlyArgument)
{
    const char* const argv[] = {"Tessup", "data.pak", "-style", nullptr};
    EXPECT_EQ(CommandLinePath(1, argv), "");
    EXPECT_EQ(CommandLinePath(2, argv), "data.pak");
    EXPECT_EQ(CommandLinePath(3, argv), "");
}

} // namespace
