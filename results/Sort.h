// The five orders of the result table. Every order is ascending and moves
// whole rows; ties of the order's first field are broken by the fields that
// follow it:
//
//   folder     folder, name, date text, size text
//   name       name, date text, size text, folder
//   extension  extension, name, date text, size text, folder
//   date       time of the last write, size text, folder, name
//   size       size, folder, name, date text
//
// Folders, names and extensions compare by the collator (letter case
// ignored); date and size texts that break ties compare as the texts the
// grid shows, so in the date order a size of 100 comes before one of 99.
// The date order puts rows without a valid date (the fallback text, blank
// rows) before every dated row, and the size order compares sizes as
// numbers, 100 GB after 99 GB. Rows that are equal in every field keep
// their order. A blank row takes part with empty cells; the size order ranks
// it as the size 0 and leaves it blank.
//
// Only rows 1 to FileCount() move; nothing else of the store changes.
#pragma once

#include <string_view>

#include "results/Collation.h"
#include "results/RowStore.h"

namespace trawlix {

enum class TSortOrder { Folder, Name, Extension, Date, Size };

void SortRows(TRowStore& store, TSortOrder order, const TCollator& collator = TCollator::User());

// The extension of a name as the extension order reads it: from its last
// "." to its end, the "." included; empty when the name has no ".".
std::string_view ExtensionKey(std::string_view name);

}  // namespace trawlix
