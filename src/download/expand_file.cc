// ExpandFile with zlib: inflate in blocks from the source into a temporary file, then rename.
#include "download/expand_file.h"

#include <zlib.h>

#include <memory>
#include <vector>

#include "common/runtime_error.h"

namespace velmorin {
namespace {

constexpr size_t kBlock = 256 * 1024;
constexpr char kTempSuffix[] = ".expand~";

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

// Inflates the whole source into out; false on any fault of the stream.
bool Inflate(platform::RandomFile& in, platform::RandomFile& out) {
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
    out.WriteAt(write_at, std::span<const char>(output.data(), produced));
    write_at += produced;
    if (rc == Z_STREAM_END) member_open = false;  // another member may follow
  }
}

}  // namespace

bool ExpandFile(platform::FileSystem& fs, const std::string& source, const std::string& destination) {
  const std::string temp = destination + kTempSuffix;
  bool expanded = false;
  try {
    auto in = fs.Open(source, platform::OpenMode::kInput);
    auto out = fs.Open(temp, platform::OpenMode::kOutput);
    expanded = Inflate(*in, *out);
    out.reset();
    if (expanded) fs.Rename(temp, destination);
  } catch (const RuntimeError&) {
    expanded = false;
  }
  if (!expanded) {
    try {
      if (fs.FileExists(temp)) fs.RemoveFile(temp);
    } catch (const RuntimeError&) {
      // Nothing more can be done; the destination is untouched either way.
    }
  }
  return expanded;
}

}  // namespace velmorin
