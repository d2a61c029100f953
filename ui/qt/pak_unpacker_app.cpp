// Start-up of the Tessup program.
#include "pak_unpacker_app.h"

#include <QApplication>

#include "pak_unpacker_dlg.h"

CPakUnpackerApp theApp;

int CPakUnpackerApp::Run(int argc, char* argv[])
{
    QApplication application(argc, argv);
    InitInstance();
    return 0;
}

bool CPakUnpackerApp::InitInstance()
{
    QCoreApplication::setApplicationVersion(QStringLiteral(PAK_VERSION));
    CPakUnpackerDlg dlg;
    dlg.exec();
    return false;
}
