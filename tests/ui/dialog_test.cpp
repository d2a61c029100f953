// The main dialog's two commands on real widgets, with a scripted chooser and
// boxes: the fields after each refresh, the boxes, the progress bar, the files;
// archives named on the command line or dropped; and the progress bar adapter.
#include <gtest/gtest.h>

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <functional>

#include "ui_support.h"

namespace {

TEST(MainDialog, StartsIdleWithFocusOnOpenTabsInTemplateOrderAndEnterPressesTheFocusedButton)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.Shown(), "None | NULL | NULL | Wait");
    QWidget* open = dlg.GetDlgItem(IDC_OPEN_PAK);
    EXPECT_EQ(dlg.focusWidget(), open);
    for (const int id : {IDCANCEL, IDC_EXTRACT_ALL, IDC_OPEN_PAK}) {
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(dlg.focusWidget(), dlg.GetDlgItem(id)) << id;
    }

    // Extract All before any open only says "Done"; the chooser is cancelled.
    QTest::keyClick(dlg.GetDlgItem(IDC_EXTRACT_ALL), Qt::Key_Return);
    QTest::keyClick(open, Qt::Key_Return);
    EXPECT_EQ(dlg.log, Log({"refresh None | NULL | NULL | Done", "choose"}));
    EXPECT_TRUE(ListTree(scratch.Path()).empty());
    QTest::mouseClick(dlg.GetDlgItem(IDCANCEL), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST(MainDialog, ShowsSizeAsSigned32BitNumberAndAnEmptyTableAsAnEmptyBar)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    dlg.choices = {PutFile(scratch, ".", "e.pak", PakBuilder().Header(0, 92, 0x80000000).Bytes())};
    dlg.OnOpenPak();
    EXPECT_EQ(dlg.Shown(), "e.pak | 0 | -2147483648 byte | Wait");
    EXPECT_EQ(dlg.Bar(), "0..0 at 0");
    EXPECT_LT(dlg.Progress()->minimum(), dlg.Progress()->maximum());   // not busy
    EXPECT_EQ(dlg.Progress()->value(), dlg.Progress()->minimum());
}

TEST(MainDialog, OpenPaintsValuesAtOnceAndWritesScanLogBesideArchiveCancelKeepsAllAndFailedOpenLeavesNoArchive)
{
    ScratchDir scratch;
    ScriptedDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    dlg.WatchPaints();
    dlg.choices = {PutFile(scratch, "games", "data.pak", TwoEntries())};
    dlg.OnOpenPak();
    EXPECT_EQ(dlg.Said(), Log({"choose", "refresh data.pak | 2 | 209 byte | Read",
                               "refresh data.pak | 2 | 209 byte | Scan", "refresh data.pak | 2 | 209 byte | Wait"}));
    // Without the repaint the word would reach the screen with the first step or after the command.
    EXPECT_TRUE(dlg.PaintedBeforeFirstStep("Read"));
    EXPECT_EQ(dlg.Bar(), "0..2 at 0");
    EXPECT_EQ(QDir::currentPath().toStdString(), scratch / "games");
    EXPECT_NE(ReadBytes("Scan_log.txt").find("Name:" + scratch / "games/data.pak\n"), std::string::npos);

    QDir::setCurrent(QString::fromStdString(scratch.Path()));
    dlg.log.clear();
    dlg.OnOpenPak();   // cancelled: no refresh, the fields keep what they show
    EXPECT_EQ(dlg.log, Log({"choose"}));
    EXPECT_EQ(QDir::currentPath().toStdString(), scratch.Path());
    // The loaded archive still extracts, into the current folder.
    dlg.OnExtractAll();
    EXPECT_TRUE(dlg.PaintedBeforeFirstStep("Write"));
    EXPECT_EQ(ReadBytes(scratch / "maps/b.dat"), "maps");

    dlg.choices = {PutFile(scratch, "games", "bad.pak", PakBuilder().Bytes().substr(0, 50))};   // shorter than its header
    dlg.log.clear();
    dlg.OnOpenPak();
    EXPECT_EQ(dlg.Said(), Log({"choose", "box Error!Damaged Corvane PAK file!\n / Error!"}));   // no refresh
    // The next refresh shows the failed name; the old table is never applied to bad.pak.
    dlg.log.clear();
    dlg.OnExtractAll();
    EXPECT_EQ(dlg.Said(), Log({"refresh bad.pak | 2 | 209 byte | Done"}));
    EXPECT_EQ(ListTree(scratch / "games"), Log({"Scan_log.txt", "bad.pak", "data.pak"}));
}

