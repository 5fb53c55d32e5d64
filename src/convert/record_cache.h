// Block access to a record file for passes over many records: records are read a block at a
// time and only the records whose bytes changed are written back, in coalesced runs. The
// bytes on disk afterwards are those that writing record by record would leave.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "convert/record_file.h"

namespace velmorin {

class RecordCache {
 public:
  static constexpr int64_t kDefaultBlockRecords = 1024;
  // Blocks past the one loaded that a file on a share fetches meanwhile.
  static constexpr int64_t kBlocksAhead = 4;

  explicit RecordCache(RecordFile& file, int64_t block_records = kDefaultBlockRecords);
  // Writes back what is still pending; errors are lost here, so call Flush() first.
  ~RecordCache();
  RecordCache(const RecordCache&) = delete;
  RecordCache& operator=(const RecordCache&) = delete;

  // Slot n as the file holds it (with the writes made through this cache); zeros beyond
  // the end of the file. Valid until the next call. Run-time error 63 for a bad number.
  std::span<const char> Get(int64_t n);
  // Record n as written by the algorithm: only a change of its bytes reaches the disk, but a
  // record put beyond the end of the file extends it even when its bytes are zero.
  void Put(int64_t n, std::span<const char> record);
  // Writes every changed record, in runs, extends the file to the last record put and waits
  // until all of it is in the file.
  void Flush();
  // Writes back the changes of the blocks that end before record n and forgets them, their
  // memory going to the next block loaded: a pass that moves forward keeps one block or two.
  void Release(int64_t n);

  RecordFile& file() { return file_; }

 private:
  struct Block {
    std::vector<char> bytes;
    std::vector<bool> dirty;
    bool any_dirty = false;
  };
  Block& Load(int64_t n);
  int64_t BlockRecords(size_t index) const;
  void FlushBlock(int64_t block_index, Block& block);

  RecordFile& file_;
  const int64_t block_records_;
  const size_t slot_;
  std::vector<std::unique_ptr<Block>> blocks_;
  size_t lowest_loaded_ = 0;  // no block below this index is loaded
  std::unique_ptr<Block> spare_;
  int64_t last_put_ = 0;
};

}  // namespace velmorin
