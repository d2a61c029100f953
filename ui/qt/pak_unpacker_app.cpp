// Start-up of the Tessup program on Qt: the application object's Run.
#include "pak_unpacker_app.h"

#include <QApplication>

#include "program_support.h"

int CPakUnpackerApp::Run(int argc, char* argv[])
{
    m_strOpenPath = CommandLinePath(argc, argv);
    // Qt sees the program's name only: "-style", "-reverse" and the rest of
    // its options would otherwise take effect.
    static char fallbackName[] = "Tessup";
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    QApplication application(qtArgc, qtArgv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PAK_VERSION));
    InitInstance();
    return 0;
}
