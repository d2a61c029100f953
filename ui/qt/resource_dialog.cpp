// Building dialogs from their templates.
#include "resource_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "qt_progress_bar.h"
#include "resource.h"

namespace {

constexpr int kIconPixels = 32;   // an icon control shows the large icon

Qt::Alignment StaticAlignment(std::uint32_t style)
{
    Qt::Alignment alignment = Qt::AlignLeft;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER:
        alignment = Qt::AlignHCenter;
        break;
    case SS_RIGHT:
        alignment = Qt::AlignRight;
        break;
    default:
        break;
    }
    return alignment | ((style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop);
}

Qt::WindowFlags FlagsFor(std::uint32_t style)
{
    // No minimise or maximise box: the templates ask for a caption and a
    // window menu only.
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if ((style & WS_CAPTION) == WS_CAPTION)
        flags |= Qt::WindowTitleHint;
    if (style & WS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return flags;
}

} // namespace

CResourceDialog::CResourceDialog(int templateId, QWidget* parent) : QDialog(parent)
{
    const DialogTemplate& dialog = LoadDialogTemplate(templateId);
    setWindowFlags(FlagsFor(dialog.style));
    setWindowTitle(dialog.caption);
    setFont(DialogFont(dialog.pointSize));
    m_units = BaseUnitsOf(font());
    setFixedSize(MapDialogRect(dialog.rect, m_units).size());
    std::vector<QWidget*> widgets;
    for (const ControlTemplate& control : dialog.controls) {
        widgets.push_back(NewControl(control));
        PlaceControl(widgets.back(), control);
    }
    ArrangeControls(dialog, widgets);
}

QWidget* CResourceDialog::NewControl(const ControlTemplate& control)
{
    switch (control.kind) {
    case ControlKind::PushButton: {
        auto* button = new QPushButton(control.text, this);
        button->setAutoDefault(true);   // Enter presses the focused button
        const int id = control.id;
        connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        return button;
    }
    case ControlKind::Static: {
        auto* label = new QLabel(control.text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(StaticAlignment(control.style));
        label->setWordWrap(true);
        if (control.exStyle & WS_EX_CLIENTEDGE)
            label->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
        return label;
    }
    case ControlKind::GroupBox:
        return new QGroupBox(control.text, this);
    case ControlKind::Progress:
        return new CQtProgressBar(this);
    case ControlKind::Icon: {
        auto* label = new QLabel(this);
        label->setPixmap(LoadIcon(control.icon).pixmap(kIconPixels, kIconPixels));
        return label;
    }
    }
    return new QWidget(this);   // not reached: the parser knows no other kind
}

void CResourceDialog::PlaceControl(QWidget* widget, const ControlTemplate& control)
{
    // An icon control takes the size of its icon, whatever the template says.
    const QRect pixels = MapDialogRect(control.rect, m_units);
    widget->setGeometry(control.kind == ControlKind::Icon ? QRect(pixels.topLeft(), QSize(kIconPixels, kIconPixels))
                                                          : pixels);
    if (control.kind == ControlKind::PushButton)
        widget->setFocusPolicy((control.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
    else
        widget->setFocusPolicy(Qt::NoFocus);
    if (!control.symbol.isEmpty())
        widget->setObjectName(control.symbol);
    if (control.id != -1)
        m_items[control.id] = widget;
}

void CResourceDialog::ArrangeControls(const DialogTemplate& dialog, const std::vector<QWidget*>& widgets)
{
    QWidget* firstTabStop = nullptr;
    QPushButton* defaultButton = nullptr;
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        const ControlTemplate& control = dialog.controls[i];
        QWidget* widget = widgets[i];
        if (!firstTabStop && (control.style & WS_TABSTOP))
            firstTabStop = widget;
        if (!defaultButton && control.kind == ControlKind::PushButton && (control.style & BS_DEFPUSHBUTTON))
            defaultButton = qobject_cast<QPushButton*>(widget);
    }
    // A group box only frames the controls around it: keep it below them.
    for (QGroupBox* box : findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly))
        box->lower();
    if (defaultButton)
        defaultButton->setDefault(true);
    if (firstTabStop)
        firstTabStop->setFocus();
}

QWidget* CResourceDialog::GetDlgItem(int id) const
{
    const auto found = m_items.find(id);
    return found == m_items.end() ? nullptr : found->second;
}

void CResourceDialog::OnCommand(int id)
{
    if (id == IDOK)
        accept();
    else if (id == IDCANCEL)
        reject();
}

void CResourceDialog::DDX_Text(int id, const QString& value)
{
    if (auto* label = qobject_cast<QLabel*>(GetDlgItem(id)))
        label->setText(value);
}
