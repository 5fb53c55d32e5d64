// Block access to a record file for passes over many records: records are read a block at a
// time and only the bytes a routine set and changed are written back, in runs joined only
// across bytes the routine set too. The bytes on disk afterwards are those that writing record
// by record would leave, and whatever another program wrote meanwhile to bytes the routine
// did not change stays.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <vector>

#include "convert/record_draft.h"
#include "convert/record_file.h"

namespace velmorin {

class RecordCache {
 public:
  static constexpr int64_t kDefaultBlockRecords = 1024;
  // Blocks past the one loaded that a file on a share fetches meanwhile.
  static constexpr int64_t kBlocksAhead = 4;

  explicit RecordCache(RecordFile& file, int64_t block_records = kDefaultBlockRecords);
  // Changes still pending are a mistake of the caller, who must Flush() (an assertion in
  // debug builds; written, their failure thrown, otherwise). While an exception unwinds, the
  // changes made before it are written and a failure to write them is dropped.
  ~RecordCache() noexcept(false);
  RecordCache(const RecordCache&) = delete;
  RecordCache& operator=(const RecordCache&) = delete;

  // Slot n as the file holds it (with the writes made through this cache); zeros beyond
  // the end of the file. Valid until the next call. Run-time error 63 for a bad number.
  std::span<const char> Get(int64_t n);
  // Record n as written by the algorithm, every byte of it set: only a change of its bytes
  // reaches the disk, but a record put beyond the end of the file extends it even when its
  // bytes are zero.
  void Put(int64_t n, std::span<const char> record);
  // The same, where only the bytes flagged in `set` are the routine's; the others are never
  // written, unless the record lies beyond the end of the file and is written whole.
  void Put(int64_t n, std::span<const char> record, std::span<const bool> set);
  template <size_t N>
  void Put(int64_t n, const RecordDraft<N>& draft) {
    Put(n, draft.bytes(), draft.set());
  }
  // Writes every changed record, in runs, extends the file to the last record put and waits
  // until all of it is in the file.
  void Flush();
  // Writes back the changes of the blocks that end before record n and forgets them, their
  // memory going to the next block loaded: a pass that moves forward keeps one block or two.
  void Release(int64_t n);

  RecordFile& file() { return file_; }

 private:
  enum class State : uint8_t {
    kClean,   // not put since read
    kPut,     // its set bytes are written where they differ from what was read
    kBeyond,  // did not exist when read: written whole if any byte differs
  };
  struct Block {
    std::vector<char> bytes;  // as the routine left them
    std::vector<char> read;   // of each record put, as read; empty until one is
    std::vector<char> set;    // a byte a record put set: one a run may cover; empty as `read`
    std::vector<State> state;
    size_t read_bytes = 0;  // what the file held of the block when it was read
    bool any_put = false;
  };
  Block& Load(int64_t n);
  int64_t BlockRecords(size_t index) const;
  void FlushBlock(int64_t block_index, Block& block);
  template <class Runs>
  bool FlushRecord(Block& block, size_t from, bool beyond, Runs& runs);
  bool Pending() const;

  RecordFile& file_;
  const int64_t block_records_;
  const size_t slot_;
  std::vector<std::unique_ptr<Block>> blocks_;
  size_t lowest_loaded_ = 0;  // no block below this index is loaded
  std::unique_ptr<Block> spare_;
  int64_t last_put_ = 0;
  const int uncaught_ = std::uncaught_exceptions();
};

}  // namespace velmorin
