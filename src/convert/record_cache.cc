// RecordCache: blocks of records in memory, the bytes routines change written back in runs.
#include "convert/record_cache.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

#include "common/runtime_error.h"

namespace velmorin {
namespace {

// Gathers the changed bytes of one block into runs; a run stays open only across bytes the
// routine set, so it never covers a byte that belongs to someone else.
class RunWriter {
 public:
  RunWriter(RecordFile& file, int64_t first, std::span<const char> bytes) : file_(file), first_(first), bytes_(bytes) {}
  // Bytes from `begin` to `end` (exclusive) are written, with any set ones before them in the run.
  void Cover(size_t begin, size_t end) {
    if (!open_) start_ = begin;
    open_ = true;
    end_ = end;
  }
  void Break() {
    if (!open_) return;
    open_ = false;
    file_.WriteBytes(first_, start_, bytes_.subspan(start_, end_ - start_));
  }

 private:
  RecordFile& file_;
  int64_t first_;
  std::span<const char> bytes_;
  size_t start_ = 0;
  size_t end_ = 0;
  bool open_ = false;
};

// Calls `f(begin, end)` for each stretch of flags equal to 1 among `flags` (each 0 or 1): a
// routine sets fields, so a record's flags come in a few stretches, found a stretch at a time.
template <class F>
void ForEachSetStretch(const void* flags, size_t size, F&& f) {
  const auto* base = static_cast<const unsigned char*>(flags);
  size_t at = 0;
  while (at < size) {
    const auto* on = static_cast<const unsigned char*>(std::memchr(base + at, 1, size - at));
    if (on == nullptr) return;
    const auto* off = static_cast<const unsigned char*>(std::memchr(on, 0, size - static_cast<size_t>(on - base)));
    at = off == nullptr ? size : static_cast<size_t>(off - base);
    f(static_cast<size_t>(on - base), at);
  }
}

}  // namespace

RecordCache::RecordCache(RecordFile& file, int64_t block_records)
    : file_(file), block_records_(std::max<int64_t>(block_records, 1)), slot_(file.slot_length()) {}

RecordCache::~RecordCache() noexcept(false) {
  if (std::uncaught_exceptions() > uncaught_) {
    try {
      Flush();  // what writing record by record would have left before the failure
    } catch (...) {
      // The failure already unwinding is the one reported.
    }
    return;
  }
  assert(!Pending() && "a record cache goes with changes not flushed");
  Flush();
}

bool RecordCache::Pending() const {
  return last_put_ > 0 || std::any_of(blocks_.begin(), blocks_.end(), [](const auto& b) { return b && b->any_put; });
}

int64_t RecordCache::BlockRecords(size_t index) const {
  return std::min(block_records_, file_.MaxRecord() - static_cast<int64_t>(index) * block_records_);
}

RecordCache::Block& RecordCache::Load(int64_t n) {
  if (n < 1 || n > file_.MaxRecord()) throw RuntimeError(err::kBadRecordNumber, file_.path());
  const auto index = static_cast<size_t>((n - 1) / block_records_);
  if (index >= blocks_.size()) blocks_.resize(index + 1);
  auto& block = blocks_[index];
  if (!block) {
    block = spare_ ? std::move(spare_) : std::make_unique<Block>();
    block->any_put = false;
    lowest_loaded_ = std::min(lowest_loaded_, index);
    const int64_t first = static_cast<int64_t>(index) * block_records_ + 1;
    const int64_t count = BlockRecords(index);
    const size_t bytes = static_cast<size_t>(count) * slot_;
    block->bytes.resize(bytes);
    // Most blocks are only read: their bookkeeping of puts is made on the first one.
    block->read.clear();
    block->set.clear();
    block->state.assign(static_cast<size_t>(count), State::kClean);
    block->read_bytes = file_.ReadRange(first, count, block->bytes);
    // Passes move forward: the next blocks are the likely ones.
    for (size_t ahead = index + 1; ahead <= index + kBlocksAhead; ++ahead) {
      if (ahead < blocks_.size() && blocks_[ahead]) continue;
      file_.ReadAhead(static_cast<int64_t>(ahead) * block_records_ + 1, BlockRecords(ahead));
    }
  }
  return *block;
}

std::span<const char> RecordCache::Get(int64_t n) {
  Block& block = Load(n);
  const auto offset = static_cast<size_t>((n - 1) % block_records_) * slot_;
  return std::span<const char>(block.bytes).subspan(offset, slot_);
}

void RecordCache::Put(int64_t n, std::span<const char> record) { Put(n, record, {}); }

void RecordCache::Put(int64_t n, std::span<const char> record, std::span<const bool> set) {
  Block& block = Load(n);
  const auto i = static_cast<size_t>((n - 1) % block_records_);
  const size_t from = i * slot_;
  const size_t data = file_.data_length();
  if (block.set.empty()) {
    block.read.resize(block.bytes.size());
    block.set.assign(block.bytes.size(), 0);
  }
  if (block.state[i] == State::kClean) {
    std::memcpy(block.read.data() + from, block.bytes.data() + from, data);
    block.state[i] = from + data > block.read_bytes ? State::kBeyond : State::kPut;
  }
  const auto take = [&](size_t begin, size_t end) {
    std::memcpy(block.bytes.data() + from + begin, record.data() + begin, end - begin);
    std::memset(block.set.data() + from + begin, 1, end - begin);
  };
  if (set.empty() || block.state[i] == State::kBeyond) {
    take(0, data);
  } else {
    ForEachSetStretch(set.data(), data, take);
  }
  block.any_put = true;
  last_put_ = std::max(last_put_, n);
}

// A run stays open across the set bytes of the record, and from the record before when it
// ended on a set byte; it breaks at a byte not set. Returns whether the record changed.
template <class Runs>
bool RecordCache::FlushRecord(Block& block, size_t from, bool beyond, Runs& runs) {
  const size_t data = file_.data_length();
  const char* now = block.bytes.data();
  const char* was = block.read.data();
  const bool whole = beyond && std::memcmp(now + from, was + from, data) != 0;
  bool changed = false;
  size_t done = from;
  ForEachSetStretch(block.set.data() + from, data, [&](size_t begin, size_t end) {
    begin += from;
    end += from;
    if (begin > done) runs.Break();
    done = end;
    size_t first = begin;
    size_t last = end;
    if (!whole) {
      while (first < end && now[first] == was[first]) ++first;
      while (last > first && now[last - 1] == was[last - 1]) --last;
    }
    if (first == last) return;
    runs.Cover(first, last);
    changed = true;
  });
  if (done < from + data) runs.Break();
  std::memset(block.set.data() + from, 0, data);
  return changed;
}

void RecordCache::FlushBlock(int64_t block_index, Block& block) {
  const size_t data = file_.data_length();
  RunWriter runs(file_, block_index * block_records_ + 1, block.bytes);
  int64_t written = 0;
  for (size_t i = 0; i < block.state.size(); ++i) {
    const size_t from = i * slot_;
    const State state = std::exchange(block.state[i], State::kClean);
    if (state == State::kClean) {
      runs.Break();
      continue;
    }
    written += FlushRecord(block, from, state == State::kBeyond, runs);
    // A slot's tail past the data belongs to no record.
    if (data < slot_) runs.Break();
  }
  runs.Break();
  file_.CountWritten(written);
  block.any_put = false;
}

void RecordCache::Release(int64_t n) {
  const auto end = std::min(blocks_.size(), static_cast<size_t>(std::max<int64_t>(n - 1, 0) / block_records_));
  for (size_t index = lowest_loaded_; index < end; ++index) {
    auto& block = blocks_[index];
    if (!block) continue;
    if (block->any_put) FlushBlock(static_cast<int64_t>(index), *block);
    spare_ = std::move(block);
  }
  lowest_loaded_ = std::max(lowest_loaded_, end);
}

void RecordCache::Flush() {
  for (size_t index = 0; index < blocks_.size(); ++index) {
    if (blocks_[index] && blocks_[index]->any_put) FlushBlock(static_cast<int64_t>(index), *blocks_[index]);
  }
  if (last_put_ > 0) {
    const int64_t last = std::exchange(last_put_, 0);
    const uint64_t end = static_cast<uint64_t>(last - 1) * slot_ + file_.data_length();
    if (file_.Size() < end) file_.Write(last, Get(last));
  }
  file_.Finish();
}

}  // namespace velmorin
