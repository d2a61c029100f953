// Dialog templates: the data in res/, dialog units, and the dialogs built from them.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <memory>

#include "about_dlg.h"
#include "pak_unpacker_dlg.h"
#include "qt_progress_bar.h"
#include "resource.h"

namespace {

std::string Row(const ControlTemplate& c)
{
    const char* kinds[] = {"button", "static", "group", "progress", "icon"};
    return QStringLiteral("%1 %2 '%3' %4,%5,%6,%7 %8/%9")
        .arg(c.id).arg(kinds[static_cast<int>(c.kind)])
        .arg(c.kind == ControlKind::Icon ? QString::number(c.icon) : QString(c.text).replace('\n', "\\n"))
        .arg(c.rect.x()).arg(c.rect.y()).arg(c.rect.width()).arg(c.rect.height())
        .arg(c.style, 0, 16).arg(c.exStyle, 0, 16)
        .toStdString();
}

std::vector<std::string> Rows(const DialogTemplate& dialog)
{
    std::vector<std::string> rows;
    for (const ControlTemplate& control : dialog.controls)
        rows.push_back(Row(control));
    return rows;
}

TEST(Templates, HoldTheMainDialogAboutBoxAndAboutMenuEntryAsDesigned)
{
    const DialogTemplate& main = LoadDialogTemplate(IDD_PAKUNPACKER_DIALOG);
    EXPECT_EQ(main.caption, "Corvane UnPaker v 0.1");
    EXPECT_EQ(main.rect, QRect(0, 0, 320, 66));
    EXPECT_EQ(main.style, 0x90C800C0u);
    EXPECT_EQ(main.exStyle, 0x00040000u);
    EXPECT_EQ(main.pointSize, 8);
    EXPECT_EQ(Rows(main), (std::vector<std::string>{
                              "1000 button 'Open Pak file...' 258,2,56,14 10001/0",
                              "2 button 'Cancel' 258,34,56,14 10001/0",
                              "3 button 'Extract All' 258,18,56,14 10001/0",
                              "-1 static 'Pak Name:' 8,7,36,8 20000/0",
                              "-1 static 'Num of files:' 8,18,40,8 20000/0",
                              "-1 static 'Size ( byte ):' 8,30,40,8 20000/0",
                              "-1 group '' 2,0,249,47 0/0",
                              "1002 static 'Static' 60,7,139,8 20000/0",
                              "1003 static 'Static' 60,19,139,8 20000/0",
                              "1004 static 'Static' 60,30,139,8 20000/0",
                              "1005 progress 'Progress1' 2,48,249,6 800000/0",
                              "-1 static 'Corvane UnPaker v 0.1 (C) the authors' 3,57,167,8 20000/0",
                              "1001 static 'none' 224,55,28,10 201/200",
                          }));

    const DialogTemplate& about = LoadDialogTemplate(IDD_ABOUTBOX);
    EXPECT_EQ(about.caption, "About  Corvane UnPaker v 0.1");
    EXPECT_EQ(about.rect, QRect(0, 0, 235, 55));
    EXPECT_EQ(about.style, 0x80C800C0u);
    EXPECT_EQ(about.pointSize, 8);
    EXPECT_EQ(Rows(about), (std::vector<std::string>{
                               "-1 icon '128' 11,17,20,20 3/0",
                               "1 button 'OK' 178,7,50,14 30001/0",
                               "-1 static 'Corvane UnPaker Version 0.1' 40,10,119,8 20080/0",
                               "-1 static '(C) the Corvane UnPaker authors\\nBug reports: the project's issues' "
                               "41,22,119,18 20000/0",
                           }));

    EXPECT_EQ(LoadString(IDS_ABOUTBOX), "&About Tessup...");
}

TEST(Templates, UnknownNamesAndBrokenJsonAreRefused)
{
    const QString dialog = QStringLiteral(R"({"dialogs": [{"id": 5, "style": [%1], "controls": [{"kind": "%2"}]}]})");
    const std::pair<QString, const char*> rows[] = {
        {"{", "not a JSON object"},
        {dialog.arg("\"WS_BOGUS\"", "static"), "dialog 5: unknown style 'WS_BOGUS'"},
        {dialog.arg("", "slider"), "dialog 5: unknown kind 'slider'"},
    };
    for (const auto& [json, reason] : rows) {
        ResourceSet set;
        QString error;
        EXPECT_FALSE(ParseResources(json.toUtf8(), set, error));
        EXPECT_TRUE(error.startsWith(QLatin1String(reason))) << error.toStdString();
    }
}

TEST(DialogUnits, ConvertEachEdgeOnItsOwnRoundingHalvesUp)
{
    const struct {
        DialogBaseUnits base;
        QRect units;
        QRect pixels;
    } rows[] = {
        {{6, 13}, QRect(258, 2, 56, 14), QRect(387, 3, 84, 23)},
        {{7, 13}, QRect(0, 0, 320, 66), QRect(0, 0, 560, 107)},
        {{7, 13}, QRect(3, 57, 167, 8), QRect(5, 93, 293, 13)},   // 5.25, 92.6, 297.5, 105.6
        {{5, 16}, QRect(1, 1, 1, 1), QRect(1, 2, 2, 2)},          // 1.25 and 2.5
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.units.x());
        EXPECT_EQ(MapDialogRect(row.units, row.base), row.pixels);
    }
}

