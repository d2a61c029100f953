// The program's resources: dialog templates, dialog units and the dialogs
// built from them; the Windows resource script compiles, its version block
// carries the program's fixed version and the project's, and its icon group
// has the two 16-colour images.
#include <gtest/gtest.h>

#include <QFile>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include "about_dlg.h"
#include "ui_support.h"

namespace {

// The build's one reader of the templates stops on them, and writes nothing.
TEST(Templates, UnknownNamesAndBrokenJsonAreRefused)
{
    const QString dialog = QStringLiteral(R"({"dialogs": [{"id": 5, "style": [%1], "controls": [{"kind": "%2"}]}]})");
    const std::pair<QString, const char*> rows[] = {
        {"{", "not a JSON object"},
        {dialog.arg("\"WS_BOGUS\"", "static"), "dialog 5: unknown style 'WS_BOGUS'"},
        {dialog.arg("", "slider"), "dialog 5: unknown kind 'slider'"},
    };
    for (const auto& [json, reason] : rows) {
        SCOPED_TRACE(reason);
        QTemporaryDir out;
        QFile file(out.filePath("dialogs.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(json.toUtf8());
        file.close();
        QProcess reader;
        reader.start(PAK_CMAKE, {"-DJSON=" + file.fileName(), "-DRC=" + out.filePath("dialogs.rc"),
                                 "-DCPP=" + out.filePath("data.cpp"), "-P", PAK_UI_DIR "/dialog_resources.cmake"});
        ASSERT_TRUE(reader.waitForFinished(30000));
        EXPECT_NE(reader.exitCode(), 0);
        const QString said = QString::fromLocal8Bit(reader.readAllStandardError());
        EXPECT_TRUE(said.contains(QLatin1String(reason))) << said.toStdString();
        EXPECT_FALSE(QFile::exists(out.filePath("dialogs.rc")));
        EXPECT_FALSE(QFile::exists(out.filePath("data.cpp")));
    }
}

// `dialog` has a fixed size, its template's font and icons, and each control
// where the template puts it, inside the dialog, clear of the others (a group
// box only frames them) and with room for its text. Returns the texts of the
// buttons and of the labels that the program never changes, in template order.
QStringList ExpectBuiltFromTemplate(const CResourceDialog& dialog, int templateId)
{
    EXPECT_EQ(dialog.font().pointSize(), 8);
    EXPECT_EQ(dialog.maximumSize(), dialog.minimumSize());
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & (Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(dialog.windowIcon().availableSizes(), QList<QSize>({QSize(32, 32), QSize(16, 16)}));

    QStringList texts;
    std::vector<QRect> taken;
    const QList<QWidget*> widgets = dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (const ControlTemplate& control : LoadDialogTemplate(templateId).controls) {
        SCOPED_TRACE(control.text.toStdString());
        QRect expected = MapDialogRect(control.rect, dialog.BaseUnits());
        if (control.kind == ControlKind::Icon)
            expected.setSize(QSize(32, 32));
        const auto found =
            std::find_if(widgets.begin(), widgets.end(), [&](QWidget* w) { return w->geometry() == expected; });
        if (found == widgets.end()) {
            ADD_FAILURE() << "no control at its converted position";
            continue;
        }
        EXPECT_TRUE(control.id == -1 || dialog.GetDlgItem(control.id) == *found);
        EXPECT_TRUE(QRect(QPoint(), dialog.size()).contains(expected));
        if (control.kind != ControlKind::GroupBox) {
            for (const QRect& other : taken)
                EXPECT_FALSE(other.intersects(expected));
            taken.push_back(expected);
        }
        const QFontMetrics metrics((*found)->font());
        if (auto* button = qobject_cast<QPushButton*>(*found)) {
            texts << button->text();
            EXPECT_LT(metrics.horizontalAdvance(button->text()) + 8, button->width());
        } else if (auto* label = qobject_cast<QLabel*>(*found); label && control.kind == ControlKind::Static) {
            if (control.id == -1)
                texts << label->text();
            const QRect contents = label->contentsRect();
            QRect used = metrics.boundingRect(contents, Qt::TextWordWrap | label->alignment(), label->text());
            // A centred line may lose its empty leading to a field lower than the font's line
            // height (the status field, as on Windows); its letters must still fit.
            if (label->alignment() & Qt::AlignVCenter) {
                const int letters = metrics.tightBoundingRect(label->text()).height();
                used.setTop(contents.center().y() - letters / 2);
                used.setHeight(letters);
            }
            EXPECT_TRUE(contents.contains(used)) << "text needs " << used.width() << "x" << used.height();
        } else {
            EXPECT_EQ(control.kind == ControlKind::Icon, label && label->pixmap().size() == QSize(32, 32));
            EXPECT_EQ(control.kind == ControlKind::GroupBox, qobject_cast<QGroupBox*>(*found) != nullptr);
            EXPECT_EQ(control.kind == ControlKind::Progress, qobject_cast<CQtProgressBar*>(*found) != nullptr);
        }
    }
    return texts;
}

TEST(Templates, DialogsShowTheirTextsWithRoomAtTheirConvertedPositions)
{
    CQtPakUnpackerDlg main;
    EXPECT_EQ(main.windowTitle(), "Corvane UnPaker v 0.1");
    EXPECT_EQ(main.size(), MapDialogRect(QRect(0, 0, 320, 66), main.BaseUnits()).size());
    EXPECT_EQ(ExpectBuiltFromTemplate(main, IDD_PAKUNPACKER_DIALOG),
              QStringList({"Open Pak file...", "Cancel", "Extract All", "Pak Name:", "Num of files:", "Size ( byte ):",
                           "Corvane UnPaker v 0.1 (C) the authors"}));
    auto* status = qobject_cast<QLabel*>(main.GetDlgItem(IDC_STATUS));
    EXPECT_EQ(status->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_EQ(status->frameStyle(), QFrame::WinPanel | QFrame::Sunken);

    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About  Corvane UnPaker v 0.1");
    EXPECT_EQ(about.size(), MapDialogRect(QRect(0, 0, 235, 55), about.BaseUnits()).size());
    EXPECT_EQ(ExpectBuiltFromTemplate(about, IDD_ABOUTBOX),
              QStringList({"OK", "Corvane UnPaker Version 0.1",
                           "(C) the Corvane UnPaker authors\nBug reports: the project's issues"}));
}

TEST(Resources, ScriptCompilesWithItsVersionsAndTheTwo16ColourIcons)
{
    ASSERT_STRNE(PAK_WINDRES, "") << "x86_64-w64-mingw32-windres not found (binutils-mingw-w64-x86-64)";
    QTemporaryDir out;
    QProcess windres;
    windres.start(PAK_WINDRES, {"--preprocessor=" PAK_CPP, "--preprocessor-arg=-xc", "--preprocessor-arg=-DRC_INVOKED",
                                "-I", PAK_RES_DIR, "-I", PAK_GENERATED_DIR, "-O", "res", PAK_RES_DIR "/tessup.rc",
                                out.filePath("t.res")});
    ASSERT_TRUE(windres.waitForFinished(30000));
    ASSERT_EQ(windres.exitCode(), 0) << windres.readAllStandardError().toStdString();
    QFile file(out.filePath("t.res"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray res = file.readAll();

    // The fixed part: signature, layout version, file and product version
    // (the program's own 1.0.0.1, whatever the release), flags mask, flags,
    // 32-bit Windows, an application (little-endian u32s).
    const int v[] = {1, 0, 0, 1};
    const auto ms = static_cast<std::uint32_t>(v[0] << 16 | v[1]), ls = static_cast<std::uint32_t>(v[2] << 16 | v[3]);
    QByteArray fixed;
    for (const std::uint32_t word : {0xFEEF04BDu, 0x10000u, ms, ls, ms, ls, 0x3Fu, 0u, 4u, 1u})
        for (int shift = 0; shift < 32; shift += 8)
            fixed.append(static_cast<char>(word >> shift & 0xFF));
    EXPECT_TRUE(res.contains(fixed));
    // FileVersion and ProductVersion say the same in UTF-16 text; the string block is U.S. English,
    // Unicode, as the translation says (0x0409, 1200), so that Windows finds it.
    const auto utf16 = [](const QString& text) {
        return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    };
    EXPECT_EQ(res.count(utf16(QStringLiteral("%1, %2, %3, %4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]))), 2);
    // The release, the project's version, is the Comments entry: its key, then
    // its value (the key's 18 bytes end on a 4-byte boundary), each ending in a zero.
    const QByteArray zero(2, '\0');
    EXPECT_TRUE(res.contains(utf16("Comments") + zero + utf16("Corvane UnPaker " PAK_PROJECT_VERSION) + zero));
    EXPECT_TRUE(res.contains(utf16("040904B0")) && res.contains(QByteArray("\x09\x04\xB0\x04", 4)));

    // The icon group: two images, 32 and 16 pixels square, 16 colours at 4 bits a pixel.
    EXPECT_TRUE(res.contains(QByteArray("\0\0\1\0\2\0" "\x20\x20\x10\0\1\0\4\0", 14)));
    EXPECT_TRUE(res.contains(QByteArray("\x10\x10\x10\0\1\0\4\0", 8)));
}

} // namespace
