// The Windows resource script in res/: it compiles, its version block matches
// the project's version, and its icon has the two 16-colour images.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QVersionNumber>

#include <map>

#include "resource.h"

namespace {

constexpr int kRtGroupIcon = 14;
constexpr int kRtVersion = 16;

std::uint32_t U16(const QByteArray& b, int at)
{
    return static_cast<std::uint8_t>(b[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}

std::uint32_t U32(const QByteArray& b, int at)
{
    return U16(b, at) | U16(b, at + 2) << 16;
}

int Align4(int at)
{
    return (at + 3) & ~3;
}

// A .res file: (type, name) -> data, for resources named by number.
std::map<std::pair<int, int>, QByteArray> ReadRes(const QByteArray& res)
{
    std::map<std::pair<int, int>, QByteArray> entries;
    for (int at = 0; at + 32 <= res.size();) {
        const int dataSize = static_cast<int>(U32(res, at));
        const int headerSize = static_cast<int>(U32(res, at + 4));
        // TYPE and NAME follow as 0xFFFF and a number when they are numbers.
        if (U16(res, at + 8) == 0xFFFF && U16(res, at + 12) == 0xFFFF)
            entries[{static_cast<int>(U16(res, at + 10)), static_cast<int>(U16(res, at + 14))}] =
                res.mid(at + headerSize, dataSize);
        at = Align4(at + headerSize + dataSize);
    }
    return entries;
}

QString Utf16At(const QByteArray& b, int& at)
{
    QString text;
    for (; U16(b, at) != 0; at += 2)
        text += QChar(static_cast<char16_t>(U16(b, at)));
    at += 2;
    return text;
}

// Walks a version block: every text value under its path of keys
// ("StringFileInfo/040904B0/InternalName"); the fixed part goes to `fixed`.
void WalkVersion(const QByteArray& b, int at, const QString& path, std::map<QString, QString>& values,
                 QByteArray& fixed)
{
    const int end = at + static_cast<int>(U16(b, at));
    const int valueLength = static_cast<int>(U16(b, at + 2));
    const bool isText = U16(b, at + 4) == 1;
    int cursor = at + 6;
    const QString key = Utf16At(b, cursor);
    const QString here = path.isEmpty() ? key : path + '/' + key;
    cursor = Align4(cursor);
    if (isText && valueLength > 0) {
        int text = cursor;
        values[here] = Utf16At(b, text);
    } else if (!isText && key == "VS_VERSION_INFO") {
        fixed = b.mid(cursor, valueLength);
    } else if (!isText && valueLength > 0) {
        values[here] = QString::number(U32(b, cursor), 16);
    }
    cursor = Align4(cursor + (isText ? valueLength * 2 : valueLength));
    while (cursor < end) {
        WalkVersion(b, cursor, key == "VS_VERSION_INFO" ? QString() : here, values, fixed);
        cursor = Align4(cursor + static_cast<int>(U16(b, cursor)));
    }
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
    const auto entries = ReadRes(file.readAll());

    ASSERT_EQ(entries.count({kRtVersion, 1}), 1u);
    std::map<QString, QString> values;
    QByteArray fixed;
    WalkVersion(entries.at({kRtVersion, 1}), 0, QString(), values, fixed);
    const QVector<int> v = QVersionNumber::fromString(PAK_PROJECT_VERSION).segments();
    ASSERT_EQ(v.size(), 4);
    const QString dotted = QStringLiteral("%1, %2, %3, %4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
    const QString table = QStringLiteral("StringFileInfo/040904B0/");
    EXPECT_EQ(values, (std::map<QString, QString>{
                          {table + "CompanyName", ""},
                          {table + "FileDescription", "Tessup MFC Application"},
                          {table + "FileVersion", dotted},
                          {table + "InternalName", "Tessup"},
                          {table + "LegalCopyright", "Copyright (C) the Corvane UnPaker authors"},
                          {table + "LegalTrademarks", ""},
                          {table + "OriginalFilename", "Tessup.EXE"},
                          {table + "ProductName", "Tessup Application"},
                          {table + "ProductVersion", dotted},
                          {"VarFileInfo/Translation", "4b00409"},   // 0x0409, 1200
                      }));
    ASSERT_EQ(fixed.size(), 52);
    EXPECT_EQ(U32(fixed, 0), 0xFEEF04BDu);
    const std::uint32_t ms = static_cast<std::uint32_t>(v[0] << 16 | v[1]);
    const std::uint32_t ls = static_cast<std::uint32_t>(v[2] << 16 | v[3]);
    EXPECT_EQ((std::vector<std::uint32_t>{U32(fixed, 8), U32(fixed, 12), U32(fixed, 16), U32(fixed, 20)}),
              (std::vector<std::uint32_t>{ms, ls, ms, ls}));
    EXPECT_EQ(U32(fixed, 32), 0x4u);   // 32-bit Windows
    EXPECT_EQ(U32(fixed, 36), 0x1u);   // an application

    // The icon group: reserved, type, count; then 14 bytes per image.
    ASSERT_EQ(entries.count({kRtGroupIcon, IDR_MAINFRAME}), 1u);
    const QByteArray group = entries.at({kRtGroupIcon, IDR_MAINFRAME});
    ASSERT_EQ(U16(group, 4), 2u);
    for (int i = 0; i < 2; ++i) {
        const int at = 6 + 14 * i;
        const int side = i == 0 ? 32 : 16;
        EXPECT_EQ((std::vector<std::uint32_t>{static_cast<std::uint8_t>(group[at]),
                                              static_cast<std::uint8_t>(group[at + 1]),
                                              static_cast<std::uint8_t>(group[at + 2]), U16(group, at + 6)}),
                  (std::vector<std::uint32_t>{static_cast<std::uint32_t>(side), static_cast<std::uint32_t>(side),
                                              16u, 4u}))
            << "width, height, colours, bits per pixel of image " << i;
    }
}

} // namespace
