// SharedDriveFile: a queue of writes and reads ahead served by workers with handles of their own.
#include "convert/shared_drive_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace velmorin {
namespace {

// Enough to keep the workers busy; a caller that runs further ahead waits.
constexpr size_t kMaxWritesPending = 256;
constexpr uint64_t kEndOfFile = std::numeric_limits<uint64_t>::max();

}  // namespace

SharedDriveFile::SharedDriveFile(std::unique_ptr<platform::RandomFile> file, int workers)
    : file_(std::move(file)), worker_count_(std::max(workers, 1)) {}

SharedDriveFile::~SharedDriveFile() {
  {
    std::lock_guard lock(mutex_);
    std::erase_if(queue_, [](const Job& job) { return job.prefetch != nullptr; });
    stopping_ = true;
  }
  work_.notify_all();
  for (auto& worker : workers_) worker.join();
}

void SharedDriveFile::StartWorkers() {
  if (!workers_.empty()) return;
  for (int i = 0; i < worker_count_; ++i) workers_.emplace_back([this] { Work(); });
}

void SharedDriveFile::Work() {
  std::unique_ptr<platform::RandomFile> own;
  bool reopened = false;
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) break;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    running_.push_back(&job);
    lock.unlock();
    std::exception_ptr error;
    try {
      if (!reopened) {
        reopened = true;
        own = file_->Reopen();
      }
      Run(own ? *own : *file_, job);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    std::erase(running_, &job);
    if (job.prefetch) {
      job.prefetch->done = true;
      job.prefetch->failed = error != nullptr;
    } else {
      --writes_pending_;
      if (error && !failure_) {
        failure_ = error;
        writes_pending_ -= static_cast<size_t>(std::erase_if(queue_, [](const Job& j) { return !j.prefetch; }));
      }
    }
    settled_.notify_all();
  }
  lock.unlock();
  own.reset();  // closing is a round trip too: done outside the lock, beside the others
}

void SharedDriveFile::Run(platform::RandomFile& handle, Job& job) {
  if (job.prefetch) {
    job.prefetch->got = handle.ReadAt(job.offset, job.prefetch->bytes);
  } else {
    handle.WriteAt(job.offset, job.bytes);
  }
}

bool SharedDriveFile::WritePending(uint64_t from, uint64_t to) const {
  auto touches = [&](const Job& job) { return !job.prefetch && job.offset < to && job.end() > from; };
  return std::any_of(queue_.begin(), queue_.end(), touches) ||
         std::any_of(running_.begin(), running_.end(), [&](const Job* job) { return touches(*job); });
}

void SharedDriveFile::ThrowFailure() {
  if (failure_) std::rethrow_exception(failure_);
}

std::shared_ptr<SharedDriveFile::Prefetch> SharedDriveFile::TakePrefetch(uint64_t offset, size_t length) {
  std::shared_ptr<Prefetch> found;
  std::erase_if(prefetches_, [&](const std::shared_ptr<Prefetch>& p) {
    if (!found && !p->stale && p->offset == offset && p->bytes.size() >= length) {
      found = p;
      return true;
    }
    return p->stale && p->done;
  });
  return found;
}

size_t SharedDriveFile::ReadAt(uint64_t offset, std::span<char> out) {
  std::unique_lock lock(mutex_);
  ThrowFailure();
  if (const auto prefetch = TakePrefetch(offset, out.size())) {
    settled_.wait(lock, [&] { return prefetch->done; });
    if (!prefetch->failed) {
      const size_t n = std::min(prefetch->got, out.size());
      std::memcpy(out.data(), prefetch->bytes.data(), n);
      return n;
    }
  }
  // A write beyond the range can still move the end of the file into it.
  settled_.wait(lock, [&] { return failure_ || !WritePending(offset, kEndOfFile); });
  ThrowFailure();
  lock.unlock();
  return file_->ReadAt(offset, out);
}

void SharedDriveFile::WriteAt(uint64_t offset, std::span<const char> data) {
  std::unique_lock lock(mutex_);
  ThrowFailure();
  const uint64_t end = offset + data.size();
  for (const auto& prefetch : prefetches_) prefetch->stale = prefetch->stale || end > prefetch->offset;
  settled_.wait(lock, [&] { return failure_ || (writes_pending_ < kMaxWritesPending && !WritePending(offset, end)); });
  ThrowFailure();
  StartWorkers();
  queue_.push_back(Job{offset, std::vector<char>(data.begin(), data.end()), nullptr});
  ++writes_pending_;
  lock.unlock();
  work_.notify_one();
}

void SharedDriveFile::ReadAhead(uint64_t offset, size_t length) {
  std::unique_lock lock(mutex_);
  if (failure_ || length == 0) return;
  std::erase_if(prefetches_, [](const std::shared_ptr<Prefetch>& p) { return p->stale && p->done; });
  size_t live = 0;
  for (const auto& p : prefetches_) {
    if (p->stale) continue;
    if (p->offset == offset) return;
    ++live;
  }
  // A read ahead must see every write issued before it; rather than wait, pass it over.
  if (live >= kMaxReadsAhead || WritePending(offset, kEndOfFile)) return;
  auto prefetch = std::make_shared<Prefetch>();
  prefetch->offset = offset;
  prefetch->bytes.resize(length);
  prefetches_.push_back(prefetch);
  StartWorkers();
  const auto first_write = std::find_if(queue_.begin(), queue_.end(), [](const Job& j) { return !j.prefetch; });
  queue_.insert(first_write, Job{offset, {}, std::move(prefetch)});
  lock.unlock();
  work_.notify_one();
}

uint64_t SharedDriveFile::Size() {
  Finish();
  return file_->Size();
}

void SharedDriveFile::Finish() {
  std::unique_lock lock(mutex_);
  settled_.wait(lock, [this] { return failure_ || writes_pending_ == 0; });
  ThrowFailure();
}

}  // namespace velmorin
