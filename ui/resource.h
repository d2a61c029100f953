// Identifiers of the program's dialog templates, controls, strings and icon.
// res/dialogs.json uses the same numbers.
#pragma once

#ifdef _WIN32
// The system headers come first: they name an obsolete cursor IDC_SIZE (the
// one IDC_SIZEALL names today), and here that name is the size field's.
#include <windows.h>
#undef IDC_SIZE
#endif

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;            // "&About Tessup..."
constexpr int IDD_PAKUNPACKER_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;           // the program's icon: 32 x 32 and 16 x 16

// Commands every dialog understands (<windows.h> has them as macros).
#ifndef IDOK
constexpr int IDOK = 1;
#endif
#ifndef IDCANCEL
constexpr int IDCANCEL = 2;
#endif

// Controls of the main dialog.
constexpr int IDC_EXTRACT_ALL = 3;           // "Extract All" carries command id 3
constexpr int IDC_OPEN_PAK = 1000;
constexpr int IDC_STATUS = 1001;
constexpr int IDC_PAK_NAME = 1002;
constexpr int IDC_NUM_FILES = 1003;
constexpr int IDC_SIZE = 1004;
constexpr int IDC_PROGRESS = 1005;

// Window-menu command that opens the About box; ids 0x10..0x1F all do.
constexpr unsigned int IDM_ABOUTBOX = 0x0010;
