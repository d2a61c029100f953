// The program's resource data, written into the build from res/dialogs.json,
// and the conversion of dialog units to pixels.
#include "dialog_resources.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QtGlobal>

namespace {

constexpr char kResourceFolder[] = ":/res/";

} // namespace

const ResourceSet& ProgramResources()
{
    static const ResourceSet resources = BuiltInResources();
    return resources;
}

const DialogTemplate& LoadDialogTemplate(int id)
{
    const auto& dialogs = ProgramResources().dialogs;
    const auto found = dialogs.find(id);
    if (found == dialogs.end())
        qFatal("no dialog template %d", id);
    return found->second;
}

QString LoadString(int id)
{
    const auto& strings = ProgramResources().strings;
    const auto found = strings.find(id);
    return found == strings.end() ? QString() : found->second;
}

QIcon LoadIcon(int id)
{
    const auto& icons = ProgramResources().icons;
    const auto found = icons.find(id);
    return found == icons.end() ? QIcon() : QIcon(QLatin1String(kResourceFolder) + found->second);
}

QFont DialogFont(int pointSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font)
{
    // The average width is taken over the 52 letters and rounded to the
    // nearest pixel; the height is the font's full line height.
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogBaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const QRect& units, DialogBaseUnits base)
{
    const DialogRect pixels =
        DialogUnitsToPixels(DialogRect{units.x(), units.y(), units.width(), units.height()}, base);
    return QRect(pixels.x, pixels.y, pixels.width, pixels.height);
}
