// RecordCache: blocks of records in memory, dirty records written back in runs.
#include "convert/record_cache.h"

#include <algorithm>
#include <cstring>

#include "common/runtime_error.h"

namespace velmorin {

RecordCache::RecordCache(RecordFile& file, int64_t block_records)
    : file_(file), block_records_(std::max<int64_t>(block_records, 1)), slot_(file.slot_length()) {}

RecordCache::~RecordCache() {
  try {
    Flush();
  } catch (...) {
    // Already unwinding from a failure or ignored by a caller that did not flush.
  }
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
    block->any_dirty = false;
    lowest_loaded_ = std::min(lowest_loaded_, index);
    const int64_t first = static_cast<int64_t>(index) * block_records_ + 1;
    const int64_t count = BlockRecords(index);
    block->bytes.resize(static_cast<size_t>(count) * slot_);
    block->dirty.assign(static_cast<size_t>(count), false);
    file_.ReadRange(first, count, block->bytes);
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

void RecordCache::Put(int64_t n, std::span<const char> record) {
  Block& block = Load(n);
  const auto i = static_cast<size_t>((n - 1) % block_records_);
  char* slot = block.bytes.data() + i * slot_;
  const size_t data = file_.data_length();
  if (std::memcmp(slot, record.data(), data) != 0) {
    std::memcpy(slot, record.data(), data);
    block.dirty[i] = true;
    block.any_dirty = true;
  }
  last_put_ = std::max(last_put_, n);
}

void RecordCache::FlushBlock(int64_t block_index, Block& block) {
  const int64_t first = block_index * block_records_ + 1;
  const size_t count = block.dirty.size();
  for (size_t i = 0; i < count;) {
    if (!block.dirty[i]) {
      ++i;
      continue;
    }
    // Runs only where records fill their slots: a slot's tail past the data belongs to no
    // record, and another program may have written it since our read.
    const bool whole_slots = file_.data_length() == slot_;
    size_t end = i;
    while (end < count && block.dirty[end] && (end == i || whole_slots)) block.dirty[end++] = false;
    const size_t bytes = (end - i - 1) * slot_ + file_.data_length();
    file_.WriteBytes(first + static_cast<int64_t>(i), std::span<const char>(block.bytes).subspan(i * slot_, bytes));
    i = end;
  }
  block.any_dirty = false;
}

void RecordCache::Release(int64_t n) {
  const auto end = std::min(blocks_.size(), static_cast<size_t>(std::max<int64_t>(n - 1, 0) / block_records_));
  for (size_t index = lowest_loaded_; index < end; ++index) {
    auto& block = blocks_[index];
    if (!block) continue;
    if (block->any_dirty) FlushBlock(static_cast<int64_t>(index), *block);
    spare_ = std::move(block);
  }
  lowest_loaded_ = std::max(lowest_loaded_, end);
}

void RecordCache::Flush() {
  for (size_t index = 0; index < blocks_.size(); ++index) {
    if (blocks_[index] && blocks_[index]->any_dirty) FlushBlock(static_cast<int64_t>(index), *blocks_[index]);
  }
  if (last_put_ > 0) {
    const uint64_t end = static_cast<uint64_t>(last_put_ - 1) * slot_ + file_.data_length();
    if (file_.Size() < end) file_.Write(last_put_, Get(last_put_));
    last_put_ = 0;
  }
  file_.Finish();
}

}  // namespace velmorin
