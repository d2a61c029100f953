// The Qt side itself: the real file chooser, message boxes, window menu,
// About box and start-up, each answered from a timer as a user would.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include "about_dlg.h"
#include "pak_unpacker_app.h"
#include "pak_archive.h"
#include "ui_support.h"

namespace {

// The names the chooser lists in its current folder, sorted, comma-separated.
QString Listed(QFileDialog* chooser)
{
    auto* model = chooser->findChild<QFileSystemModel*>();
    const QModelIndex folder = model->index(chooser->directory().absolutePath());
    QStringList names;
    for (int row = 0; row < model->rowCount(folder); ++row)
        names << model->index(row, 0, folder).data().toString();
    names.sort();
    return names.join(',');
}

// Types `name` into the chooser's file name field and presses Enter.
void ChooseByTyping(QWidget* window, const QString& name)
{
    auto* edit = window->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr) << Describe(window);
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Checks the About box that `window` should be, then closes it with `key`.
void CheckAboutBox(QWidget* window, QWidget* owner, Qt::Key key)
{
    auto* about = qobject_cast<CAboutDlg*>(window);
    ASSERT_NE(about, nullptr) << Describe(window);
    EXPECT_EQ(about->parentWidget(), owner);
    EXPECT_EQ(about->focusWidget(), about->GetDlgItem(IDOK));
    QTest::keyClick(about->focusWidget(), key);
}

// The main dialog with its own file chooser and boxes, the out-of-memory box within reach.
struct PromptingDlg : CQtPakUnpackerDlg {
    using CQtPakUnpackerDlg::ShowOutOfMemory;
};

// Checks the message box that `window` should be, with one OK button, then presses it.
void CheckBox(QWidget* window, QWidget* owner, QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    auto* box = qobject_cast<QMessageBox*>(window);
    ASSERT_NE(box, nullptr) << Describe(window);
    EXPECT_EQ(box->parentWidget(), owner);
    EXPECT_EQ(box->icon(), icon);
    EXPECT_EQ(box->buttons(), QList<QAbstractButton*>({box->button(QMessageBox::Ok)}));
    EXPECT_TRUE(box->button(QMessageBox::Ok)->icon().isNull());
    EXPECT_EQ(box->windowTitle(), caption);
    EXPECT_EQ(box->text(), text);
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
}

TEST(QtWindows, ChooserListsPakFilesOrAllKeepsNoHistoryAndBoxesArePlainWithRoomForTheCaptionOrAWarning)
{
    ScratchDir scratch;
    Put(scratch, "games", "bad.pak", PakBuilder().Signature(9).Bytes());
    Put(scratch, "games", "README", "no dot in this name");
    Put(scratch, "games", "notes.txt", "");
    QDir::setCurrent(QString::fromStdString(scratch / "games"));
    // Where Qt's chooser would keep its folder history (the tests' own location).
    const QString kept = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/QtProject.conf";
    QFile::remove(kept);
    PromptingDlg dlg;
    UiScript script;
    script
        .Then([&](QWidget* window) {
            auto* chooser = qobject_cast<QFileDialog*>(window);
            ASSERT_NE(chooser, nullptr) << Describe(window);
            EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);
            EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptOpen);
            EXPECT_EQ(chooser->nameFilters(), QStringList({"Corvane pak files (*.pak)", "All files(*.*)"}));
            EXPECT_EQ(chooser->selectedNameFilter(), "Corvane pak files (*.pak)");
            EXPECT_EQ(chooser->directory().absolutePath().toStdString(), scratch / "games");
            EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(chooser) == "bad.pak"; }))
                << Listed(chooser).toStdString();
            QTest::keyClick(chooser->findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
            EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(chooser) == "README,bad.pak,notes.txt"; }))
                << Listed(chooser).toStdString();
            ChooseByTyping(chooser, "bad.pak");
        })
        .Then([&](QWidget* window) {
            // Room for the caption in a bold title font, besides the title bar's buttons.
            QFont titleFont = window->font();
            titleFont.setBold(true);
            EXPECT_GE(window->width(), QFontMetrics(titleFont).horizontalAdvance(window->windowTitle()) + 100);
            CheckBox(window, &dlg, QMessageBox::NoIcon, QString::fromLatin1(kErrNotPak), "Error!");
        });
    dlg.OnOpenPak();
    EXPECT_FALSE(QFile::exists(kept));
    // The out-of-memory box, which the dialog tests reach from both commands.
    script.Then([&](QWidget* window) {
        EXPECT_EQ(window->windowModality(), Qt::ApplicationModal);
        // The executable's own name, as Qt finds it too.
        CheckBox(window, &dlg, QMessageBox::Warning,
                 QFileInfo(QApplication::applicationFilePath()).completeBaseName(), "Out of memory.");
    });
    dlg.ShowOutOfMemory("Out of memory.", ApplicationName());
    script.ExpectAllAnswered();
}

