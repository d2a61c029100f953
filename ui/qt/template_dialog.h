// A QDialog built from one of the program's dialog templates.
#pragma once

#include <QDialog>
#include <QString>

#include <map>

#include "dialog_template.h"

// Takes its caption, size, font and controls from the template: controls are
// created in template order, which is also their tab order, at their template
// positions converted from dialog units. Only controls with the tab-stop
// style take the keyboard focus, which starts on the first of them. Enter
// presses the focused button; Escape and the close box reject the dialog.
class CTemplateDialog : public QDialog {
    Q_OBJECT
public:
    // The control with this id; null when the template has none.
    QWidget* GetDlgItem(int id) const;

    DialogBaseUnits BaseUnits() const { return m_units; }

protected:
    CTemplateDialog(int templateId, QWidget* parent);

    // A button was pressed: OK accepts the dialog, Cancel rejects it.
    virtual void OnCommand(int id);

    // Shows `value` in the static text `id`.
    void DDX_Text(int id, const QString& value);

private:
    void CreateControls(const DialogTemplate& dialog);

    DialogBaseUnits m_units;
    std::map<int, QWidget*> m_items;
};
