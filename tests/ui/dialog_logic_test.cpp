// The main dialog's logic with no window system: the scripted dialog answers
// the chooser and logs, in one list, every refresh (the four texts as the
// controls would show them), repaint, progress call, box, menu item and
// About box.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "dialog_support.h"
#include "dialog_units.h"
#include "pak_unpacker_dlg.h"
#include "resource.h"

namespace {

// The rest of the platform layer, each call logged.
class FakeDlg : public Scripted<CPakUnpackerDlg>, private ProgressBar {
public:
    std::string aboutMenu = "&About Tessup...";   // string 101

    using CPakUnpackerDlg::m_archive;

    std::string Shown() const override
    {
        return Text(IDC_PAK_NAME) + " | " + Text(IDC_NUM_FILES) + " | " + Text(IDC_SIZE) + " | " + Text(IDC_STATUS);
    }
    std::intptr_t DoModal() override
    {
        log.push_back("modal");
        return IDCANCEL;
    }
    void OpenWhenShown(const SystemPath& path) override { log.push_back("open when shown " + path.Text()); }

protected:
    void SetControlText(int id, const std::string& text) override { m_texts[id] = text; }
    void UpdateWindow() override { log.push_back("repaint"); }
    ProgressBar& Progress() override { return *this; }
    void SetRange32(int low, int high) override
    {
        log.push_back("range " + std::to_string(low) + ".." + std::to_string(high));
    }
    void SetPos(int pos) override { log.push_back("pos " + std::to_string(pos)); }
    std::string StringResource(int id) override { return id == IDS_ABOUTBOX ? aboutMenu : std::string(); }
    void AppendToWindowMenu(unsigned int id, const std::string& text) override
    {
        log.push_back("menu " + std::to_string(id) + " " + text);
    }
    void SetWindowIcon(int id) override { log.push_back("icon " + std::to_string(id)); }
    void RunAboutBox() override { log.push_back("about"); }
    void DefaultSysCommand(unsigned int id, std::intptr_t param) override
    {
        log.push_back("default " + std::to_string(id) + " " + std::to_string(param));
    }

private:
    std::string Text(int id) const
    {
        const auto found = m_texts.find(id);
        return found == m_texts.end() ? "(never set)" : found->second;
    }

