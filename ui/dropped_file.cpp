// The drop rule: the first item, and never a folder.
#include "dropped_file.h"

#include "program_support.h"

SystemPath ArchiveFromDrop(const std::vector<SystemPath>& dropped)
{
    if (dropped.empty() || dropped.front().empty() || IsFolderPath(dropped.front()))
        return SystemPath();
    return dropped.front();
}