// Every control of `dialog` as its template places it, in the dialog's font,
// with its text fitting inside it.
void ExpectBuiltFromTemplate(const CTemplateDialog& dialog, int templateId)
{
    const DialogTemplate& tpl = LoadDialogTemplate(templateId);
    const DialogBaseUnits base = dialog.BaseUnits();
    EXPECT_EQ(dialog.windowTitle(), tpl.caption);
    EXPECT_EQ(dialog.font().pointSize(), 8);
    EXPECT_EQ(dialog.minimumSize(), MapDialogRect(tpl.rect, base).size());
    EXPECT_EQ(dialog.maximumSize(), dialog.minimumSize());
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint));
    const QList<QSize> iconSizes = dialog.windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));

    const QList<QWidget*> widgets = dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (const ControlTemplate& control : tpl.controls) {
        SCOPED_TRACE(Row(control));
        QRect expected = MapDialogRect(control.rect, base);
        if (control.kind == ControlKind::Icon)
            expected.setSize(QSize(32, 32));
        QWidget* found = nullptr;
        for (QWidget* widget : widgets)
            if (widget->geometry() == expected && !found)
                found = widget;
        ASSERT_NE(found, nullptr);
        if (control.id != -1) {
            EXPECT_EQ(dialog.GetDlgItem(control.id), found);
        }
        const QFontMetrics metrics(found->font());
        if (auto* label = qobject_cast<QLabel*>(found); label && control.kind == ControlKind::Static) {
            if (control.id == -1) {
                EXPECT_EQ(label->text(), control.text);
            }
            const QRect room = label->contentsRect();
            const QRect used = metrics.boundingRect(room, Qt::TextWordWrap | label->alignment(), label->text());
            EXPECT_TRUE(room.contains(used)) << "text needs " << used.width() << "x" << used.height();
        } else if (auto* button = qobject_cast<QPushButton*>(found)) {
            EXPECT_EQ(button->text(), control.text);
            EXPECT_LT(metrics.horizontalAdvance(button->text()) + 8, button->width());
        } else if (control.kind == ControlKind::Icon) {
            EXPECT_EQ(qobject_cast<QLabel*>(found)->pixmap().size(), QSize(32, 32));
        } else {
            EXPECT_EQ(control.kind == ControlKind::GroupBox, qobject_cast<QGroupBox*>(found) != nullptr);
            EXPECT_EQ(control.kind == ControlKind::Progress, qobject_cast<CProgressCtrl*>(found) != nullptr);
        }
    }
}

TEST(Templates, DialogsPlaceEveryControlAtItsConvertedPositionWithRoomForItsText)
{
    CPakUnpackerDlg main;
    ExpectBuiltFromTemplate(main, IDD_PAKUNPACKER_DIALOG);
    CAboutDlg about;
    ExpectBuiltFromTemplate(about, IDD_ABOUTBOX);
}

} // namespace
