// The main dialog's two commands on real widgets, with a scripted chooser and
// boxes: the fields after each refresh, the boxes, the progress bar, the files.
#include <gtest/gtest.h>

#include <QDir>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <filesystem>

#include "address_space_limit.h"
#include "scripted_dialog.h"
#include "ui_archives.h"

namespace {

using Log = std::vector<std::string>;

// More than any one command needs, far less than the large allocations below.
constexpr std::size_t kHeadroom = std::size_t{64} << 20;

TEST(MainDialog, StartsIdleAndExtractAllWithoutArchiveOnlySaysDone)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    EXPECT_EQ(dlg.Shown(), "None | NULL | NULL | Wait");
    EXPECT_EQ(dlg.Bar(), "0..100 at 0");

    dlg.OnExtractAll();
    EXPECT_EQ(dlg.log, Log({"refresh None | NULL | NULL | Done"}));
    EXPECT_EQ(dlg.Bar(), "0..100 at 0");
    EXPECT_TRUE(ListTree(scratch.Path()).empty());
}

TEST(MainDialog, OpenShowsHeaderValuesThenLoadsTableAndWritesScanLogBesideArchive)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    dlg.choices = {Put(scratch, "games", "data.pak", TwoEntries())};
    dlg.OnOpenPak();

    EXPECT_EQ(dlg.LogWithout("pos "), Log({"choose", "refresh data.pak | 2 | 209 byte | Read",
                                           "refresh data.pak | 2 | 209 byte | Scan",
                                           "refresh data.pak | 2 | 209 byte | Wait"}));
    EXPECT_EQ(dlg.Bar(), "0..2 at 0");
    EXPECT_EQ(QDir::currentPath().toStdString(), scratch / "games");
    EXPECT_NE(ReadBytes(scratch / "games/Scan_log.txt").find("Name:" + scratch / "games/data.pak\n"),
              std::string::npos);
}

TEST(MainDialog, RepaintsAtOnceBeforeLoadingAndBeforeExtracting)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.WatchPaints();
    dlg.choices = {Put(scratch, "games", "data.pak", TwoEntries())};

    // Without the repaint the new word would reach the screen only with the
    // progress bar's first step, or after the command.
    for (const auto& [command, word] : {std::pair{&CPakUnpackerDlg::OnOpenPak, "Read"},
                                        std::pair{&CPakUnpackerDlg::OnExtractAll, "Write"}}) {
        dlg.log.clear();
        (dlg.*command)();
        const auto painted = std::find(dlg.log.begin(), dlg.log.end(), std::string("paint ") + word);
        const auto stepped = std::find_if(dlg.log.begin(), dlg.log.end(),
                                          [](const std::string& e) { return e.rfind("pos ", 0) == 0; });
        EXPECT_LT(painted - dlg.log.begin(), stepped - dlg.log.begin()) << word;
    }
}

TEST(MainDialog, CancelledChooserLeavesFieldsArchiveAndFolderAsTheyWere)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    dlg.choices = {Put(scratch, "games", "data.pak", TwoEntries()), QString()};
    dlg.OnOpenPak();
    QDir::setCurrent(QString::fromStdString(scratch.Path()));
    dlg.log.clear();

    dlg.OnOpenPak();
    EXPECT_EQ(dlg.log, Log({"choose"}));
    EXPECT_EQ(dlg.Shown(), "data.pak | 2 | 209 byte | Wait");
    EXPECT_EQ(QDir::currentPath().toStdString(), scratch.Path());
    // The loaded archive still extracts, into the current directory.
    dlg.OnExtractAll();
    EXPECT_EQ(ReadBytes(scratch / "maps/b.dat"), "maps");
}

