// Tessup: the platform hands control to the application object.
#include "pak_unpacker_app.h"
#include "program_support.h"

int main(int argc, char* argv[])
{
    InstallOutputSignalHandlers();
    return theApp.Run(argc, argv);
}
