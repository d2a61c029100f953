// The Windows resource script in res/: it compiles, its version block matches
// the project's version, and its icon group has the two 16-colour images.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QVersionNumber>

namespace {

QByteArray Utf16(const QString& text)
{
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

QByteArray U32s(std::initializer_list<std::uint32_t> values)
{
    QByteArray bytes;
    for (std::uint32_t v : values)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.append(static_cast<char>(v >> shift & 0xFF));
    return bytes;
}

TEST(Resources, ScriptCompilesWithTheProjectVersionAndTheTwo16ColourIcons)
{
    ASSERT_STRNE(PAK_WINDRES, "") << "x86_64-w64-mingw32-windres not found (binutils-mingw-w64-x86-64)";
    QTemporaryDir out;
    QProcess windres;
    windres.start(PAK_WINDRES, {"--preprocessor=" PAK_CPP, "--preprocessor-arg=-xc", "--preprocessor-arg=-DRC_INVOKED",
                                "-I", PAK_RES_DIR, "-O", "res", PAK_RES_DIR "/tessup.rc", out.filePath("t.res")});
    ASSERT_TRUE(windres.waitForFinished(30000));
    ASSERT_EQ(windres.exitCode(), 0) << windres.readAllStandardError().toStdString();
    QFile file(out.filePath("t.res"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray res = file.readAll();

    // The fixed part: signature, layout version, file and product version,
    // flags mask, flags, 32-bit Windows, an application.
    const QVector<int> v = QVersionNumber::fromString(PAK_PROJECT_VERSION).segments();
    ASSERT_EQ(v.size(), 4);
    const auto ms = static_cast<std::uint32_t>(v[0] << 16 | v[1]);
    const auto ls = static_cast<std::uint32_t>(v[2] << 16 | v[3]);
    EXPECT_TRUE(res.contains(U32s({0xFEEF04BD, 0x10000, ms, ls, ms, ls, 0x3F, 0, 4, 1})));

    // Each value follows its key, padded to four bytes.
    const auto valueAfter = [&res](const QString& key, int size) {
        const int at = res.indexOf(Utf16(key) + QByteArray(2, '\0'));
        return at < 0 ? QByteArray() : res.mid((at + (key.size() + 1) * 2 + 3) & ~3, size);
    };
    const QString version = QStringLiteral("%1, %2, %3, %4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
    const std::pair<QString, QString> values[] = {
        {"CompanyName", ""}, {"FileDescription", "Tessup MFC Application"}, {"FileVersion", version},
        {"InternalName", "Tessup"}, {"LegalTrademarks", ""}, {"OriginalFilename", "Tessup.EXE"},
        {"ProductName", "Tessup Application"}, {"ProductVersion", version},
    };
    for (const auto& [key, value] : values)
        EXPECT_EQ(valueAfter(key, value.size() * 2 + 2), Utf16(value) + QByteArray(2, '\0')) << key.toStdString();
    EXPECT_TRUE(res.contains(Utf16("040904B0")));                              // U.S. English, Unicode
    EXPECT_EQ(valueAfter("Translation", 4), QByteArray("\x09\x04\xB0\x04", 4));   // 0x0409, 1200

    // The icon group: two images, 32 and 16 pixels square, 16 colours at 4 bits a pixel.
    EXPECT_TRUE(res.contains(QByteArray("\0\0\1\0\2\0" "\x20\x20\x10\0\1\0\4\0", 14)));
    EXPECT_TRUE(res.contains(QByteArray("\x10\x10\x10\0\1\0\4\0", 8)));
}

} // namespace
