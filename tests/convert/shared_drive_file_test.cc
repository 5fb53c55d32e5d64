// SharedDriveFile against a plain string: whatever the order the workers finish in, every read
// gives what writing in program order leaves.
#include "convert/shared_drive_file.h"

#include <gtest/gtest.h>

#include <random>

#include "common/runtime_error.h"
#include "conversion_fixture.h"
#include "support/memory_file_system.h"
#include "support/share_file_system.h"

namespace velmorin {
namespace {

using platform::OpenMode;

struct Share {
  Share() { memory.SetRemote(true); }
  test_support::MemoryFileSystem memory;
  test_support::ShareFileSystem share{memory, {std::chrono::microseconds(200), 50e6, false}};
};

// Writes that overlap each other and reads (some of them announced, some past the end).
TEST(SharedDriveFile, ReadsSeeEveryEarlierWrite) {
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    auto below = [&](uint32_t n) { return rng() % n; };
    Share s;
    std::string model;
    {
      SharedDriveFile file(s.share.Open("\\f", OpenMode::kRandom), 4);
      std::vector<uint64_t> announced;
      for (int op = 0; op < 600; ++op) {
        const uint32_t kind = below(10);
        if (kind < 5) {
          const uint64_t at = below(4096);
          const std::string bytes(1 + below(64), static_cast<char>('a' + below(26)));
          file.WriteAt(at, bytes);
          if (model.size() < at + bytes.size()) model.resize(at + bytes.size(), '\0');
          model.replace(at, bytes.size(), bytes);
        } else if (kind < 7) {
          announced.push_back(below(5000));
          file.ReadAhead(announced.back(), 1 + below(512));
        } else if (kind < 9) {
          const uint64_t at = !announced.empty() && below(2) ? announced[below(announced.size())] : below(5000);
          std::string got(1 + below(512), '?');
          const size_t n = file.ReadAt(at, got);
          const size_t want = at >= model.size() ? 0 : std::min<size_t>(got.size(), model.size() - at);
          ASSERT_EQ(n, want) << "read at " << at;
          ASSERT_EQ(got.substr(0, n), model.substr(std::min<size_t>(at, model.size()), n)) << "read at " << at;
        } else {
          ASSERT_EQ(file.Size(), model.size());
        }
      }
      // Left to the destructor: the writes still in flight.
    }
    EXPECT_EQ(s.memory.File("\\f"), model);
  }
}

// A file whose writes fail from a given offset on, as a share that went away.
class FailingFile : public platform::RandomFile {
 public:
  explicit FailingFile(std::unique_ptr<platform::RandomFile> file) : file_(std::move(file)) {}
  size_t ReadAt(uint64_t offset, std::span<char> out) override { return file_->ReadAt(offset, out); }
  void WriteAt(uint64_t offset, std::span<const char> data) override {
    if (offset >= 1000) throw RuntimeError(err::kDeviceIoError, "write");
    file_->WriteAt(offset, data);
  }
  uint64_t Size() override { return file_->Size(); }
  std::unique_ptr<platform::RandomFile> Reopen() override { return std::make_unique<FailingFile>(file_->Reopen()); }

 private:
  std::unique_ptr<platform::RandomFile> file_;
};

TEST(SharedDriveFile, AFailedWriteIsThrownByTheNextCalls) {
  Share s;
  {
    SharedDriveFile file(std::make_unique<FailingFile>(s.share.Open("\\f", OpenMode::kRandom)), 2);
    file.WriteAt(0, std::string("kept"));
    file.WriteAt(1000, std::string("lost"));
    EXPECT_EQ(ErrorNumberOf([&] { file.Finish(); }), err::kDeviceIoError);
    EXPECT_EQ(ErrorNumberOf([&] { file.WriteAt(8, std::string("late")); }), err::kDeviceIoError);
    std::string got(4, '\0');
    EXPECT_EQ(ErrorNumberOf([&] { file.ReadAt(0, got); }), err::kDeviceIoError);
  }
  EXPECT_EQ(s.memory.File("\\f"), "kept");
}

}  // namespace
}  // namespace velmorin
