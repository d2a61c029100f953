// CResourceDialog: a QDialog built from one of the program's dialog templates.
#pragma once

#include <QDialog>
#include <QString>

#include <map>
#include <vector>

#include "dialog_resources.h"

// Takes its caption, size, font and controls from the template: controls are
// created in template order, which is also their tab order, at their template
// positions converted from dialog units. Only controls with the tab-stop
// style take the keyboard focus, which starts on the first of them. Enter
// presses the focused button; Escape and the close box reject the dialog.
class CResourceDialog : public QDialog {
    Q_OBJECT
public:
    // The control with this id; null when the template has none.
    QWidget* GetDlgItem(int id) const;

    DialogBaseUnits BaseUnits() const { return m_units; }

protected:
    CResourceDialog(int templateId, QWidget* parent);

    // A button was pressed: OK accepts the dialog, Cancel rejects it.
    virtual void OnCommand(int id);

    // Shows `value` in the static text `id`.
    void DDX_Text(int id, const QString& value);

private:
    // The widget of `control`'s kind with its text and look, not yet placed.
    QWidget* NewControl(const ControlTemplate& control);
    // Puts `widget` where `control` says, with its focus policy, name and id.
    void PlaceControl(QWidget* widget, const ControlTemplate& control);
    // The keyboard and stacking rules once every control exists, `widgets`
    // being the dialog's controls in template order: group boxes below the
    // rest, the default button, the focus on the first tab stop.
    void ArrangeControls(const DialogTemplate& dialog, const std::vector<QWidget*>& widgets);

    DialogBaseUnits m_units;
    std::map<int, QWidget*> m_items;
};
