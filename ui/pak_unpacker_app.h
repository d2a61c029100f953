// The application object: start-up runs the main dialog and then lets the
// program end.
#pragma once

#include "system_path.h"

// The single application object, `theApp`. It has no name of its own, so the
// application's name is the executable's file name (it captions the
// "Out of memory." box). Nothing is read from settings (or, on Windows, the
// registry), and the command line can only name an archive to open.
class CPakUnpackerApp {
public:
    // The front end's part (ui/qt, ui/win32): takes the archive from the
    // command line, sets up the window system for this process, then
    // InitInstance. Returns the process's exit code.
    //
    // Qt is set up without being handed the command line (the program takes
    // no options, Qt's own included) and knows the project's version. On
    // Windows the command line comes in UTF-16, and the common controls'
    // classes (the progress bar) are made known.
#ifdef _WIN32
    int Run(int argc, wchar_t* argv[]);
#else
    int Run(int argc, char* argv[]);
#endif

    // Runs the main dialog modally with no parent, opening m_strOpenPath in
    // it first when that is not empty, and returns false: there is no
    // message loop after it, so closing the dialog ends the program. The
    // help command (F1) opens nothing: no help file ships.
    bool InitInstance();

    // The archive the command line names; empty when it names none.
    SystemPath m_strOpenPath;
};

extern CPakUnpackerApp theApp;
