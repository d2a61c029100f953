// Reading the program's resource data and converting dialog units to pixels.
#include "dialog_resources.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr char kResourceFolder[] = ":/res/";
constexpr char kResourceData[] = ":/res/dialogs.json";

struct NamedBits {
    const char* name;
    std::uint32_t bits;
};

constexpr NamedBits kStyleNames[] = {
    {"WS_POPUP", WS_POPUP},         {"WS_VISIBLE", WS_VISIBLE},
    {"WS_CAPTION", WS_CAPTION},     {"WS_BORDER", WS_BORDER},
    {"WS_SYSMENU", WS_SYSMENU},     {"WS_GROUP", WS_GROUP},
    {"WS_TABSTOP", WS_TABSTOP},     {"DS_MODALFRAME", DS_MODALFRAME},
    {"DS_SETFONT", DS_SETFONT},     {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {"SS_LEFT", SS_LEFT},           {"SS_CENTER", SS_CENTER},
    {"SS_RIGHT", SS_RIGHT},         {"SS_ICON", SS_ICON},
    {"SS_NOPREFIX", SS_NOPREFIX},   {"SS_CENTERIMAGE", SS_CENTERIMAGE},
};

constexpr NamedBits kExStyleNames[] = {
    {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
    {"WS_EX_APPWINDOW", WS_EX_APPWINDOW},
};

constexpr std::pair<const char*, ControlKind> kKindNames[] = {
    {"pushbutton", ControlKind::PushButton}, {"static", ControlKind::Static},
    {"groupbox", ControlKind::GroupBox},     {"progress", ControlKind::Progress},
    {"icon", ControlKind::Icon},
};

// Names as a template lists them, ORed together. False on an unknown name.
template <std::size_t N>
bool ReadBits(const QJsonValue& names, const NamedBits (&table)[N], std::uint32_t& bits, QString& error)
{
    bits = 0;
    for (const QJsonValue& name : names.toArray()) {
        const auto found = std::find_if(std::begin(table), std::end(table), [&](const NamedBits& entry) {
            return name.toString() == QLatin1String(entry.name);
        });
        if (found == std::end(table)) {
            error = QStringLiteral("unknown style '%1'").arg(name.toString());
            return false;
        }
        bits |= found->bits;
    }
    return true;
}

QRect ReadRect(const QJsonValue& value)
{
    const QJsonArray v = value.toArray();
    return QRect(v.at(0).toInt(), v.at(1).toInt(), v.at(2).toInt(), v.at(3).toInt());
}

bool ReadControl(const QJsonObject& object, ControlTemplate& control, QString& error)
{
    control.id = object.value(QLatin1String("id")).toInt(-1);
    control.symbol = object.value(QLatin1String("symbol")).toString();
    control.text = object.value(QLatin1String("text")).toString();
    control.icon = object.value(QLatin1String("icon")).toInt();
    control.rect = ReadRect(object.value(QLatin1String("rect")));
    const QString kind = object.value(QLatin1String("kind")).toString();
    const auto found = std::find_if(std::begin(kKindNames), std::end(kKindNames),
                                    [&](const auto& entry) { return kind == QLatin1String(entry.first); });
    if (found == std::end(kKindNames)) {
        error = QStringLiteral("unknown kind '%1'").arg(kind);
        return false;
    }
    control.kind = found->second;
    return ReadBits(object.value(QLatin1String("style")), kStyleNames, control.style, error) &&
           ReadBits(object.value(QLatin1String("exStyle")), kExStyleNames, control.exStyle, error);
}

bool ReadDialog(const QJsonObject& object, DialogTemplate& dialog, QString& error)
{
    dialog.id = object.value(QLatin1String("id")).toInt();
    dialog.symbol = object.value(QLatin1String("symbol")).toString();
    dialog.rect = ReadRect(object.value(QLatin1String("rect")));
    dialog.caption = object.value(QLatin1String("caption")).toString();
    dialog.pointSize = object.value(QLatin1String("pointSize")).toInt(8);
    if (!ReadBits(object.value(QLatin1String("style")), kStyleNames, dialog.style, error) ||
        !ReadBits(object.value(QLatin1String("exStyle")), kExStyleNames, dialog.exStyle, error))
        return false;
    for (const QJsonValue& item : object.value(QLatin1String("controls")).toArray()) {
        ControlTemplate control;
        if (!ReadControl(item.toObject(), control, error))
            return false;
        dialog.controls.push_back(std::move(control));
    }
    return true;
}

std::map<int, QString> ReadNumbered(const QJsonValue& table)
{
    std::map<int, QString> out;
    const QJsonObject object = table.toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        out[it.key().toInt()] = it.value().toString();
    return out;
}

} // namespace

bool ParseResources(const QByteArray& json, ResourceSet& out, QString& error)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (!document.isObject()) {
        error = QStringLiteral("not a JSON object: ") + parseError.errorString();
        return false;
    }
    const QJsonObject root = document.object();
    ResourceSet set;
    set.strings = ReadNumbered(root.value(QLatin1String("strings")));
    set.icons = ReadNumbered(root.value(QLatin1String("icons")));
    for (const QJsonValue& item : root.value(QLatin1String("dialogs")).toArray()) {
        DialogTemplate dialog;
        if (!ReadDialog(item.toObject(), dialog, error)) {
            error = QStringLiteral("dialog %1: ").arg(dialog.id) + error;
            return false;
        }
        set.dialogs[dialog.id] = std::move(dialog);
    }
    out = std::move(set);
    return true;
}

const ResourceSet& ProgramResources()
{
    static const ResourceSet resources = [] {
        QFile file(QString::fromLatin1(kResourceData));
        ResourceSet set;
        QString error;
        if (!file.open(QIODevice::ReadOnly))
            qFatal("%s can't be read", kResourceData);
        if (!ParseResources(file.readAll(), set, error))
            qFatal("%s: %s", kResourceData, qPrintable(error));
        return set;
    }();
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
