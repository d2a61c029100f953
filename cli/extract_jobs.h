// Extracting the chosen entries on several threads, every result handed on
// in table order.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "pak_archive.h"

// Called on the calling thread for each extracted entry, in table order.
using EntryDone = std::function<void(std::uint32_t index, const ExtractFailure& failure)>;

// Extracts the entries `selected` (table indices in table order) on up to
// `jobs` threads: the archive's ExtractionGroups, each group on one thread in
// table order. With one job, or one group, or where no thread can be
// started, every entry is extracted on this thread in table order. `done`
// gets each entry's result on this thread in table order, as soon as the
// entry and every one before it are done. Throws std::bad_alloc when a
// thread ran out of memory, once every thread has stopped.
void ExtractSelected(const PakArchive& archive, const std::vector<std::uint32_t>& selected, unsigned jobs,
                     const EntryDone& done);
