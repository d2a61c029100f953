// Start-up of the Tessup program on Windows.
#include "pak_unpacker_app.h"

#include <windows.h>
#include <commctrl.h>

#include "pak_archive.h"
#include "win32_pak_unpacker_dlg.h"

CPakUnpackerApp theApp;

int CPakUnpackerApp::Run(int argc, wchar_t* argv[])
{
    m_strOpenPath = CommandLinePath(argc, argv);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
    InitInstance();
    return 0;
}

bool CPakUnpackerApp::InitInstance()
{
    CWin32PakUnpackerDlg dlg;
    dlg.OpenWhenShown(m_strOpenPath);
    dlg.DoModal();
    return false;
}
