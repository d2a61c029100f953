// The path helpers the file layer shares with the path calls programs make
// (declared at the end of pak_archive.h): the executable's file, and on
// Windows the conversions to and from UTF-16 and full and extended paths.
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
#endif
