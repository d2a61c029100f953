// Opening an archive and loading its table, as the programs do, for the
// benchmark programs that time what follows.
#pragma once

#include <cstdio>

#include "pak_archive.h"

// Opens `path` into `archive` and loads its table; false, with the reason on
// stderr, when it can't be opened.
inline bool OpenAndLoad(PakArchive& archive, const char* path, ProgressBar& progress)
{
    archive.m_path = path;
    if (archive.OpenArchive() == 0) {
        std::fputs(archive.m_errorText.c_str(), stderr);
        return false;
    }
    archive.AllocateTable();
    archive.LoadTable(progress);
    return true;
}
