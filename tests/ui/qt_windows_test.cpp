// The Qt side itself: the real file chooser, message boxes, window menu,
// About box and start-up, each answered from a timer as a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <optional>

#include "about_dlg.h"
#include "address_space_limit.h"
#include "pak_unpacker_app.h"
#include "pak_unpacker_dlg.h"
#include "resource.h"
#include "ui_archives.h"
#include "ui_script.h"

namespace {

QString Shown(const CPakUnpackerDlg& dlg, int id)
{
    return qobject_cast<QLabel*>(dlg.GetDlgItem(id))->text();
}

// The names the chooser lists in its current folder, sorted, comma-separated.
QString Listed(QFileDialog* chooser)
{
    auto* model = chooser->findChild<QFileSystemModel*>();
    QStringList names;
    const QModelIndex folder = model->index(chooser->directory().absolutePath());
    for (int row = 0; row < model->rowCount(folder); ++row)
        names << model->index(row, 0, folder).data().toString();
    names.sort();
    return names.join(',');
}

// Types `name` into the chooser's file name field and presses Enter.
void ChooseByTyping(QWidget* window, const QString& name)
{
    auto* edit = ChildOf<QLineEdit>(qobject_cast<QFileDialog*>(window), "fileNameEdit");
    ASSERT_NE(edit, nullptr) << Describe(window).toStdString();
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}

void ExpectScriptRan(const UiScript& script)
{
    EXPECT_TRUE(script.AllStepsRan());
    for (const QString& problem : script.Problems())
        ADD_FAILURE() << problem.toStdString();
}

// Checks the About box that `window` should be, then closes it with `key`.
void CheckAboutBox(QWidget* window, QWidget* owner, Qt::Key key)
{
    auto* about = qobject_cast<CAboutDlg*>(window);
    ASSERT_NE(about, nullptr) << Describe(window).toStdString();
    EXPECT_EQ(about->parentWidget(), owner);
    EXPECT_EQ(about->focusWidget(), about->GetDlgItem(IDOK));
    EXPECT_FALSE(about->windowIcon().isNull());
    QTest::keyClick(about->focusWidget(), key);
}

TEST(QtWindows, ChooserListsPakFilesOrEveryFileAndOpensTheChosenOne)
{
    ScratchDir scratch;
    std::filesystem::create_directory(scratch / "games");
    WriteBytes(scratch / "games/data.pak", PakBuilder().Header(0, 92, 92).Bytes());
    WriteBytes(scratch / "games/README", "no dot in this name");
    WriteBytes(scratch / "games/notes.txt", "");
    QDir::setCurrent(QString::fromStdString(scratch / "games"));

    CPakUnpackerDlg dlg;
    UiScript script;
    script.Then([&](QWidget* window) {
        auto* chooser = qobject_cast<QFileDialog*>(window);
        ASSERT_NE(chooser, nullptr) << Describe(window).toStdString();
        EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(chooser->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(chooser->nameFilters(), QStringList({"Corvane pak files (*.pak)", "All files(*.*)"}));
        EXPECT_EQ(chooser->selectedNameFilter(), "Corvane pak files (*.pak)");
        EXPECT_EQ(chooser->directory().absolutePath().toStdString(), scratch / "games");
        EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(chooser) == "data.pak"; })) << Listed(chooser).toStdString();

        QTest::keyClick(ChildOf<QComboBox>(chooser, "fileTypeCombo"), Qt::Key_Down);
        EXPECT_EQ(chooser->selectedNameFilter(), "All files(*.*)");
        EXPECT_TRUE(QTest::qWaitFor([&] { return Listed(chooser) == "README,data.pak,notes.txt"; }))
            << Listed(chooser).toStdString();
        ChooseByTyping(chooser, "data.pak");
    });
    dlg.OnOpenPak();
    ExpectScriptRan(script);
    EXPECT_EQ(Shown(dlg, IDC_PAK_NAME), "data.pak");
    EXPECT_EQ(Shown(dlg, IDC_STATUS), "Wait");
    EXPECT_TRUE(Exists(scratch / "games/Scan_log.txt"));
}

