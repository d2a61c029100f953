// Dialog templates, strings and icons that live as data in res/dialogs.json,
// built into the program, and the conversion of template coordinates (dialog
// units) to pixels.
#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>

#include <cstdint>
#include <map>
#include <vector>

#include "dialog_units.h"

// Style bits the templates name, with their Windows values (the same as
// ui/dialog_resources.cmake gives them), so that a template reads like the
// resource it describes (the main dialog is 0x90C800C0).
constexpr std::uint32_t WS_POPUP = 0x80000000;
constexpr std::uint32_t WS_VISIBLE = 0x10000000;
constexpr std::uint32_t WS_CAPTION = 0x00C00000;
constexpr std::uint32_t WS_BORDER = 0x00800000;
constexpr std::uint32_t WS_SYSMENU = 0x00080000;
constexpr std::uint32_t WS_GROUP = 0x00020000;
constexpr std::uint32_t WS_TABSTOP = 0x00010000;
constexpr std::uint32_t DS_MODALFRAME = 0x80;
constexpr std::uint32_t DS_SETFONT = 0x40;
constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x1;
constexpr std::uint32_t SS_LEFT = 0x0;
constexpr std::uint32_t SS_CENTER = 0x1;
constexpr std::uint32_t SS_RIGHT = 0x2;
constexpr std::uint32_t SS_ICON = 0x3;
constexpr std::uint32_t SS_TYPEMASK = 0x1F;
constexpr std::uint32_t SS_NOPREFIX = 0x80;
constexpr std::uint32_t SS_CENTERIMAGE = 0x200;
constexpr std::uint32_t WS_EX_CLIENTEDGE = 0x200;
constexpr std::uint32_t WS_EX_APPWINDOW = 0x40000;

enum class ControlKind { PushButton, Static, GroupBox, Progress, Icon };

struct ControlTemplate {
    int id = -1;             // -1: the program never addresses the control
    QString symbol;          // "IDC_STATUS"; empty when the control has no id
    ControlKind kind = ControlKind::Static;
    QString text;
    int icon = 0;            // icon resource shown by an icon control
    QRect rect;              // dialog units
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
};

struct DialogTemplate {
    int id = 0;
    QString symbol;
    QRect rect;              // dialog units; the size is the client area's
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    QString caption;
    int pointSize = 8;
    std::vector<ControlTemplate> controls;   // creation and tab order
};

struct ResourceSet {
    std::map<int, QString> strings;
    std::map<int, QString> icons;            // file names beside the templates
    std::map<int, DialogTemplate> dialogs;
};

// The templates, strings and icon names of res/dialogs.json, as its one
// reader (ui/dialog_resources.cmake) writes them into the build.
ResourceSet BuiltInResources();

// BuiltInResources(), made once.
const ResourceSet& ProgramResources();

// The template `id`; stops the program when there is none.
const DialogTemplate& LoadDialogTemplate(int id);
// String `id`, or an empty string when there is none.
QString LoadString(int id);
// Icon `id` with every image its file holds; a null icon when there is none.
QIcon LoadIcon(int id);

// The font dialogs are laid out in: the platform's sans-serif UI font.
QFont DialogFont(int pointSize);

// What dialog units are worth in `font`, as the Windows dialog manager
// measures a dialog font.
DialogBaseUnits BaseUnitsOf(const QFont& font);

// Converts a rectangle from dialog units to pixels with DialogUnitsToPixels.
QRect MapDialogRect(const QRect& units, DialogBaseUnits base);
