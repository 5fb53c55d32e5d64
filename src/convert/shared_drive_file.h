// A record file on a share, where every call is a round trip to the server: writes are
// handed to a few workers, each with a handle of its own, so that many are in flight at
// once, and blocks announced by ReadAhead are fetched while the caller works on others.
// What the caller reads is always what writing in program order would leave: a read waits
// for the writes it could see, writes to the same bytes go out in order, and a read ahead
// that a later write could change is not used.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/file_system.h"

namespace velmorin {

class SharedDriveFile final : public platform::RandomFile {
 public:
  static constexpr int kDefaultWorkers = 16;
  static constexpr size_t kMaxReadsAhead = 4;

  // `file` must be able to Reopen. Workers start on the first write or read ahead.
  explicit SharedDriveFile(std::unique_ptr<platform::RandomFile> file, int workers = kDefaultWorkers);
  // Waits for every write; a failure it meets is lost here, so call Finish() first.
  ~SharedDriveFile() override;
  SharedDriveFile(const SharedDriveFile&) = delete;
  SharedDriveFile& operator=(const SharedDriveFile&) = delete;

  size_t ReadAt(uint64_t offset, std::span<char> out) override;
  // Queues the write and returns; a failure is thrown by a later call. After one fails no
  // other starts.
  void WriteAt(uint64_t offset, std::span<const char> data) override;
  uint64_t Size() override;
  bool Remote() override { return true; }
  void ReadAhead(uint64_t offset, size_t length) override;
  void Finish() override;

 private:
  struct Prefetch {
    uint64_t offset = 0;
    std::vector<char> bytes;
    size_t got = 0;
    bool done = false;
    bool failed = false;
    bool stale = false;  // a write issued after it may change what it holds
  };
  struct Job {
    uint64_t offset = 0;
    std::vector<char> bytes;             // a write
    std::shared_ptr<Prefetch> prefetch;  // or a read ahead
    uint64_t end() const { return offset + bytes.size(); }
  };

  void Work();
  void Run(platform::RandomFile& handle, Job& job);
  void StartWorkers();
  // Whether a queued or running write touches bytes from `from` to `to` (exclusive).
  bool WritePending(uint64_t from, uint64_t to) const;
  void ThrowFailure();
  std::shared_ptr<Prefetch> TakePrefetch(uint64_t offset, size_t length);

  std::unique_ptr<platform::RandomFile> file_;
  const int worker_count_;
  std::vector<std::thread> workers_;

  std::mutex mutex_;
  std::condition_variable work_;     // workers wait for jobs
  std::condition_variable settled_;  // the caller waits for jobs to end
  std::deque<Job> queue_;            // reads ahead first, then writes in program order
  std::vector<const Job*> running_;
  size_t writes_pending_ = 0;  // queued and running
  std::vector<std::shared_ptr<Prefetch>> prefetches_;
  std::exception_ptr failure_;
  bool stopping_ = false;
};

}  // namespace velmorin
