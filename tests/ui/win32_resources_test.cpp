// The one reader of res/dialogs.json and both its outputs: the Windows
// program's dialog templates and string 101 compile into the binary
// templates the dialog manager reads, and they and the Qt program's built-in
// table say what the JSON says as Qt's own JSON classes read it.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>
#include <map>
#include <tuple>
#include <utility>

#include "dialog_resources.h"
#include "json_resources.h"
#include "resource.h"

namespace {

// Little-endian fields of a compiled resource file, read in order.
class ResReader {
public:
    ResReader(const QByteArray& bytes, int at) : m_bytes(bytes), m_at(at) {}

    std::uint32_t U16() { return Take(2); }
    std::uint32_t U32() { return Take(4); }
    void Align4() { m_at = (m_at + 3) & ~3; }
    // A zero-ended UTF-16 text, or 0xFFFF and an ordinal, given back as "#<n>".
    QString TextOrOrdinal()
    {
        if (Peek16() == 0xFFFF) {
            Take(2);
            return QStringLiteral("#%1").arg(U16());
        }
        QString text;
        for (std::uint32_t c; (c = U16()) != 0;)
            text += QChar(static_cast<char16_t>(c));
        return text;
    }
    // Four u16s: x, y, width, height.
    QRect Rect()
    {
        const int x = static_cast<int>(U16()), y = static_cast<int>(U16());
        const int width = static_cast<int>(U16()), height = static_cast<int>(U16());
        return QRect(x, y, width, height);
    }
    int At() const { return m_at; }
    bool Failed() const { return m_failed; }

private:
    std::uint32_t Peek16() const { return m_at + 2 <= m_bytes.size() ? Byte(m_at) | Byte(m_at + 1) << 8 : 0; }
    std::uint32_t Byte(int at) const { return static_cast<unsigned char>(m_bytes[at]); }
    std::uint32_t Take(int count)
    {
        if (m_at + count > m_bytes.size()) {
            m_failed = true;
            return 0;
        }
        std::uint32_t value = 0;
        for (int i = count - 1; i >= 0; --i)
            value = value << 8 | Byte(m_at + i);
        m_at += count;
        return value;
    }

    const QByteArray& m_bytes;
    int m_at;
    bool m_failed = false;
};

// The resources of a .res file by type and name ("#5", "#102"), as their data.
std::map<std::pair<QString, QString>, QByteArray> ReadResources(const QByteArray& res)
{
    std::map<std::pair<QString, QString>, QByteArray> found;
    int at = 0;
    while (at + 8 <= res.size()) {
        ResReader header(res, at);
        const std::uint32_t dataSize = header.U32();
        const std::uint32_t headerSize = header.U32();
        const QString type = header.TextOrOrdinal();
        const QString name = header.TextOrOrdinal();
        if (header.Failed() || at + headerSize + dataSize > static_cast<std::uint32_t>(res.size()))
            break;
        found[{type, name}] = res.mid(at + static_cast<int>(headerSize), static_cast<int>(dataSize));
        at = (at + static_cast<int>(headerSize + dataSize) + 3) & ~3;
    }
    return found;
}

// The window class a control of `kind` is made of: atoms for the system's
// own classes, the common control by name.
QString ClassOf(ControlKind kind)
{
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::GroupBox:
        return "#128";   // Button
    case ControlKind::Progress:
        return "msctls_progress32";
    default:
        return "#130";   // Static
    }
}

