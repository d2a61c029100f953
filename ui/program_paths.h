// Paths as the dialog program sees them: the archive a user names, the folder
// that becomes current, the program's own name and its command line. Texts
// are the platform's single-byte file names; on Windows, the ANSI code
// page's, or for a path it can't hold the form PathFromWide gives, so that
// the path still names the file the user chose.
#pragma once

#include <string>

// `path` made absolute against the current directory, with "." and ".."
// steps and doubled separators taken out. Empty stays empty.
std::string FullPathOf(const std::string& path);

// The folder part of a full path ("/" for a file at the root) and its last
// component, the file name with its extension (on Windows as the ANSI calls
// show it).
std::string FolderOf(const std::string& fullPath);
std::string FileNameOf(const std::string& fullPath);

// Makes `folder` the process's current directory, checking that it is that
// very folder (on Windows, one of any length). False when it can't be; the
// current directory is then the one before.
bool SetCurrentFolder(const std::string& folder);

// The executable's own file name without its folder and extension, from the
// file the process runs, whatever name it was started under. Found once.
const std::string& ApplicationName();

// The archive the command line names: its only argument, or empty when there
// is no argument or more than one (the program takes no options).
std::string CommandLinePath(int argc, const char* const argv[]);
#ifdef _WIN32
// The same from the UTF-16 command line, as Windows passes it.
std::string CommandLinePath(int argc, const wchar_t* const argv[]);
#endif
