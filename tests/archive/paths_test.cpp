// The path calls both programs make: full paths, their folder and name, and
// the archive a command line names.
#include <gtest/gtest.h>

#include <filesystem>

#include "program_support.h"
#include "test_files.h"
#include "test_platform.h"

namespace {

#ifndef _WIN32
// The system's answer, not the text's: "link/.." is the folder that holds
// what link points at, and a path the system reaches no file by is refused.
TEST(ProgramPaths, FullPathsAreTheSystemsResolutionSplitIntoFolderAndName)
{
    ScratchDir dir;
    ASSERT_EQ(::mkdir("w", 0755) | ::mkdir("other", 0755) | ::mkdir("other/deep", 0755), 0);
    ASSERT_EQ(::symlink("../other/deep", "w/link"), 0);
    WriteBytes("a.pak", "");
    const PathResolution kRefused = PathResolution::Refused;
    const struct {
        std::string path;
        PathResolution result;
        std::string full, folder, name;
    } rows[] = {
        {"/x.pak", PathResolution::Resolved, "/x.pak", "/", "x.pak"},
        {"/../x.pak", PathResolution::Resolved, "/x.pak", "/", "x.pak"},
        {"x.pak", PathResolution::Resolved, dir / "x.pak", dir.Path(), "x.pak"},
        {"w/link/../x.pak", PathResolution::Resolved, dir / "other/x.pak", dir / "other", "x.pak"},
        {dir.Path() + "//w/./link/../../w/x.pak", PathResolution::Resolved, dir / "w/x.pak", dir / "w", "x.pak"},
        {"nosuchdir/../a.pak", kRefused, "", "", ""},
        {"a.pak/.", kRefused, "", "", ""},
        {"a.pak/x.pak", kRefused, "", "", ""},
        {"w/..", kRefused, "", "", ""},
        {"w/", kRefused, "", "", ""},
        {"", kRefused, "", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        SystemPath full = "old";
        EXPECT_EQ(ResolveFullPath(row.path, full), row.result);
        EXPECT_EQ(full, row.full);
        EXPECT_EQ(FullPathOf(row.path), row.full);
        EXPECT_EQ(FolderOf(full), row.folder);
        EXPECT_EQ(FileNameOf(full), row.name);
    }

    // A removed current folder has no path: only absolute paths resolve.
    ASSERT_EQ(::mkdir("gone", 0755), 0);
    std::filesystem::current_path("gone");
    ASSERT_EQ(::rmdir((dir / "gone").c_str()), 0);
    SystemPath full;
    EXPECT_EQ(ResolveFullPath("../a.pak", full), PathResolution::NoCurrentFolder);
    EXPECT_EQ(ResolveFullPath(dir / "a.pak", full), PathResolution::Resolved);
    std::filesystem::current_path(dir.Path());
}
#endif

#ifdef _WIN32
// Every file call takes "." and ".." steps out of the text as
// GetFullPathNameW does, so there the text is the system's own answer.
TEST(ProgramPaths, FullPathsOnWindowsAreGetFullPathNameWsText)
{
    ScratchDir dir;
    SystemPath full = "old";
    EXPECT_EQ(ResolveFullPath("nosuchdir\\..\\.\\x.pak", full), PathResolution::Resolved);
    EXPECT_EQ(full, dir / "x.pak");
    EXPECT_EQ(FolderOf(full), dir.Path());
    EXPECT_EQ(FullPathOf("C:/a/../b/x.pak"), "C:\\b\\x.pak");
    EXPECT_EQ(ResolveFullPath("", full), PathResolution::Refused);
    EXPECT_EQ(full, "");
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