TEST(Win32Resources, DialogTemplatesAndStringsCompileFromTheJsonAsItSays)
{
    ASSERT_STRNE(PAK_WINDRES, "") << "x86_64-w64-mingw32-windres not found (binutils-mingw-w64-x86-64)";
    QTemporaryDir out;
    QProcess generate;
    generate.start(PAK_CMAKE, {"-DJSON=" PAK_RES_DIR "/dialogs.json", "-DRC=" + out.filePath("dialogs.rc"), "-P",
                               PAK_UI_DIR "/dialog_resources.cmake"});
    ASSERT_TRUE(generate.waitForFinished(30000));
    ASSERT_EQ(generate.exitCode(), 0) << generate.readAllStandardError().toStdString();
    QProcess windres;
    windres.start(PAK_WINDRES, {"--preprocessor=" PAK_CPP, "--preprocessor-arg=-xc", "--preprocessor-arg=-DRC_INVOKED",
                                "-I", out.path(), "-I", PAK_UI_DIR "/win32", "-I", PAK_RES_DIR, "-I", PAK_GENERATED_DIR,
                                "-O", "res", PAK_UI_DIR "/win32/tessup_win32.rc", out.filePath("t.res")});
    ASSERT_TRUE(windres.waitForFinished(30000));
    ASSERT_EQ(windres.exitCode(), 0) << windres.readAllStandardError().toStdString();
    QFile file(out.filePath("t.res"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto resources = ReadResources(bytes);

    const ResourceSet json = JsonResources();
    ASSERT_FALSE(json.dialogs.empty());
    for (const auto& [id, dialog] : json.dialogs) {
        SCOPED_TRACE(id);
        const auto found = resources.find({"#5", QStringLiteral("#%1").arg(id)});
        ASSERT_NE(found, resources.end());
        ResReader t(found->second, 0);
        EXPECT_EQ(t.U16(), 1u);        // an extended template
        EXPECT_EQ(t.U16(), 0xFFFFu);
        EXPECT_EQ(t.U32(), 0u);        // help id
        EXPECT_EQ(t.U32(), dialog.exStyle);
        EXPECT_EQ(t.U32(), dialog.style);
        EXPECT_EQ(t.U16(), dialog.controls.size());
        EXPECT_EQ(t.Rect(), dialog.rect);
        EXPECT_EQ(t.TextOrOrdinal(), "");   // no menu
        EXPECT_EQ(t.TextOrOrdinal(), "");   // the dialog class
        EXPECT_EQ(t.TextOrOrdinal(), dialog.caption);
        EXPECT_EQ(t.U16(), static_cast<std::uint32_t>(dialog.pointSize));
        t.U16();                       // weight
        EXPECT_EQ(t.U16(), 0x100u);    // not italic, character set 1
        EXPECT_EQ(t.TextOrOrdinal(), "MS Sans Serif");
        for (const ControlTemplate& control : dialog.controls) {
            SCOPED_TRACE(control.text.toStdString());
            t.Align4();
            EXPECT_EQ(t.U32(), 0u);   // help id
            EXPECT_EQ(t.U32(), control.exStyle);
            // Every control is a visible child; a group box is the button kind 7.
            EXPECT_EQ(t.U32(), 0x50000000u | control.style | (control.kind == ControlKind::GroupBox ? 7u : 0u));
            EXPECT_EQ(t.Rect(), control.rect);
            EXPECT_EQ(static_cast<std::int32_t>(t.U32()), control.id);
            // Class names are case-blind; windres writes them in capitals.
            EXPECT_EQ(t.TextOrOrdinal().toUpper(), ClassOf(control.kind).toUpper());
            EXPECT_EQ(t.TextOrOrdinal(),
                      control.kind == ControlKind::Icon ? QStringLiteral("#%1").arg(control.icon) : control.text);
            EXPECT_EQ(t.U16(), 0u);   // no creation data
        }
        EXPECT_FALSE(t.Failed());
        EXPECT_EQ(t.At(), found->second.size());
    }

    // Strings 96..111 share block 7: sixteen counted UTF-16 texts, 101 the sixth.
    const auto block = resources.find({"#6", "#7"});
    ASSERT_NE(block, resources.end());
    ResReader s(block->second, 0);
    for (int id = 96; id < 112; ++id) {
        QString text;
        for (std::uint32_t n = s.U16(); n > 0; --n)
            text += QChar(static_cast<char16_t>(s.U16()));
        EXPECT_EQ(text, id == IDS_ABOUTBOX ? json.strings.at(id) : QString()) << id;
    }
    // The manifest asks for common controls 6.
    const auto manifest = resources.find({"#24", "#1"});
    ASSERT_NE(manifest, resources.end());
    EXPECT_TRUE(manifest->second.contains("Microsoft.Windows.Common-Controls"));
}

// The table built into the Qt program holds every field of every template,
// string and icon as the JSON gives it.
TEST(Win32Resources, QtProgramsTableSaysWhatTheJsonSays)
{
    const ResourceSet json = JsonResources();
    const ResourceSet& built = ProgramResources();
    ASSERT_FALSE(json.dialogs.empty());
    EXPECT_EQ(built.strings, json.strings);
    EXPECT_EQ(built.icons, json.icons);
    ASSERT_EQ(built.dialogs.size(), json.dialogs.size());
    const auto fields = [](const auto& t) {
        return std::make_tuple(t.id, t.symbol.toStdString(), t.rect.x(), t.rect.y(), t.rect.width(), t.rect.height(),
                               t.style, t.exStyle);
    };
    for (const auto& [id, dialog] : json.dialogs) {
        SCOPED_TRACE(id);
        ASSERT_EQ(built.dialogs.count(id), 1u);
        const DialogTemplate& got = built.dialogs.at(id);
        EXPECT_EQ(fields(got), fields(dialog));
        EXPECT_EQ(got.caption, dialog.caption);
        EXPECT_EQ(got.pointSize, dialog.pointSize);
        ASSERT_EQ(got.controls.size(), dialog.controls.size());
        for (std::size_t i = 0; i < got.controls.size(); ++i) {
            SCOPED_TRACE(i);
            const ControlTemplate& control = got.controls[i];
            EXPECT_EQ(fields(control), fields(dialog.controls[i]));
            EXPECT_EQ(control.kind, dialog.controls[i].kind);
            EXPECT_EQ(control.text, dialog.controls[i].text);
            EXPECT_EQ(control.icon, dialog.controls[i].icon);
        }
    }
}

} // namespace
