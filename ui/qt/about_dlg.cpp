// The About box is its template; all it adds is the program's window icon.
#include "about_dlg.h"

#include "resource.h"

CAboutDlg::CAboutDlg(QWidget* parent) : CResourceDialog(IDD_ABOUTBOX, parent)
{
    setWindowIcon(LoadIcon(IDR_MAINFRAME));
}