    std::map<int, std::string> m_texts;
};

const std::string kOutOfMemory =
    "warning " + std::filesystem::read_symlink("/proc/self/exe").stem().string() + " / Out of memory.";

TEST(DialogLogic, InitRefreshesOnceAddsTheAboutItemWhenString101HasTextAndSetsIcon128)
{
    for (const std::string text : {"&About Tessup...", ""}) {
        SCOPED_TRACE(text);
        FakeDlg dlg;
        dlg.aboutMenu = text;
        EXPECT_TRUE(dlg.OnInitDialog());
        Log expected = {"refresh None | NULL | NULL | Wait", "menu 16 &About Tessup...", "icon 128"};
        if (text.empty())
            expected.erase(expected.begin() + 1);
        EXPECT_EQ(dlg.log, expected);
    }
}

TEST(DialogLogic, SysCommands0x10To0x1FOpenTheAboutBoxAndTheRestGoToThePlatform)
{
    FakeDlg dlg;
    for (const unsigned int id : {0x10u, 0x1Fu, 0x0Fu, 0x20u, 0xF060u})
        dlg.OnSysCommand(id, 7);
    EXPECT_EQ(dlg.log, Log({"about", "about", "default 15 7", "default 32 7", "default 61536 7"}));
}

TEST(DialogLogic, OpenShowsHeaderRepaintsLoadsAndReportsBesideTheArchiveAndCancelKeepsEverything)
{
    ScratchDir scratch;
    FakeDlg dlg;
    dlg.choices = {PutFile(scratch, "games", "data.pak", TwoEntries())};
    dlg.OnOpenPak();
    // The table loads sizes, then names; the report goes entry by entry.
    EXPECT_EQ(dlg.log, Log({"choose", "refresh data.pak | 2 | 209 byte | Read", "repaint", "range 0..2", "pos 0",
                            "pos 1", "pos 2", "pos 0", "pos 0", "pos 1", "refresh data.pak | 2 | 209 byte | Scan",
                            "pos 0", "pos 0", "pos 1", "pos 0", "refresh data.pak | 2 | 209 byte | Wait"}));
    EXPECT_EQ(std::filesystem::current_path().string(), scratch / "games");
    EXPECT_NE(ReadBytes("Scan_log.txt").find("Name:" + scratch / "games/data.pak\n"), std::string::npos);

    std::filesystem::current_path(scratch.Path());
    dlg.log.clear();
    dlg.OnOpenPak();   // cancelled: no refresh, no folder change
    EXPECT_EQ(dlg.log, Log({"choose"}));
    EXPECT_EQ(std::filesystem::current_path().string(), scratch.Path());
    dlg.OnExtractAll();   // the loaded archive still extracts, into the current folder
    EXPECT_EQ(ReadBytes(scratch / "maps/b.dat"), "maps");
}

TEST(DialogLogic, ShowsCountAndSizeAsSigned32BitNumbers)
{
    ScratchDir scratch;
    FakeDlg dlg;
    dlg.choices = {PutFile(scratch, ".", "e.pak", PakBuilder().Header(0, 92, 0x80000000).Bytes())};
    dlg.OnOpenPak();
    EXPECT_EQ(dlg.Said().back(), "refresh e.pak | 0 | -2147483648 byte | Wait");
}

TEST(DialogLogic, FailedOpenShowsTheReasonAsCaptionWithoutRefreshAndTheOldTableIsNeverApplied)
{
    ScratchDir scratch;
    FakeDlg dlg;
    dlg.choices = {PutFile(scratch, "games", "data.pak", TwoEntries()),
                   PutFile(scratch, "games", "bad.pak", PakBuilder().Signature(9).Bytes())};
    dlg.OnOpenPak();
    dlg.log.clear();
    dlg.OnOpenPak();
    EXPECT_EQ(dlg.log, Log({"choose", "box Error!It`s not Corvane PAK file!\n / Error!"}));
    // The next refresh shows the failed name beside the previous count and size.
    dlg.log.clear();
    dlg.OnExtractAll();
    EXPECT_EQ(dlg.log, Log({"pos 0", "refresh bad.pak | 2 | 209 byte | Done"}));
    EXPECT_EQ(ListTree(scratch / "games"), Log({"Scan_log.txt", "bad.pak", "data.pak"}));
}

TEST(DialogLogic, ExtractAllShowsOneBoxPerFailedEntryCanRunAgainAndBeforeAnyOpenOnlySaysDone)
{
    ScratchDir scratch;
    FakeDlg dlg;
    dlg.OnExtractAll();
    EXPECT_EQ(dlg.log, Log({"pos 0", "refresh None | NULL | NULL | Done"}));

    // Entries 1 and 3 start at or beyond the declared size S = 209.
    dlg.choices = {PutFile(scratch, "g", "x.pak",
                           PakBuilder()
                               .Header(/*numFiles=*/4, /*dataStart=*/200, /*size=*/209)
                               .TableRecord(0, 5).TableRecord(9, 1).TableRecord(5, 4).TableRecord(70, 1)
                               .File("a.txt").Dir("maps").File("b.txt").File("c.dat").File("d.dat")
                               .DataAt(200, "hello").DataAt(205, "maps")
                               .Bytes())};
    dlg.OnOpenPak();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        std::filesystem::remove_all(scratch / "g/maps");
        dlg.log.clear();
        dlg.OnExtractAll();
        EXPECT_EQ(dlg.log, Log({"pos 0", "refresh x.pak | 4 | 209 byte | Write", "repaint", "pos 1",
                                "box Error! / Writing Error!\nSkiping!\n", "pos 2", "pos 3",
                                "box Error! / Writing Error!\nSkiping!\n", "pos 4", "pos 0",
                                "refresh x.pak | 4 | 209 byte | Done"}));
        EXPECT_EQ(ListTree(scratch / "g"), Log({"Scan_log.txt", "a.txt", "maps/", "maps/c.dat", "x.pak"}));
    }
}

