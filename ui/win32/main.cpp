// Tessup: the platform hands control to the application object.
#include "pak_unpacker_app.h"

// wmain: the command line as Windows holds it, in UTF-16 (linked with -municode).
int wmain(int argc, wchar_t* argv[])
{
    return theApp.Run(argc, argv);
}
