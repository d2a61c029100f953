// The About box: program name, credit and icon, closed with OK or Escape.
#pragma once

#include "resource_dialog.h"

class CAboutDlg : public CResourceDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