TEST(DialogLogic, OutOfMemoryAbandonsTheCommandWhereItHappensAndTheDialogGoesOn)
{
    ScratchDir scratch;
    FakeDlg dlg;
    constexpr std::uint32_t kEntries = 4000000;
    // The table's kEntries * sizeof(PakEntry) bytes are far more than the limit below lets the process have.
    dlg.choices = {PutFile(scratch, ".", "big.pak", PakBuilder().Header(kEntries, 200, 0x10000).Bytes()),
                   PutFile(scratch, "g", "x.pak",
                           PakBuilder()
                               .Header(/*numFiles=*/3, /*dataStart=*/200, /*size=*/0x7FFFFFFF)
                               .TableRecord(0, 5).TableRecord(5, 512u << 20).TableRecord(0, 2)
                               .File("a.txt").File("b.txt").File("c.txt")
                               .DataAt(200, "hello")
                               .Bytes()),
                   PutFile(scratch, "h", "y.pak", TwoEntries())};
    // Holes of zeros: the big table, and 80 MiB of entry 1's 512 MiB.
    std::filesystem::resize_file(scratch / "big.pak", 92 + 16ull * kEntries);
    std::filesystem::resize_file(scratch / "g/x.pak", 205 + (80ull << 20));
    {
        AddressSpaceLimit limit;
        dlg.OnOpenPak();
    }
    EXPECT_EQ(dlg.log, Log({"choose", "refresh big.pak | 4000000 | 65536 byte | Read", kOutOfMemory}));
    EXPECT_FALSE(Exists(scratch / "Scan_log.txt"));
    dlg.log.clear();
    dlg.OnExtractAll();   // no archive is open
    EXPECT_EQ(dlg.log, Log({"pos 0", "refresh big.pak | 4000000 | 65536 byte | Done"}));

    // An entry's bytes pass through a buffer of a fixed size: 80 MiB of them
    // fit in the same limit.
    dlg.OnOpenPak();
    dlg.log.clear();
    {
        AddressSpaceLimit limit;
        dlg.OnExtractAll();
    }
    EXPECT_EQ(dlg.log, Log({"pos 0", "refresh x.pak | 3 | 2147483647 byte | Write", "repaint", "pos 1", "pos 2",
                            "pos 3", "pos 0", "refresh x.pak | 3 | 2147483647 byte | Done"}));
    EXPECT_EQ(ListTree(scratch / "g"), Log({"Scan_log.txt", "a.txt", "b.txt", "c.txt", "x.pak"}));
    EXPECT_EQ(std::filesystem::file_size(scratch / "g/b.txt"), 512u << 20);

    dlg.OnOpenPak();
    dlg.OnExtractAll();
    EXPECT_EQ(ReadBytes(scratch / "h/maps/b.dat"), "maps");
}

// The command line and a dropped file name a path the chooser never saw: a
// relative one is the current directory's, and "." and ".." steps are taken out.
TEST(DialogLogic, OpenPathTakesTheChoosersStepsFromAnyPathItIsGiven)
{
    ScratchDir scratch;
    const std::string archive = PutFile(scratch, "games", "data.pak", TwoEntries());
    std::filesystem::create_directory(scratch / "sub");
    FakeDlg chosen;
    chosen.choices = {archive};
    chosen.OnOpenPak();
    const std::string report = ReadBytes(scratch / "games/Scan_log.txt");
    for (const std::string& path : {archive, std::string("games/./data.pak"), std::string("sub/../games/data.pak")}) {
        SCOPED_TRACE(path);
        std::filesystem::current_path(scratch.Path());
        std::filesystem::remove(scratch / "games/Scan_log.txt");
        FakeDlg given;
        given.OnOpenPath(path);
        given.log.insert(given.log.begin(), "choose");
        EXPECT_EQ(given.log, chosen.log);
        EXPECT_EQ(std::filesystem::current_path().string(), scratch / "games");
        EXPECT_EQ(ReadBytes(scratch / "games/Scan_log.txt"), report);
    }

    std::filesystem::current_path(scratch.Path());
    FakeDlg given;
    given.OnOpenPath("");
    given.OnOpenPath("games/none.pak");
    EXPECT_EQ(given.log, Log({"box Error!Can`t open file!\n / Error!"}));
    EXPECT_EQ(std::filesystem::current_path().string(), scratch / "games");
}

