// ExpandFile with zlib: inflate in blocks from the source into a temporary file, then rename.
#include "download/expand_file.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "common/runtime_error.h"
#include "download/body_limits.h"
#include "platform/download_files.h"

namespace velmorin {
namespace {

constexpr size_t kBlock = 256 * 1024;
// A gzip stream of real programs and lists expands about 3 to 10 times; far more is a bomb.
constexpr uint64_t kMaxRatio = 64;
constexpr int kNameAttempts = 16;

class Inflater {
 public:
  Inflater() { ok_ = inflateInit2(&z_, 16 + MAX_WBITS) == Z_OK; }  // gzip wrapper only
  ~Inflater() {
    if (ok_) inflateEnd(&z_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool ok() const { return ok_; }
  z_stream& z() { return z_; }

 private:
  z_stream z_{};
  bool ok_ = false;
};

// Inflates the whole source into out; false on any fault of the stream, and once the output
// passes `limit` bytes.
bool Inflate(platform::RandomFile& in, platform::RandomFile& out, uint64_t limit) {
  Inflater inflater;
  if (!inflater.ok()) return false;
  z_stream& z = inflater.z();
  std::vector<char> input(kBlock), output(kBlock);
  uint64_t read_at = 0, write_at = 0;
  bool member_open = false;  // inside a member whose end has not been seen
  for (;;) {
    if (z.avail_in == 0) {
      const size_t n = in.ReadAt(read_at, input);
      if (n == 0) return !member_open && read_at > 0;
      read_at += n;
      z.next_in = reinterpret_cast<Bytef*>(input.data());
      z.avail_in = static_cast<uInt>(n);
    }
    if (!member_open && inflateReset(&z) != Z_OK) return false;
    member_open = true;
    z.next_out = reinterpret_cast<Bytef*>(output.data());
    z.avail_out = static_cast<uInt>(output.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return false;
    const size_t produced = output.size() - z.avail_out;
    if (write_at + produced > limit) return false;
    out.WriteAt(write_at, std::span<const char>(output.data(), produced));
    write_at += produced;
    if (rc == Z_STREAM_END) member_open = false;  // another member may follow
  }
}

// "tool.exe.part-Xk3f9Q", named like the download control's temporary files, so that one left
// by a killed run is recognisable for what it is.
std::string TemporaryName(const std::string& destination) {
  static std::atomic<uint64_t> counter{0};
  uint64_t x = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (++counter * 0x9E3779B97F4A7C15ull);
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string name = destination + platform::kTemporaryMark;
  for (int i = 0; i < 6; ++i, x /= 62) name += kDigits[x % 62];
  return name;
}

// A new file under a name no other file has: whatever lies under a name already taken, a link
// planted there included, is never written through.
std::unique_ptr<platform::RandomFile> CreateNew(platform::FileSystem& fs, const std::string& destination,
                                                std::string& name) {
  for (int attempt = 1;; ++attempt) {
    const std::string tried = TemporaryName(destination);
    try {
      auto file = fs.Open(tried, platform::OpenMode::kNew);
      name = tried;
      return file;
    } catch (const RuntimeError&) {
      if (attempt == kNameAttempts || !fs.FileExists(tried)) throw;
    }
  }
}

}  // namespace

bool ExpandFile(platform::FileSystem& fs, const std::string& source, const std::string& destination) {
  std::string temp;
  bool expanded = false;
  try {
    auto in = fs.Open(source, platform::OpenMode::kInput);
    const uint64_t limit = std::min<uint64_t>(in->Size() * kMaxRatio, kMaxBody);
    auto out = CreateNew(fs, destination, temp);
    expanded = Inflate(*in, *out, limit);
    out.reset();
    if (expanded) fs.Rename(temp, destination);
  } catch (const RuntimeError&) {
    expanded = false;
  }
  if (!expanded && !temp.empty()) {
    try {
      if (fs.FileExists(temp)) fs.RemoveFile(temp);
    } catch (const RuntimeError&) {
      // Nothing more can be done; the destination is untouched either way.
    }
  }
  return expanded;
}

}  // namespace velmorin
