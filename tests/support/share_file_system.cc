// ShareFileSystem: latency and bandwidth around each call of a local file system.
#include "support/share_file_system.h"

#include <algorithm>
#include <thread>

namespace velmorin::test_support {

using Clock = std::chrono::steady_clock;

void ShareCounts::Reset() {
  calls = reads = writes = simulated_ns = 0;
  peak_in_flight = peak_writes_in_flight = 0;
}

namespace {

void RaisePeak(std::atomic<int>& peak, int value) {
  int seen = peak.load();
  while (value > seen && !peak.compare_exchange_weak(seen, value)) {
  }
}

}  // namespace

class ShareFileSystem::Link {
 public:
  explicit Link(ShareModel model) : model_(model) {}

  // Runs `call` as one round trip carrying `bytes`.
  template <class F>
  auto Call(size_t bytes, bool write, F&& call) {
    ++counts.calls;
    RaisePeak(counts.peak_in_flight, ++counts.in_flight);
    if (write) RaisePeak(counts.peak_writes_in_flight, ++counts.writes_in_flight);
    struct Leave {
      Link& link;
      bool write;
      ~Leave() {
        --link.counts.in_flight;
        if (write) --link.counts.writes_in_flight;
      }
    } leave{*this, write};
    const auto done = Reserve(bytes);
    auto result = call();
    if (!model_.account_only) std::this_thread::sleep_until(done);
    return result;
  }

  ShareCounts counts;
  const ShareModel& model() const { return model_; }

 private:
  Clock::time_point Reserve(size_t bytes) {
    const auto transfer = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bytes) / model_.bytes_per_second));
    if (model_.account_only) {
      counts.simulated_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(transfer + model_.latency).count();
      return Clock::now();
    }
    std::lock_guard lock(mutex_);
    link_free_ = std::max(link_free_, Clock::now()) + transfer;
    return link_free_ + model_.latency;
  }

  ShareModel model_;
  std::mutex mutex_;
  Clock::time_point link_free_{};
};

namespace {

class ShareFile : public platform::RandomFile {
 public:
  ShareFile(std::unique_ptr<platform::RandomFile> inner, std::shared_ptr<ShareFileSystem::Link> link)
      : inner_(std::move(inner)), link_(std::move(link)) {}
  ~ShareFile() override {
    link_->Call(0, false, [this] {
      inner_.reset();
      return 0;
    });
  }

  size_t ReadAt(uint64_t offset, std::span<char> out) override {
    std::lock_guard turn(turn_);
    ++link_->counts.reads;
    return link_->Call(out.size(), false, [&] { return inner_->ReadAt(offset, out); });
  }
  void WriteAt(uint64_t offset, std::span<const char> data) override {
    std::lock_guard turn(turn_);
    ++link_->counts.writes;
    link_->Call(data.size(), true, [&] {
      inner_->WriteAt(offset, data);
      return 0;
    });
  }
  uint64_t Size() override {
    std::lock_guard turn(turn_);
    return link_->Call(0, false, [&] { return inner_->Size(); });
  }
  bool Remote() override { return link_->model().marked_remote; }
  std::unique_ptr<platform::RandomFile> Reopen() override {
    auto other = link_->Call(0, false, [&] { return inner_->Reopen(); });
    if (!other) return nullptr;
    return std::make_unique<ShareFile>(std::move(other), link_);
  }

 private:
  std::unique_ptr<platform::RandomFile> inner_;
  std::shared_ptr<ShareFileSystem::Link> link_;
  std::mutex turn_;
};

}  // namespace

ShareFileSystem::ShareFileSystem(platform::FileSystem& inner, ShareModel model)
    : inner_(inner), link_(std::make_shared<Link>(model)) {}

ShareFileSystem::~ShareFileSystem() = default;

ShareCounts& ShareFileSystem::counts() { return link_->counts; }

std::unique_ptr<platform::RandomFile> ShareFileSystem::Open(const std::string& path, platform::OpenMode mode) {
  auto file = link_->Call(0, false, [&] { return inner_.Open(path, mode); });
  return std::make_unique<ShareFile>(std::move(file), link_);
}

void ShareFileSystem::MakeFolder(const std::string& path) {
  link_->Call(0, false, [&] {
    inner_.MakeFolder(path);
    return 0;
  });
}
void ShareFileSystem::DeleteFiles(const std::string& pattern) {
  link_->Call(0, false, [&] {
    inner_.DeleteFiles(pattern);
    return 0;
  });
}
// The current drive and folder are the workstation's own: no round trip.
void ShareFileSystem::ChangeDrive(const std::string& drive) { inner_.ChangeDrive(drive); }
void ShareFileSystem::ChangeFolder(const std::string& path) { inner_.ChangeFolder(path); }
uint64_t ShareFileSystem::FileLength(const std::string& path) {
  return link_->Call(0, false, [&] { return inner_.FileLength(path); });
}
bool ShareFileSystem::FileExists(const std::string& path) {
  return link_->Call(0, false, [&] { return inner_.FileExists(path); });
}
void ShareFileSystem::Rename(const std::string& from, const std::string& to) {
  link_->Call(0, false, [&] {
    inner_.Rename(from, to);
    return 0;
  });
}
void ShareFileSystem::RemoveFile(const std::string& path) {
  link_->Call(0, false, [&] {
    inner_.RemoveFile(path);
    return 0;
  });
}

}  // namespace velmorin::test_support
