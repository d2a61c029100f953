// What every program on the archive library shares with it: the system's
// words for an error, outputs on an ending signal, paths as the system
// resolves them, and the command line.
#pragma once

#include <string>
#include <vector>

#include "system_path.h"

// The system's own words for an error code ("Permission denied", ...): errno
// on POSIX, GetLastError() on Windows.
std::string SystemErrorText(int code);

// For programs, first thing in main. A write beyond a file-size limit then
// fails with the system's reason instead of ending the process (SIGXFSZ is
// ignored), and a signal that ends the process (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU and the like: every one that
// comes from outside the program; on Windows a console control event)
// first removes every output being written at that moment, on any thread,
// a new file or the temporary beside a file it would replace, where it has
// a name yet (an output that is being created, closed or renamed finishes
// that step first, and no new one starts), before the process ends as the
// signal would have ended it.
// Only a signal's default action is taken over: one ignored or handled when
// the process started stays so.
void InstallOutputSignalHandlers();

// What ResolveFullPath made of a path.
enum class PathResolution {
    Resolved,          // the full path names the file the system opens by the path
    Refused,           // the system reaches no file by it
    NoCurrentFolder,   // relative, while the current directory has no path the
                       // system can tell (it was removed)
};

// `path` made absolute as the system resolves it, so that the full path and
// the path itself name the same file. On POSIX the folder part goes through
// realpath (symbolic links are followed before a ".." step leaves them, as
// every file call does) and the last step is kept as it is; a folder part
// that names no folder, and a last step that is empty, "." or "..", which no
// file is reached by, are refused. On Windows GetFullPathNameW takes "." and
// ".." steps out of the text, as every file call does. `full` is empty
// unless the path is resolved; an empty path is refused.
PathResolution ResolveFullPath(const SystemPath& path, SystemPath& full);

// The same full path alone; empty when `path` can't be resolved.
SystemPath FullPathOf(const SystemPath& path);

// The current directory; empty when the system can't tell it.
SystemPath CurrentFolder();

// The folder part of a full path ("/" for a file at the root, "C:\" at a
// drive's root) and its last component, the file name with its extension,
// as it is shown (on Windows as the ANSI calls show it). Windows splits in
// UTF-16, where no second byte of a double-byte character passes for a
// separator.
SystemPath FolderOf(const SystemPath& fullPath);
std::string FileNameOf(const SystemPath& fullPath);

// Makes `folder` the process's current directory, checking on Windows that
// it is that very folder, of any length. False when it can't be, with the
// system's reason in *why when `why` is given; the current directory is
// then the one before.
bool SetCurrentFolder(const SystemPath& folder, std::string* why = nullptr);

// Whether `path` names a folder, as an item dropped on the dialog is judged:
// on Windows also when its attributes can't be read; elsewhere only when the
// system says it is one (a name that has gone is left to the open to report).
bool IsFolderPath(const SystemPath& path);

// The executable's own file name without its folder and extension, from the
// file the process runs, whatever name it was started under. Found once.
const std::string& ApplicationName();

// The arguments after the program's name, and the archive a command line
// names for a program that takes no options: its only argument, or empty
// when there is none or more than one.
std::vector<SystemPath> CommandLineArguments(int argc, const char* const argv[]);
SystemPath CommandLinePath(int argc, const char* const argv[]);

#ifdef _WIN32
// The same from the UTF-16 command line, as Windows passes it; each
// argument as PathFromWide makes it.
std::vector<SystemPath> CommandLineArguments(int argc, const wchar_t* const argv[]);
SystemPath CommandLinePath(int argc, const wchar_t* const argv[]);

// A path the system hands over in UTF-16 (the command line, the file
// chooser): its ANSI bytes when the ANSI code page holds it exactly, else
// the exact path with its ANSI form, what the system's ANSI calls would
// have shown.
SystemPath PathFromWide(const std::wstring& path);

// The UTF-16 path that `path` stands for. False when it can't be converted
// or its text holds a NUL.
bool PathToWide(const SystemPath& path, std::wstring& wide);
#endif