// What opens, and is named, is the file the system finds by the path where
// it was given: a symbolic link is followed before ".." leaves it, a path the
// system refuses fails as a file that can't be opened, and a relative path
// in a removed folder opens nothing, an archive above it least of all.
TEST(DialogLogic, OpenPathOpensTheFileTheSystemFindsByThePath)
{
    ScratchDir scratch;
    PutFile(scratch, "other", "real.pak", TwoEntries());
    PutFile(scratch, "w", "real.pak", PakBuilder().Header(0, 92, 92).Bytes());   // decoys
    PutFile(scratch, ".", "real.pak", PakBuilder().Header(0, 92, 92).Bytes());
    std::filesystem::create_directories(scratch / "other/deep");
    std::filesystem::create_directories(scratch / "w/gone");
    std::filesystem::create_directory_symlink("../other/deep", scratch / "w/link");
    std::filesystem::current_path(scratch / "w");
    FakeDlg dlg;
    dlg.OnOpenPath("link/../real.pak");
    EXPECT_EQ(dlg.Said().back(), "refresh real.pak | 2 | 209 byte | Wait");
    EXPECT_EQ(std::filesystem::current_path().string(), scratch / "other");
    EXPECT_NE(ReadBytes("Scan_log.txt").find("\nName:" + scratch / "other/real.pak\n"), std::string::npos);

    std::filesystem::current_path(scratch / "w");
    const Log before = ListTree(scratch.Path());
    dlg.log.clear();
    dlg.OnOpenPath("nosuchdir/../real.pak");
    dlg.OnOpenPath("real.pak/.");
    dlg.OnExtractAll();   // nothing is open any more
    const std::string kCantOpen = "box Error!Can`t open file!\n / Error!";
    EXPECT_EQ(dlg.log, Log({kCantOpen, kCantOpen, "pos 0", "refresh . | 2 | 209 byte | Done"}));
    EXPECT_EQ(std::filesystem::current_path().string(), scratch / "w");

    std::filesystem::current_path("gone");
    std::filesystem::remove(scratch / "w/gone");
    dlg.log.clear();
    dlg.OnOpenPath("../real.pak");
    EXPECT_EQ(dlg.log, Log({"box Error!Can`t enter the file`s folder!\n / Error!"}));
    std::filesystem::current_path(scratch.Path());
    Log after = before;
    after.erase(std::find(after.begin(), after.end(), "w/gone/"));
    EXPECT_EQ(ListTree(scratch.Path()), after);
}

// The dialog manager's own arithmetic: each of x, y, width and height is
// scaled and rounded on its own, so a width is never off by the rounding of
// the edges around it.
TEST(DialogUnits, ConvertXYWidthAndHeightEachOnItsOwnRoundingAsMulDiv)
{
    const struct {
        DialogBaseUnits base;
        DialogRect units, pixels;
    } rows[] = {
        {{7, 13}, {3, 57, 167, 8}, {5, 93, 292, 13}},   // 5.25, 92.6, 292.25, 13
        {{5, 16}, {1, 1, 1, 1}, {1, 2, 1, 2}},          // 1.25, 2, 1.25, 2
        {{6, 12}, {2, 1, 2, 3}, {3, 2, 3, 5}},          // halves up: 3, 1.5, 3, 4.5
        {{6, 12}, {-2, -1, 0, 0}, {-3, -2, 0, 0}},      // halves away from zero
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.units.x);
        const DialogRect got = DialogUnitsToPixels(row.units, row.base);
        EXPECT_EQ((std::vector<int>{got.x, got.y, got.width, got.height}),
                  (std::vector<int>{row.pixels.x, row.pixels.y, row.pixels.width, row.pixels.height}));
    }
    EXPECT_EQ(MulDivRounded(7, 3, -2), -11);                   // -10.5
    EXPECT_EQ(MulDivRounded(-7, -3, 2), 11);
    EXPECT_EQ(MulDivRounded(0x40000000, 4, 2), -1);            // 2^31 does not fit
    EXPECT_EQ(MulDivRounded(0x40000000, 2, 1), -1);
    EXPECT_EQ(MulDivRounded(-0x40000000, 2, 1), -1);           // -2^31: Windows keeps it out too
    EXPECT_EQ(MulDivRounded(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);   // the product needs 62 bits
    EXPECT_EQ(MulDivRounded(5, 1, 0), -1);
}

} // namespace
