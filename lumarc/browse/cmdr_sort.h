// Call records put into listing order by user port outside the database:
// a grouped listing reads its selection once in time order, hands every row
// here and takes them back ordered by (port, tdate, sqno), so that no row
// costs a look-up in the port index. The records are held in a compact
// form in one buffer; past its size they go to a temporary file in sorted
// runs that are merged on the way out, so memory stays the buffer and a
// small entry per record of the buffer, however many records there are.
#pragma once

#include "lumarc/records/records.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumarc::browse {

class CmdrSort {
 public:
  // bufferBytes: the records held in memory at once; dir: the temporary
  // file's folder (empty: the system's).
  explicit CmdrSort(size_t bufferBytes = size_t{16} << 20, std::string dir = {});
  ~CmdrSort();
  CmdrSort(const CmdrSort&) = delete;
  CmdrSort& operator=(const CmdrSort&) = delete;

  // Adds a record; false (error() set) when the temporary file fails.
  bool add(const CmdrRecord& r);
  // The distinct ports added, numbered in the order they first came.
  const std::vector<std::string>& ports() const { return ports_; }
  size_t size() const { return count_; }

  // Ends the adding: rank[i] is the place of ports()[i] in the listing's
  // port order. False (error() set) when the temporary file fails.
  bool sort(const std::vector<uint32_t>& rank);
  // The next record in (port rank, tdate, sqno) order, its texts keeping
  // their buffers; false at the end or on a failure (error() then set).
  bool next(CmdrRecord& out);

  const std::string& error() const { return error_; }
  // Records that went through the temporary file (0: all stayed in memory).
  size_t spilled() const { return spilled_; }

 private:
  struct Entry;
  struct Run;
  bool flushChunk();
  bool fail(const char* what);

  size_t bufferBytes_;
  std::string dir_;
  int fd_ = -1;
  uint64_t fileSize_ = 0;
  std::vector<uint8_t> buf_;                 // the records of the chunk being filled
  std::vector<std::vector<Entry>> entries_;  // key and place of each record of the chunk in hand
  std::vector<uint64_t> chunkAt_;            // per chunk written: its offset in the file
  std::vector<uint64_t> chunkSize_;
  std::vector<std::string> ports_;
  struct PortMap;
  std::unique_ptr<PortMap> portIds_;
  size_t count_ = 0, spilled_ = 0;
  bool sorted_ = false;
  size_t memAt_ = 0;  // the next entry of the chunk held in memory
  std::vector<Run> runs_;
  std::string error_;
};

}  // namespace lumarc::browse