TEST(MainDialog, FailedOpenShowsErrorCaptionedWithTheReason)
{
    const struct {
        const char* label;
        std::string bytes;   // empty: the chosen file doesn't exist
        const char* caption;
    } rows[] = {
        {"wrong signature", PakBuilder().Signature(5).Bytes(), "Error!It`s not Corvane PAK file!\\n"},
        {"shorter than its header", PakBuilder().Bytes().substr(0, 50), "Error!Damaged Corvane PAK file!\\n"},
        {"missing file", "", "Error!Can`t open file!\\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        ScratchDir scratch;
        ScriptedDlg dlg;
        dlg.choices = {row.bytes.empty() ? QString::fromStdString(scratch / "gone.pak")
                                         : Put(scratch, "in", "x.pak", row.bytes)};
        dlg.OnOpenPak();
        EXPECT_EQ(dlg.log, Log({"choose", std::string("box ") + row.caption + " / Error!"}));
        EXPECT_EQ(dlg.Shown(), "None | NULL | NULL | Wait");
    }
}

TEST(MainDialog, FailedOpenKeepsCountAndSizeAndNextRefreshShowsFailedName)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    dlg.choices = {Put(scratch, "g", "good.pak", TwoEntries()),
                   Put(scratch, "g", "bad.pak", PakBuilder().Signature(7).Bytes())};
    dlg.OnOpenPak();
    dlg.OnOpenPak();
    EXPECT_EQ(dlg.Shown(), "good.pak | 2 | 209 byte | Wait");

    // No archive is open any more: the old table is never applied to bad.pak.
    dlg.log.clear();
    dlg.OnExtractAll();
    EXPECT_EQ(dlg.log, Log({"refresh bad.pak | 2 | 209 byte | Done"}));
    EXPECT_EQ(ListTree(scratch / "g"), (std::vector<std::string>{"Scan_log.txt", "bad.pak", "good.pak"}));
}

TEST(MainDialog, ShowsCountAndSizeAsSigned32BitNumbersAndEmptyRangeAsEmptyBar)
{
    const struct {
        std::uint32_t size;
        const char* shown;
    } rows[] = {
        {0x7FFFFFFF, "e.pak | 0 | 2147483647 byte | Wait"},
        {0x80000000, "e.pak | 0 | -2147483648 byte | Wait"},
        {0xFFFFFFFF, "e.pak | 0 | -1 byte | Wait"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shown);
        ScratchDir scratch;
        ScriptedDlg dlg;
        dlg.choices = {Put(scratch, ".", "e.pak", PakBuilder().Header(0, 92, row.size).Bytes())};
        dlg.OnOpenPak();
        EXPECT_EQ(dlg.Shown(), row.shown);
        EXPECT_EQ(dlg.Bar(), "0..0 at 0");
        EXPECT_LT(dlg.Progress()->minimum(), dlg.Progress()->maximum());   // not busy
        EXPECT_EQ(dlg.Progress()->value(), dlg.Progress()->minimum());
    }
}

TEST(MainDialog, ExtractAllShowsOneBoxPerFailedEntryAndCanRunAgain)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    // Entries 1 and 3 start at or beyond the declared size S = 209.
    dlg.choices = {Put(scratch, "g", "x.pak",
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
        EXPECT_EQ(dlg.log, Log({"refresh x.pak | 4 | 209 byte | Write", "pos 1",
                                "box Error! / Writing Error!\\nSkiping!\\n", "pos 2", "pos 3",
                                "box Error! / Writing Error!\\nSkiping!\\n", "pos 4", "pos 0",
                                "refresh x.pak | 4 | 209 byte | Done"}));
        EXPECT_EQ(ReadBytes(scratch / "g/a.txt"), "hello");
        EXPECT_EQ(ReadBytes(scratch / "g/maps/c.dat"), "maps");
        EXPECT_FALSE(Exists(scratch / "g/b.txt"));
        EXPECT_FALSE(Exists(scratch / "g/maps/d.dat"));
    }
}

