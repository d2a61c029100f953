// Reading the program's resource data and converting dialog units to pixels.
#include "dialog_template.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>

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

// Collects the problems of one parse; the first one wins.
class Reader {
public:
    QString error;

    bool Fail(const QString& where, const QString& what)
    {
        if (error.isEmpty())
            error = where + ": " + what;
        return false;
    }

    bool Int(const QJsonObject& object, const char* key, const QString& where, int& value)
    {
        const QJsonValue item = object.value(QLatin1String(key));
        if (!item.isDouble() || item.toDouble() != static_cast<double>(item.toInt()))
            return Fail(where, QStringLiteral("'%1' must be a whole number").arg(key));
        value = item.toInt();
        return true;
    }

    bool Text(const QJsonObject& object, const char* key, const QString& where, QString& value)
    {
        const QJsonValue item = object.value(QLatin1String(key));
        if (!item.isString())
            return Fail(where, QStringLiteral("'%1' must be a string").arg(key));
        value = item.toString();
        return true;
    }

    bool Rect(const QJsonObject& object, const QString& where, QRect& value)
    {
        const QJsonArray numbers = object.value(QLatin1String("rect")).toArray();
        if (numbers.size() != 4)
            return Fail(where, QStringLiteral("'rect' must be [x, y, width, height]"));
        int v[4];
        for (int i = 0; i < 4; ++i) {
            if (!numbers[i].isDouble())
                return Fail(where, QStringLiteral("'rect' must be [x, y, width, height]"));
            v[i] = numbers[i].toInt();
        }
        value = QRect(v[0], v[1], v[2], v[3]);
        return true;
    }

    // A missing list means no bits.
    template <std::size_t N>
    bool Bits(const QJsonObject& object, const char* key, const NamedBits (&names)[N],
              const QString& where, std::uint32_t& value)
    {
        value = 0;
        const QJsonValue item = object.value(QLatin1String(key));
        if (item.isUndefined())
            return true;
        if (!item.isArray())
            return Fail(where, QStringLiteral("'%1' must be a list of names").arg(key));
        for (const QJsonValue& name : item.toArray()) {
            bool known = false;
            for (const NamedBits& entry : names) {
                if (name.toString() == QLatin1String(entry.name)) {
                    value |= entry.bits;
                    known = true;
                }
            }
            if (!known)
                return Fail(where, QStringLiteral("unknown %1 name '%2'").arg(key, name.toString()));
        }
        return true;
    }

    bool Kind(const QJsonObject& object, const QString& where, ControlKind& value)
    {
        QString name;
        if (!Text(object, "kind", where, name))
            return false;
        for (const auto& entry : kKindNames) {
            if (name == QLatin1String(entry.first)) {
                value = entry.second;
                return true;
            }
        }
        return Fail(where, QStringLiteral("unknown kind '%1'").arg(name));
    }

    bool Control(const QJsonObject& object, const QString& where, ControlTemplate& control)
    {
        if (!Int(object, "id", where, control.id) || !Kind(object, where, control.kind) ||
            !Rect(object, where, control.rect) ||
            !Bits(object, "style", kStyleNames, where, control.style) ||
            !Bits(object, "exStyle", kExStyleNames, where, control.exStyle))
            return false;
        control.symbol = object.value(QLatin1String("symbol")).toString();
        if (control.kind == ControlKind::Icon)
            return Int(object, "icon", where, control.icon);
        return Text(object, "text", where, control.text);
    }

    bool Dialog(const QJsonObject& object, const QString& where, DialogTemplate& dialog)
    {
        if (!Int(object, "id", where, dialog.id) || !Text(object, "symbol", where, dialog.symbol) ||
            !Rect(object, where, dialog.rect) ||
            !Bits(object, "style", kStyleNames, where, dialog.style) ||
            !Bits(object, "exStyle", kExStyleNames, where, dialog.exStyle) ||
            !Text(object, "caption", where, dialog.caption) ||
            !Int(object, "pointSize", where, dialog.pointSize))
            return false;
        dialog.extended = object.value(QLatin1String("extended")).toBool();
        const QJsonValue controls = object.value(QLatin1String("controls"));
        if (!controls.isArray())
            return Fail(where, QStringLiteral("'controls' must be a list"));
        for (const QJsonValue& item : controls.toArray()) {
            ControlTemplate control;
            const QString at = where + QStringLiteral(" control %1").arg(dialog.controls.size());
            if (!item.isObject())
                return Fail(at, QStringLiteral("must be an object"));
            if (!Control(item.toObject(), at, control))
                return false;
            dialog.controls.push_back(std::move(control));
        }
        return true;
    }

    // A table of numbered strings, such as "strings" and "icons".
    bool Numbered(const QJsonObject& root, const char* key, std::map<int, QString>& out)
    {
        const QJsonObject table = root.value(QLatin1String(key)).toObject();
        for (auto it = table.begin(); it != table.end(); ++it) {
            bool isNumber = false;
            const int id = it.key().toInt(&isNumber);
            if (!isNumber)
                return Fail(QLatin1String(key), QStringLiteral("id '%1' is not a number").arg(it.key()));
            if (!it.value().isString())
                return Fail(QLatin1String(key), QStringLiteral("%1 must be a string").arg(id));
            out[id] = it.value().toString();
        }
        return true;
    }
};

// MulDiv: value * numerator / denominator, rounded to the nearest integer,
// halves away from zero.
int ScaleRounded(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

} // namespace

bool ParseResources(const QByteArray& json, ResourceSet& out, QString& error)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    Reader reader;
    if (!document.isObject()) {
        error = QStringLiteral("not a JSON object: ") + parseError.errorString();
        return false;
    }
    const QJsonObject root = document.object();
    ResourceSet set;
    bool ok = reader.Numbered(root, "strings", set.strings) && reader.Numbered(root, "icons", set.icons);
    const QJsonValue dialogs = root.value(QLatin1String("dialogs"));
    if (ok && !dialogs.isArray())
        ok = reader.Fail(QStringLiteral("dialogs"), QStringLiteral("must be a list"));
    for (const QJsonValue& item : dialogs.toArray()) {
        if (!ok)
            break;
        DialogTemplate dialog;
        const QString where = QStringLiteral("dialog %1").arg(set.dialogs.size());
        ok = item.isObject() ? reader.Dialog(item.toObject(), where, dialog)
                             : reader.Fail(where, QStringLiteral("must be an object"));
        if (ok)
            set.dialogs[dialog.id] = std::move(dialog);
    }
    if (!ok) {
        error = reader.error;
        return false;
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
    const int left = ScaleRounded(units.x(), base.x, 4);
    const int top = ScaleRounded(units.y(), base.y, 8);
    const int right = ScaleRounded(units.x() + units.width(), base.x, 4);
    const int bottom = ScaleRounded(units.y() + units.height(), base.y, 8);
    return QRect(left, top, right - left, bottom - top);
}
