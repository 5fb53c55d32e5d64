// A file system on a share, simulated over another one: every call waits a round trip plus
// its bytes on a link shared by all calls. Calls on different handles overlap, calls on one
// handle take turns, as with a synchronous handle on Windows. For the conversion benchmark and
// the tests that must see calls overlap.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/file_system.h"

namespace velmorin::test_support {

struct ShareModel {
  std::chrono::nanoseconds latency = std::chrono::microseconds(500);
  double bytes_per_second = 100e6;
  // Adds the time each call would take to `simulated` instead of waiting it: exact for a caller
  // that makes one call at a time.
  bool account_only = false;
  // Whether its files say they are on a share; when not, the program takes them for local ones
  // and makes one call at a time, as before it overlapped them.
  bool marked_remote = true;
};

struct ShareCounts {
  std::atomic<int64_t> calls{0};
  std::atomic<int64_t> reads{0};
  std::atomic<int64_t> writes{0};
  std::atomic<int> in_flight{0};
  std::atomic<int> peak_in_flight{0};  // calls waiting on the share at once
  std::atomic<int> writes_in_flight{0};
  std::atomic<int> peak_writes_in_flight{0};
  std::atomic<int64_t> simulated_ns{0};
  void Reset();
};

class ShareFileSystem : public platform::FileSystem {
 public:
  ShareFileSystem(platform::FileSystem& inner, ShareModel model);
  ~ShareFileSystem() override;

  std::unique_ptr<platform::RandomFile> Open(const std::string& path, platform::OpenMode mode) override;
  void MakeFolder(const std::string& path) override;
  void DeleteFiles(const std::string& pattern) override;
  void ChangeDrive(const std::string& drive) override;
  void ChangeFolder(const std::string& path) override;
  uint64_t FileLength(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void RemoveFile(const std::string& path) override;

  ShareCounts& counts();

  class Link;

 private:
  platform::FileSystem& inner_;
  std::shared_ptr<Link> link_;
};

}  // namespace velmorin::test_support
