// Work files: the queues (".inf") and result lists (".inp") in which threads
// hand each other records bigger than a flag word. Every step opens the file
// exclusively, does one short thing and closes it, so the exclusive open is
// the lock between producer and consumer. Any thread may call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/file_primitives.h"

namespace qg {

// Appends record at the end of the file at path, creating the file when
// missing; waits while another thread holds the file. True when every byte
// was written; false when the file cannot be opened (a directory, a missing
// folder) or the write failed.
bool queueAppend(const std::string& path, std::span<const std::uint8_t> record);

enum class QueueTake {
  Taken,    // record holds the head record, which is removed from the file
  Empty,    // no file, or a file of length 0
  Damaged,  // the file ended inside the head record: it has been cut to length 0
};

// Takes the head record of record.size() bytes from the queue at path: reads
// it into record and removes it, moving the records behind it to the start.
// A missing file is an empty queue (Empty, and no file is created).
QueueTake queueTakeHead(const std::string& path, std::span<std::uint8_t> record);
// The same on a queue file the caller holds open (for example while it acts
// on the record); seek before using the file again.
QueueTake queueTakeHead(FileHandle& file, std::span<std::uint8_t> record);

// Removes the first count bytes of an open file by moving the rest to the
// start and cutting the file. For queues whose records the caller parses
// itself. A count beyond the end empties the file. False on an I/O failure,
// in which case the file has been cut to length 0 rather than left half moved.
bool queueDropHead(FileHandle& file, std::int64_t count);

// Searches the result list at path, read as records of recordSize bytes, for
// the first record that match accepts; copies it into found. True when one
// was found; false for no match, a missing file or recordSize 0. A short
// record at the end is ignored.
bool resultsFind(const std::string& path, std::size_t recordSize,
                 const std::function<bool(std::span<const std::uint8_t>)>& match,
                 std::vector<std::uint8_t>& found);

}  // namespace qg
