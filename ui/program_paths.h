// Paths as the dialog program sees them: the archive a user names, the folder
// that becomes current, the program's own name and its command line. Texts
// are the platform's single-byte file names, never converted.
#pragma once

#include <string>

// `path` made absolute against the current directory, with "." and ".."
// steps and doubled separators taken out. Empty stays empty.
std::string FullPathOf(const std::string& path);

// The folder part of a full path ("/" for a file at the root) and its last
// component, the file name with its extension.
std::string FolderOf(const std::string& fullPath);
std::string FileNameOf(const std::string& fullPath);

// Makes `folder` the process's current directory. False when it can't be.
bool SetCurrentFolder(const std::string& folder);

// The executable's own file name without its folder and extension, from the
// file the process runs, whatever name it was started under. Found once.
const std::string& ApplicationName();

// The archive the command line names: its only argument, or empty when there
// is no argument or more than one (the program takes no options).
std::string CommandLinePath(int argc, const char* const argv[]);