TEST(QtWindows, RightClickAnywhereOffersAboutAndSysCommands0x10To0x1FOpenIt)
{
    CQtPakUnpackerDlg dlg;
    for (QWidget* target : {dlg.GetDlgItem(IDC_PAK_NAME), static_cast<QWidget*>(&dlg)}) {
        SCOPED_TRACE(Describe(target));
        UiScript script;
        script
            .Then([](QWidget* window) {
                auto* menu = qobject_cast<QMenu*>(window);
                ASSERT_NE(menu, nullptr) << Describe(window);
                ASSERT_EQ(menu->actions().size(), 1);
                EXPECT_EQ(menu->actions()[0]->text(), "&About Tessup...");
                menu->setActiveAction(menu->actions()[0]);
                QTest::keyClick(menu, Qt::Key_Return);
            })
            .Then([&](QWidget* window) { CheckAboutBox(window, &dlg, Qt::Key_Escape); });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(target, &event);
        script.ExpectAllAnswered();
    }
    for (const auto& [id, opens] : {std::pair{0x1Fu, true}, {0x0Fu, false}, {0x20u, false}}) {
        SCOPED_TRACE(id);
        UiScript script;
        if (opens)
            script.Then([&](QWidget* window) { CheckAboutBox(window, &dlg, Qt::Key_Return); });
        dlg.OnSysCommand(id, 0);
        script.ExpectAllAnswered();
    }
}

TEST(QtWindows, InitInstanceRunsTheMainDialogModallyOpensTheCommandLinesArchiveAndReturnsFalseWhenItEnds)
{
    ScratchDir scratch;
    Put(scratch, "games", "data.pak", TwoEntries());
    for (const std::string path : {"", "games/data.pak"}) {
        SCOPED_TRACE(path);
        QDir::setCurrent(QString::fromStdString(scratch.Path()));
        theApp.m_strOpenPath = path;
        UiScript script;
        script.Then([&](QWidget* window) {
            auto* dlg = qobject_cast<CQtPakUnpackerDlg*>(window);
            ASSERT_NE(dlg, nullptr) << Describe(window);
            EXPECT_EQ(dlg->parentWidget(), nullptr);
            const QString name = path.empty() ? "None" : "data.pak";
            auto* shown = qobject_cast<QLabel*>(dlg->GetDlgItem(IDC_PAK_NAME));
            EXPECT_TRUE(QTest::qWaitFor([&] { return shown->text() == name; })) << shown->text().toStdString();
            QTest::keyClick(dlg, Qt::Key_Escape);
        });
        EXPECT_FALSE(theApp.InitInstance());
        script.ExpectAllAnswered();
        EXPECT_EQ(Exists(scratch / "games/Scan_log.txt"), !path.empty());
    }
    theApp.m_strOpenPath = SystemPath();
    EXPECT_EQ(QApplication::applicationVersion(), PAK_PROJECT_VERSION);
}

// The program takes no options: Qt must not see "-platform", which would
// otherwise make it give up at once on a platform that does not exist. With
// more than one argument nothing is opened, and the idle dialog stays up.
TEST(QtWindows, ProgramHandsQtNoneOfItsCommandLine)
{
    QProcess tessup;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    tessup.setProcessEnvironment(environment);
    tessup.start(PAK_TESSUP, {"-platform", "no-such-platform"});
    ASSERT_TRUE(tessup.waitForStarted(10000));
    EXPECT_FALSE(tessup.waitForFinished(1500)) << tessup.readAllStandardError().toStdString();
    tessup.kill();
    tessup.waitForFinished(10000);
}

} // namespace