TEST(MainDialog, TakesADragWhoseFirstItemIsALocalFileThatIsNoFolder)
{
    ScratchDir scratch;
    const QUrl file = QUrl::fromLocalFile(Put(scratch, ".", "a.pak", TwoEntries()));
    const QUrl folder = QUrl::fromLocalFile(QString::fromStdString(scratch.Path()));
    const struct {
        const char* label;
        QList<QUrl> urls;
        bool taken;
    } rows[] = {
        {"a file", {file}, true},
        {"a file first", {file, folder}, true},
        {"a folder", {folder}, false},
        {"a folder first", {folder, file}, false},
        {"a web address", {QUrl("https://example.invalid/a.pak")}, false},
        {"text", {}, false},
    };
    ScriptedDlg dlg;
    EXPECT_TRUE(dlg.acceptDrops());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        QMimeData mime;
        mime.setUrls(row.urls);
        mime.setText("a.pak");
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dlg, &enter);
        EXPECT_EQ(enter.isAccepted(), row.taken);
    }
}

// The command line and a drop give the chooser's open command a path of their
// own; the command runs once control is back in the event loop.
TEST(MainDialog, ArchiveNamedOnTheCommandLineOrDroppedOpensAsFromTheChooser)
{
    ScratchDir scratch;
    const QString good = Put(scratch, "games", "data.pak", TwoEntries());
    const QString bad = Put(scratch, "other", "bad.pak", PakBuilder().Signature(9).Bytes());
    const std::function<void(ScriptedDlg&, const QString&)> ways[] = {
        [](ScriptedDlg& dlg, const QString& path) {
            dlg.choices = {path.toStdString()};
            dlg.OnOpenPak();
        },
        [&](ScriptedDlg& dlg, const QString& path) {
            // Relative to the folder the program starts in.
            dlg.PostOpenPath(QDir(QString::fromStdString(scratch.Path())).relativeFilePath(path).toStdString());
        },
        [&](ScriptedDlg& dlg, const QString& path) {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(path == good ? bad : good)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&dlg, &enter);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&dlg, &drop);
            EXPECT_TRUE(drop.isAccepted());
        },
    };
    for (const QString& path : {good, bad}) {
        Log said;
        std::string report;
        for (const auto& open : ways) {
            SCOPED_TRACE(path.toStdString() + " way " + std::to_string(&open - ways));
            QDir::setCurrent(QString::fromStdString(scratch.Path()));
            std::filesystem::remove(scratch / "games/Scan_log.txt");
            ScriptedDlg dlg;
            open(dlg, path);
            if (&open == ways) {
                said = dlg.Said();
                said.erase(said.begin());   // "choose"
                report = ReadBytes(scratch / "games/Scan_log.txt");
                continue;
            }
            EXPECT_TRUE(dlg.log.empty());
            EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg.log.empty(); }));
            EXPECT_EQ(dlg.Said(), said);
            EXPECT_EQ(QDir::currentPath(), QFileInfo(path).absolutePath());
            EXPECT_EQ(ReadBytes(scratch / "games/Scan_log.txt"), report);
        }
    }
}

TEST(QtProgressBar, KeepsPositionInsideRangeAndShowsNoText)
{
    const struct {
        void (*calls)(CQtProgressBar&);
        std::vector<int> kept, drawn;   // low, high, position as kept and as Qt draws them
    } rows[] = {
        {[](CQtProgressBar& p) { p.SetRange32(0, 10); p.SetPos(12); }, {0, 10, 10}, {0, 10, 10}},
        {[](CQtProgressBar& p) { p.SetRange32(5, 10); p.SetPos(2); }, {5, 10, 5}, {5, 10, 5}},
        {[](CQtProgressBar& p) { p.SetRange32(0, 10); p.SetPos(8); p.SetRange32(0, 4); }, {0, 4, 4}, {0, 4, 4}},
        {[](CQtProgressBar& p) { p.SetRange32(0, -5); p.SetPos(-9); }, {0, -5, -5}, {0, 1, 0}},   // upside down
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        CQtProgressBar progress;
        row.calls(progress);
        int low = 0, high = 0;
        progress.GetRange(low, high);
        EXPECT_EQ((std::vector<int>{low, high, progress.GetPos()}), row.kept);
        EXPECT_EQ((std::vector<int>{progress.minimum(), progress.maximum(), progress.value()}), row.drawn);
        EXPECT_FALSE(progress.isTextVisible());
    }
}

// The bar follows every move of a pixel or more, and only those: a long
// extraction must not pay Qt's repaint check for each of its entries.
TEST(QtProgressBar, BarFollowsThePositionPixelByPixel)
{
    CQtProgressBar progress;
    progress.resize(200, 10);
    progress.SetRange32(0, 100000);
    int changes = 0;
    QObject::connect(&progress, &QProgressBar::valueChanged, [&changes] { ++changes; });
    for (int i = 1; i <= 100000; ++i) {
        progress.SetPos(i);
        ASSERT_LT(qint64{i - progress.value()} * progress.width(), 100000) << i;
    }
    EXPECT_EQ(progress.value(), 100000);
    EXPECT_LE(changes, progress.width() + 1);
    progress.SetPos(3);
    EXPECT_EQ(progress.value(), 3);
}

} // namespace
