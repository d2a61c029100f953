// The application object: start-up runs the main dialog and then lets the
// program end.
#pragma once

// The single application object, `theApp`. It has no name of its own, so the
// application's name is the executable's file name (it captions the
// "Out of memory." box). Nothing is read from the command line or from
// settings.
class CPakUnpackerApp {
public:
    // The platform's part: sets up Qt for this process without handing it the
    // command line (the program takes no options, Qt's own included), then
    // InitInstance. Returns the process's exit code.
    int Run(int argc, char* argv[]);

    // Sets the application version from the project's, runs the main dialog
    // modally with no parent and returns false: there is no message loop
    // after it, so closing the dialog ends the program.
    bool InitInstance();
};

extern CPakUnpackerApp theApp;
