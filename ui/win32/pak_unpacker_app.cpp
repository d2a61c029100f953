// Start-up of the Tessup program on Windows: the application object's Run.
#include "pak_unpacker_app.h"

#include <windows.h>
#include <commctrl.h>

#include "program_support.h"

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