TEST(MainDialog, OutOfMemoryForTheTableAbandonsOpenAfterReadAndLeavesNoArchive)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    constexpr std::uint32_t kEntries = 4000000;
    dlg.choices = {HugeTable(scratch, "big.pak", kEntries), Put(scratch, ".", "x.pak", TwoEntries())};
    {
        AddressSpaceLimit limit(kHeadroom);
        ASSERT_TRUE(AddressSpaceLimit::Refuses(kEntries * sizeof(PakEntry)));
        dlg.OnOpenPak();
    }
    EXPECT_EQ(dlg.LogWithout("pos "),
              Log({"choose", "refresh big.pak | 4000000 | 65536 byte | Read", "out of memory"}));
    EXPECT_FALSE(Exists(scratch / "Scan_log.txt"));

    dlg.log.clear();
    dlg.OnExtractAll();
    EXPECT_EQ(dlg.log, Log({"refresh big.pak | 4000000 | 65536 byte | Done"}));
    // The dialog goes on working.
    dlg.OnOpenPak();
    EXPECT_EQ(dlg.Shown(), "x.pak | 2 | 209 byte | Wait");
}

TEST(MainDialog, OutOfMemoryForAnEntryStopsExtractAllAtThatEntry)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    // The middle entry reaches far past the end of the file.
    constexpr std::uint32_t kBigEntry = 512u << 20;
    dlg.choices = {Put(scratch, "g", "x.pak",
                       PakBuilder()
                           .Header(/*numFiles=*/3, /*dataStart=*/200, /*size=*/0x7FFFFFFF)
                           .TableRecord(0, 5).TableRecord(5, kBigEntry).TableRecord(0, 2)
                           .File("a.txt").File("b.txt").File("c.txt")
                           .DataAt(200, "hello")
                           .Bytes()),
                   Put(scratch, "h", "y.pak", TwoEntries())};
    dlg.OnOpenPak();
    dlg.log.clear();
    {
        AddressSpaceLimit limit(kHeadroom);
        ASSERT_TRUE(AddressSpaceLimit::Refuses(kBigEntry));
        dlg.OnExtractAll();
    }
    EXPECT_EQ(dlg.log, Log({"refresh x.pak | 3 | 2147483647 byte | Write", "pos 1", "out of memory"}));
    EXPECT_EQ(dlg.Shown(), "x.pak | 3 | 2147483647 byte | Write");
    EXPECT_EQ(dlg.Progress()->GetPos(), 1);
    EXPECT_EQ(ListTree(scratch / "g"), (std::vector<std::string>{"Scan_log.txt", "a.txt", "x.pak"}));

    // The dialog goes on working.
    dlg.OnOpenPak();
    dlg.OnExtractAll();
    EXPECT_EQ(ReadBytes(scratch / "h/maps/b.dat"), "maps");
    EXPECT_EQ(dlg.Shown(), "y.pak | 2 | 209 byte | Done");
}

TEST(MainDialog, KeyboardFocusStartsOnOpenTabsInTemplateOrderAndEnterPressesFocusedButton)
{
    ScriptedDlg dlg;
    QWidget* open = dlg.GetDlgItem(IDC_OPEN_PAK);
    EXPECT_EQ(dlg.focusWidget(), open);
    std::vector<QWidget*> chain;
    QWidget* at = open;
    do {
        if (at->focusPolicy() & Qt::TabFocus)
            chain.push_back(at);
        at = at->nextInFocusChain();
    } while (at != open);
    EXPECT_EQ(chain, (std::vector<QWidget*>{open, dlg.GetDlgItem(IDCANCEL), dlg.GetDlgItem(IDC_EXTRACT_ALL)}));

    QTest::keyClick(dlg.GetDlgItem(IDC_EXTRACT_ALL), Qt::Key_Return);
    QTest::keyClick(open, Qt::Key_Return);
    EXPECT_EQ(dlg.log, Log({"refresh None | NULL | NULL | Done", "choose"}));
}

TEST(MainDialog, CancelEscapeAndCloseBoxEndTheDialog)
{
    const std::pair<const char*, void (*)(ScriptedDlg&)> ways[] = {
        {"Cancel", [](ScriptedDlg& d) { QTest::mouseClick(d.GetDlgItem(IDCANCEL), Qt::LeftButton); }},
        {"Escape", [](ScriptedDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close box", [](ScriptedDlg& d) { d.close(); }},
    };
    for (const auto& [label, end] : ways) {
        SCOPED_TRACE(label);
        ScriptedDlg dlg;
        dlg.show();
        end(dlg);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_TRUE(dlg.log.empty());
    }
}

} // namespace
