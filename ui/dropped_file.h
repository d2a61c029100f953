// Which of the files dropped on the dialog it opens, the same on every
// front end.
#pragma once

#include <vector>

#include "system_path.h"

// Of the items dropped, in the order the drop lists them, the first, when it
// names a file that is not a folder; empty when the drop is not taken. An
// item that names no local file (a web address, a name the system couldn't
// hand over) comes in as an empty path. On Windows an item whose
// attributes can't be read is not taken either; elsewhere only a folder is
// refused, and a name that has gone meanwhile is left to the open to report.
SystemPath ArchiveFromDrop(const std::vector<SystemPath>& dropped);
