// The path helpers the file layer shares with the path calls programs make
// (program_support.h): the executable's file, and on
// Windows the conversions to and from UTF-16, full and extended paths, and
// a look at what a path names.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>

#include "file_io.h"
#endif

// The file the process runs, as the system names it; empty when it can't
// tell.
std::string ExecutableFile();

#ifdef _WIN32
// `text` in code page `codePage` as UTF-16; with MB_ERR_INVALID_CHARS in
// `flags` a byte sequence that isn't valid there fails the conversion.
bool Widen(UINT codePage, DWORD flags, const std::string& text, std::wstring& wide);

// UTF-16 in code page `codePage`, unknown characters as the system's
// default character and the rest by its best fit, as the ANSI calls show them.
std::string Narrow(UINT codePage, const std::wstring& wide);

// A full path as GetFullPathNameW or GetCurrentDirectoryW gives it, with the
// prefix that makes the file system take it as it is, however long.
std::wstring Extended(const std::wstring& full);

// The path without separators at its end, so that "\" and a name can follow.
std::wstring Joinable(std::wstring path);

// `path` made full by GetFullPathNameW. False with its error in `error`.
bool FullPath(const std::wstring& path, std::wstring& full, DWORD& error);

// The current directory as an extended path, ready for "\" and a name.
bool CurrentFolder(std::wstring& folder, FileError& error);

// Opens whatever `path` names for its attributes only, which never conflicts
// with another program's sharing mode: a reparse point itself rather than
// what it points at unless `followLinks`. Its facts go to `info` and `type`.
// INVALID_HANDLE_VALUE, with `error` set, when it can't be opened or its
// facts can't be read.
HANDLE OpenToLookAt(const std::wstring& path, bool followLinks, BY_HANDLE_FILE_INFORMATION& info, DWORD& type,
                    DWORD& error);

// The facts of whatever `path` names, as OpenToLookAt reads them.
bool LookAt(const std::wstring& path, bool followLinks, BY_HANDLE_FILE_INFORMATION& info, DWORD& type, DWORD& error);
#endif
