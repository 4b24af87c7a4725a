// Writing the result table to a text file: the table file (a header line,
// then the cells of each row joined by tabs) and the list file (one full
// path per row). Rows 1 to FileCount() are written in table order, each
// line ended by CR LF, the cells' bytes exactly as the store holds them:
// no quoting, no escaping, no byte-order mark. A name holding a tab or a
// line break therefore splits its line, as it would in any plain list.
//
// A save never costs the user a file: the lines go through a buffer into a
// new file in the target's folder, which is flushed to the disk and renamed
// over the target only when every byte is written, keeping the replaced
// file's permission bits. A symbolic link as the target stays a link (the
// file it names is replaced so). A FIFO or a device is written directly; one
// that takes nothing for ten seconds fails the save.
// Every failure, creating the file included, throws EInOutError with the
// error code and text of the failed call; the target is then exactly as it
// was and no partial file is left behind.
//
// Reads the store only; any thread that owns the store may call it.
#pragma once

#include <string>
#include <string_view>

#include "results/RowStore.h"

namespace trawlix {

// The header line of the table file with its CR LF: "Verzeichnis", "Datei",
// "Datum" and "Größe in Byte" joined by tabs, in the character set of the
// current LC_CTYPE locale (one byte each for "ö" and "ß" under a Latin-1
// locale). A character set that cannot hold the letters gets UTF-8.
std::string TableHeaderLine();

// Writes the table file to path: the header line, then rows 1 to
// FileCount(). colCount is the grid's column count; exactly 5 adds the
// checksum field to every row line (the header keeps its four names).
void ExportTable(const TRowStore& store, int colCount, const std::string& path);
// Writes the list file to path: rows 1 to FileCount(), one full path each.
void ExportList(const TRowStore& store, const std::string& path);

}  // namespace trawlix
