// Start-up of the Tessup program, the same on every platform.
#include "pak_unpacker_app.h"

#include <memory>

#include "pak_unpacker_dlg.h"

CPakUnpackerApp theApp;

bool CPakUnpackerApp::InitInstance()
{
    const std::unique_ptr<CPakUnpackerDlg> dlg = NewMainDialog();
    dlg->OpenWhenShown(m_strOpenPath);
    dlg->DoModal();
    return false;
}
