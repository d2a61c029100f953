// What the archive writer asks of the file system: a folder's items as they
// are, symbolic links never followed, and the files it copies from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_io.h"
#include "system_path.h"

// What a folder's item is, as the item itself says (a symbolic link is a
// link, whatever it points at).
enum class ItemKind {
    File,     // a regular file
    Folder,
    Link,     // a symbolic link; on Windows any reparse point
    Other,    // a FIFO, device or socket
};

struct FolderItem {
    // Its name as the system gives it: bytes, on Windows in the ANSI code
    // page, with the exact UTF-16 name beside when that can't hold it.
    SystemPath name;
    // The folder's path, a separator and the name: the item by that path.
    SystemPath path;
    ItemKind kind = ItemKind::Other;
    std::uint64_t size = 0;   // a file's length
    FileIdentity identity;    // a file's, where the system tells it
    // On Windows false when the ANSI code page can't hold the name, which
    // then shows as the code page's look-alike.
    bool nameInCodePage = true;
    // On Windows: '_' and a device name ("_nul.txt"), what extraction makes
    // of a device name, whose own name can't be told from it.
    bool madeOfDeviceName = false;
};

// Every item in `folder` but "." and "..", in the system's order. A folder
// that is a symbolic link is listed only when `followLink` (the folder the
// user names). False, with `error` set, when the folder can't be opened or
// read or is no folder (the system's own error for that: ENOTDIR,
// ERROR_DIRECTORY), or is a link that isn't followed (FileProblem::Link).
bool ListFolder(const SystemPath& folder, bool followLink, std::vector<FolderItem>& items, FileError& error);

// The identity of the regular file `path` names, links followed. False when
// it names none (nothing, or not a regular file).
bool IdentityOfFile(const SystemPath& path, FileIdentity& identity);

// Opens the regular file `path` (links followed) for reading by position,
// and tells which file it is and its length now. Not open, with `error` set,
// when it can't be opened or isn't a regular file (Folder, NotRegular).
InputFile OpenInput(const SystemPath& path, FileIdentity& identity, std::uint64_t& length, FileError& error);
