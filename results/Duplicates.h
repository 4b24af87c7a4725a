// The duplicate scan of the result table, and the checksum it shows.
//
// The table must stand in size order (SortRows with TSortOrder::Size). The
// scan looks at every run of rows of equal size of at least 1000 bytes and
// finds, inside each run, the groups of files whose bytes are all equal. It
// reads each candidate file once, in step with the other candidates of its
// size, and drops a file from the comparison as soon as one block differs;
// only where a run holds more files than it may keep open at once does it
// first sort them by a hash of their first block (and, if need be, of their
// whole content) before it compares.
//
// What may pair, and why: a pair is offered for deletion, so only files that
// are byte for byte equal pair; two rows that are the same file (same device
// and inode: a path listed twice, hard links, a bind mount) never pair with
// each other; two rows that name one directory entry (the same folder, by
// device and inode, and the same name: a bind mount, a path listed twice)
// are one row; only regular files are read, never through a symbolic link
// anywhere on their path (a link, FIFO or device row never pairs and is
// never opened); a file whose device, inode, size or time of last write is
// no longer what the search listed is not paired, and neither is one that
// changed or was replaced while it was read (the path is checked again
// after the last byte).
//
// Inside a group of identical files the rows keep the size order's
// tie-breaks, and neighbours pair as in a list of copies: three copies A, B
// and C give the rows A, B, B, C. Neighbours that are one file do not pair;
// such a row is listed once all the same when its group holds another file
// (a hard link beside its copy), so every copy of the group is shown. The groups of one size follow each other
// in the order of their first rows. Each listed row shows the group's
// checksum in column 4.
//
// A candidate that is gone, cannot be opened or read, or changed since the
// search is passed over and counted; the scan goes on. Files below 1000
// bytes are never opened.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "results/RowStore.h"

namespace trawlix {

// Sizes below this take no part in the scan.
inline constexpr uint64_t kDuplicateMinSize = 1000;

// How far a running scan is, in bytes: Done of Total. Total is set before
// the first file is read: the bytes of every row in a run of equal size
// that can pair (each file counted once); Done grows with every block read
// and jumps over what a file no longer needs once it dropped out or its run
// is over, so it reaches Total when the scan ends.
struct TDuplicateProgress {
  uint64_t Done = 0;
  uint64_t Total = 0;
};

struct TDuplicateScanEvents {
  // A pair was found; row is the table row (size order) of its second file.
  // Return true to stop the scan.
  std::function<bool(int row)> OnPair;
  // Called while files are read, between blocks, once IdleEvery has passed
  // since the last call. Return true to stop.
  std::function<bool()> OnIdle;
  std::chrono::milliseconds IdleEvery{100};
  // Kept up to date while the scan runs, when given (read it in OnIdle).
  TDuplicateProgress* Progress = nullptr;
};

struct TDuplicateScanResult {
  int32_t Lines = 0;            // rows of the duplicate view (a file may count twice)
  bool Stopped = false;         // an event asked to stop; Lines counts the pairs so far
  uint64_t BytesRead = 0;       // bytes read from the candidates
  uint64_t CandidateBytes = 0;  // bytes of all candidate files
  int32_t PassedOver = 0;       // candidate rows gone, unreadable or changed
  // The group of each row of the duplicate view: Groups[row - 1]. The rows
  // of a group (files of identical content) stand together.
  std::vector<uint32_t> Groups;
  // The time of the last status change (ctime, in nanoseconds since 1970)
  // each row's entry had when the scan compared it: ChangeTimes[row - 1].
  // Every write sets it and nobody can set it back, so an entry that still
  // has it holds the bytes compared, whatever its time of last write says.
  std::vector<uint64_t> ChangeTimes;
};

// Scans rows 1 to FileCount() of a store in size order. The rows are
// rebuilt from the pairs found (also when stopped) and FileCount() is their
// number. Only a failure of the scan as a whole (out of memory) throws; the
// store then keeps its rows in size order.
TDuplicateScanResult FindDuplicates(TRowStore& store, const TDuplicateScanEvents& events);

// The checksum of a file: the exclusive-or of its little-endian 32-bit
// words (1 to 3 bytes at the end are not read), negated when negative;
// -2147483648 stays as it is. The file is opened as the scan opens it (no
// link followed, regular files only). Throws EInOutError when it cannot be
// opened or read or is no regular file.
int32_t FileChecksum(const std::string& path);

// The checksum's accumulator over whole words of data; a partial word at
// the end is left out.
uint32_t XorWords(const unsigned char* data, size_t length, uint32_t accumulator);
// The accumulator as the signed checksum.
int32_t ChecksumOf(uint32_t accumulator);

}  // namespace trawlix
