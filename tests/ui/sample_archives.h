// The archives the dialog suites open, on every platform.
#pragma once

#include <string>

#include "pak_builder.h"

// Two entries from D = 200 on, S = 209: "hello" as a.txt, then "maps" as maps/b.dat.
inline std::string TwoEntries()
{
    return PakBuilder()
        .Header(/*numFiles=*/2, /*dataStart=*/200, /*size=*/209)
        .TableRecord(0, 5).TableRecord(5, 4)
        .Dir("maps").File("a.txt").File("b.dat")
        .DataAt(200, "hello").DataAt(205, "maps")
        .Bytes();
}
