// The About box: program name, credit and icon, closed with OK or Escape.
#pragma once

#include "template_dialog.h"

class CAboutDlg : public CTemplateDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
