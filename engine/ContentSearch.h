// Content phrase search: whether a file contains a phrase, optionally
// ignoring letter case and optionally as a whole word.
//
// Three tables are shared by every search: IdentityTable (entry b is b),
// LowerCaseTable (the lower-case form of every byte in the locale's
// character set) and DelimiterSet (bytes that are neither letters nor
// digits). They are filled from the C library's LC_CTYPE locale once, either
// by InitContentTables at program start or on first use, and are read-only
// afterwards, so scans in several threads may share them.
//
// Under a UTF-8 locale, LowerCaseTable folds ASCII only; a case-insensitive
// scan then decodes the file's characters and compares them by Unicode
// simple case folding ("Ä" finds "ä", Greek and Cyrillic letters fold too),
// and whole words are decided on decoded characters with iswalnum. Under a
// single-byte locale everything works on bytes through the tables.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trawlix {

// The size of the blocks a scan reads, and of its buffer unless the phrase
// needs a longer one.
inline constexpr size_t kContentBlockSize = 61440;

// Fills the shared tables for the current LC_CTYPE locale once; later calls
// do nothing. Safe to call more than once and from any thread. The finder
// calls it when it is created; the tables are also filled on their first use.
void InitContentTables();

// Fills the tables again for the LC_CTYPE locale now in force (and the
// platform's lower-case table they are made from, see CaseFold.h), for a program
// that switches its locale after start (tests do). No scan and no phrase
// setter may run meanwhile, and criteria whose phrase was set before keep
// their lower-cased phrase.
void ReloadContentTables();

// The shared tables (filled on first use).
const uint8_t* IdentityTable();
const uint8_t* LowerCaseTable();
// True when byte b is in DelimiterSet. Under UTF-8 the bytes from 0x80 on
// are parts of characters and never delimiters; whole words are decided on
// decoded characters there.
bool IsDelimiter(uint8_t b);
// True when the tables were filled for a UTF-8 locale.
bool ContentTablesUtf8();

// The phrase as a case-insensitive scan compares it: Unicode simple case
// folding under UTF-8, LowerCaseTable byte by byte otherwise.
std::string LowerCasePhrase(std::string_view Phrase);

// The scan: true when the file holds Phrase (Length bytes, at least 1),
// compared through Table (IdentityTable or LowerCaseTable; with
// LowerCaseTable under UTF-8 by case folding of whole characters), and with
// WholeWord only where neither the character before nor the one after it is
// a letter or digit (the start and end of the file count as boundaries).
//
// Only regular files are read: the path is examined without following a
// symbolic link and opened with O_NOFOLLOW | O_NONBLOCK, so a link, a FIFO
// or a device file gives false and never blocks. Every failure (missing
// file, no permission, no memory) gives false; a read error counts as the
// end of the file. Sizes are 64-bit. The file is read strictly forward in
// blocks of kContentBlockSize bytes with the bytes of a partial match carried
// over into the next block.
//
// Abort, when given, is looked at before every block: once another thread
// (or a handler) sets it, the scan gives up and returns false, so stopping a
// search never waits for a huge or slow file to be read to its end.
bool ScanFileForPhrase(const std::string& FileName, const char* Phrase, size_t Length,
                       bool WholeWord, const uint8_t* Table,
                       const std::atomic<bool>* Abort = nullptr) noexcept;

}  // namespace trawlix
