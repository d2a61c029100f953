// res/dialogs.json read on its own with Qt's JSON classes: what the resource
// tests hold the build's one reader (ui/dialog_resources.cmake) and both of
// its outputs against. Names it doesn't know read as no bits.
#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <utility>

#include "dialog_resources.h"

namespace json_resources {

inline std::uint32_t Bits(const QJsonValue& names)
{
    static const std::pair<const char*, std::uint32_t> kNames[] = {
        {"WS_POPUP", WS_POPUP},       {"WS_VISIBLE", WS_VISIBLE},         {"WS_CAPTION", WS_CAPTION},
        {"WS_BORDER", WS_BORDER},     {"WS_SYSMENU", WS_SYSMENU},         {"WS_GROUP", WS_GROUP},
        {"WS_TABSTOP", WS_TABSTOP},   {"DS_MODALFRAME", DS_MODALFRAME},   {"DS_SETFONT", DS_SETFONT},
        {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON}, {"SS_LEFT", SS_LEFT},    {"SS_CENTER", SS_CENTER},
        {"SS_RIGHT", SS_RIGHT},       {"SS_ICON", SS_ICON},               {"SS_NOPREFIX", SS_NOPREFIX},
        {"SS_CENTERIMAGE", SS_CENTERIMAGE}, {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
        {"WS_EX_APPWINDOW", WS_EX_APPWINDOW},
    };
    std::uint32_t bits = 0;
    for (const QJsonValue& name : names.toArray())
        for (const auto& [known, value] : kNames)
            if (name.toString() == QLatin1String(known))
                bits |= value;
    return bits;
}

inline ControlKind Kind(const QJsonValue& name)
{
    static const std::pair<const char*, ControlKind> kKinds[] = {
        {"pushbutton", ControlKind::PushButton}, {"static", ControlKind::Static},
        {"groupbox", ControlKind::GroupBox},     {"progress", ControlKind::Progress},
        {"icon", ControlKind::Icon},
    };
    for (const auto& [known, kind] : kKinds)
        if (name.toString() == QLatin1String(known))
            return kind;
    return ControlKind::Static;
}

inline QRect Rect(const QJsonValue& value)
{
    const QJsonArray v = value.toArray();
    return QRect(v.at(0).toInt(), v.at(1).toInt(), v.at(2).toInt(), v.at(3).toInt());
}

inline std::map<int, QString> Numbered(const QJsonValue& table)
{
    std::map<int, QString> out;
    const QJsonObject object = table.toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        out[it.key().toInt()] = it.value().toString();
    return out;
}

} // namespace json_resources

// The resources that the JSON text `json` describes.
inline ResourceSet ReadJsonResources(const QByteArray& json)
{
    using namespace json_resources;
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    ResourceSet set;
    set.strings = Numbered(root.value(QLatin1String("strings")));
    set.icons = Numbered(root.value(QLatin1String("icons")));
    for (const QJsonValue& item : root.value(QLatin1String("dialogs")).toArray()) {
        const QJsonObject object = item.toObject();
        DialogTemplate dialog;
        dialog.id = object.value(QLatin1String("id")).toInt();
        dialog.symbol = object.value(QLatin1String("symbol")).toString();
        dialog.rect = Rect(object.value(QLatin1String("rect")));
        dialog.style = Bits(object.value(QLatin1String("style")));
        dialog.exStyle = Bits(object.value(QLatin1String("exStyle")));
        dialog.caption = object.value(QLatin1String("caption")).toString();
        dialog.pointSize = object.value(QLatin1String("pointSize")).toInt(8);
        for (const QJsonValue& entry : object.value(QLatin1String("controls")).toArray()) {
            const QJsonObject c = entry.toObject();
            ControlTemplate control;
            control.id = c.value(QLatin1String("id")).toInt(-1);
            control.symbol = c.value(QLatin1String("symbol")).toString();
            control.kind = Kind(c.value(QLatin1String("kind")));
            control.text = c.value(QLatin1String("text")).toString();
            control.icon = c.value(QLatin1String("icon")).toInt();
            control.rect = Rect(c.value(QLatin1String("rect")));
            control.style = Bits(c.value(QLatin1String("style")));
            control.exStyle = Bits(c.value(QLatin1String("exStyle")));
            dialog.controls.push_back(control);
        }
        set.dialogs[dialog.id] = dialog;
    }
    return set;
}

// res/dialogs.json itself, read as above.
inline ResourceSet JsonResources()
{
    QFile source(PAK_RES_DIR "/dialogs.json");
    return source.open(QIODevice::ReadOnly) ? ReadJsonResources(source.readAll()) : ResourceSet();
}
