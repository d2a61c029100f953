// Start-up of the Tessup program.
#include "pak_unpacker_app.h"

#include <QApplication>

#include "pak_archive.h"
#include "qt_pak_unpacker_dlg.h"

CPakUnpackerApp theApp;

int CPakUnpackerApp::Run(int argc, char* argv[])
{
    m_strOpenPath = CommandLinePath(argc, argv);
    // Qt sees the program's name only: "-style", "-reverse" and the rest of
    // its options would otherwise take effect.
    static char fallbackName[] = "Tessup";
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    QApplication application(qtArgc, qtArgv);
    InitInstance();
    return 0;
}

bool CPakUnpackerApp::InitInstance()
{
    QCoreApplication::setApplicationVersion(QStringLiteral(PAK_VERSION));
    CQtPakUnpackerDlg dlg;
    if (!m_strOpenPath.empty())
        dlg.PostOpenPath(m_strOpenPath);
    dlg.exec();
    return false;
}
