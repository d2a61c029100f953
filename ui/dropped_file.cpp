// The drop rule: the first item, and never a folder.
#include "dropped_file.h"

#include "pak_archive.h"

std::string ArchiveFromDrop(const std::vector<std::string>& dropped)
{
    if (dropped.empty() || dropped.front().empty() || IsFolderPath(dropped.front()))
        return std::string();
    return dropped.front();
}