TEST(QtWindows, MessageBoxIsOwnedByTheDialogWithOneOkButtonNoIconAndRoomForItsCaption)
{
    ScratchDir scratch;
    WriteBytes(scratch / "bad.pak", PakBuilder().Signature(9).Bytes());
    CPakUnpackerDlg dlg;
    UiScript script;
    script.Then([](QWidget* window) { ChooseByTyping(window, "bad.pak"); })
        .Then([&](QWidget* window) {
            auto* box = qobject_cast<QMessageBox*>(window);
            ASSERT_NE(box, nullptr) << Describe(window).toStdString();
            EXPECT_EQ(box->parentWidget(), &dlg);
            EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_EQ(box->buttons().size(), 1);
            EXPECT_EQ(box->text(), "Error!");
            EXPECT_EQ(box->windowTitle(), QString::fromLatin1(kErrNotPak));
            // Room for the caption in a bold title font, besides the title bar's buttons.
            QFont titleFont = box->font();
            titleFont.setBold(true);
            EXPECT_GE(box->width(), QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + 100);
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
    dlg.OnOpenPak();
    ExpectScriptRan(script);
}

TEST(QtWindows, OutOfMemoryIsAnApplicationModalWarningCaptionedWithTheProgramName)
{
    ScratchDir scratch;
    HugeTable(scratch, "big.pak", 4000000);
    CPakUnpackerDlg dlg;
    std::optional<AddressSpaceLimit> limit;
    UiScript script;
    script
        .Then([&](QWidget* window) {
            limit.emplace(std::size_t{64} << 20);
            ChooseByTyping(window, "big.pak");
        })
        .Then([&](QWidget* window) {
            limit.reset();
            auto* box = qobject_cast<QMessageBox*>(window);
            ASSERT_NE(box, nullptr) << Describe(window).toStdString();
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            EXPECT_EQ(box->text(), "Out of memory.");
            // No name was given to the application: it is the executable's.
            EXPECT_EQ(box->windowTitle(), QFileInfo(QApplication::applicationFilePath()).baseName());
            QTest::keyClick(box, Qt::Key_Escape);
        });
    dlg.OnOpenPak();
    limit.reset();
    ExpectScriptRan(script);
    EXPECT_EQ(Shown(dlg, IDC_STATUS), "Read");
}

TEST(QtWindows, SysCommandsFrom0x10To0x1FOpenTheAboutBox)
{
    const std::pair<unsigned int, bool> rows[] = {
        {0x10, true}, {0x1F, true}, {0x0F, false}, {0x20, false}, {0xF060, false},
    };
    for (const auto& [id, opens] : rows) {
        SCOPED_TRACE(id);
        CPakUnpackerDlg dlg;
        UiScript script;
        if (opens)
            script.Then([&](QWidget* window) { CheckAboutBox(window, &dlg, Qt::Key_Return); });
        dlg.OnSysCommand(id, 0);
        ExpectScriptRan(script);
        EXPECT_EQ(script.Answered().size(), opens ? 1u : 0u);
    }
}

TEST(QtWindows, RightClickAnywhereOffersTheAboutEntry)
{
    CPakUnpackerDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    for (QWidget* target : {dlg.GetDlgItem(IDC_PAK_NAME), dlg.GetDlgItem(IDC_OPEN_PAK),
                            static_cast<QWidget*>(&dlg)}) {
        SCOPED_TRACE(target->objectName().toStdString());
        UiScript script;
        script
            .Then([](QWidget* window) {
                auto* menu = qobject_cast<QMenu*>(window);
                ASSERT_NE(menu, nullptr) << Describe(window).toStdString();
                ASSERT_EQ(menu->actions().size(), 1);
                EXPECT_EQ(menu->actions()[0]->text(), LoadString(IDS_ABOUTBOX));
                menu->setActiveAction(menu->actions()[0]);
                QTest::keyClick(menu, Qt::Key_Return);
            })
            .Then([&](QWidget* window) { CheckAboutBox(window, &dlg, Qt::Key_Escape); });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(target, &event);
        ExpectScriptRan(script);
        EXPECT_EQ(script.Answered().size(), 2u);
    }
}

TEST(QtWindows, InitInstanceRunsTheMainDialogModallyAndReturnsFalseWhenItEnds)
{
    UiScript script;
    script.Then([](QWidget* window) {
        auto* dlg = qobject_cast<CPakUnpackerDlg*>(window);
        ASSERT_NE(dlg, nullptr) << Describe(window).toStdString();
        EXPECT_EQ(dlg->parentWidget(), nullptr);
        EXPECT_EQ(dlg->focusWidget(), dlg->GetDlgItem(IDC_OPEN_PAK));
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    EXPECT_FALSE(theApp.InitInstance());
    ExpectScriptRan(script);
    EXPECT_EQ(QApplication::applicationVersion(), PAK_PROJECT_VERSION);
}

} // namespace
