#include "download/body_decoding.h"

#include <zlib.h>

#include <utility>
#include <vector>

namespace velmorin {
namespace {

constexpr size_t kPiece = 64 * 1024;
constexpr size_t kNameLimit = 40;

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

// The codings listed, in the order applied, without "identity" (which changes nothing).
std::vector<std::string> Codings(std::string_view header) {
  std::vector<std::string> codings;
  for (size_t at = 0; at <= header.size();) {
    const size_t comma = std::min(header.find(',', at), header.size());
    const std::string coding = Lower(Trimmed(header.substr(at, comma - at)));
    if (!coding.empty() && coding != "identity") codings.push_back(coding);
    at = comma + 1;
  }
  return codings;
}

// A zlib header: compression method 8 and a check value that makes the pair a multiple of 31.
bool IsZlibHeader(unsigned char first, unsigned char second) {
  return (first & 0x0F) == 8 && ((first << 8) | second) % 31 == 0;
}

}  // namespace

struct BodyDecoder::Stream {
  z_stream z{};
  bool open = false;
  bool ended = false;
  std::vector<char> out = std::vector<char>(kPiece);
  ~Stream() {
    if (open) inflateEnd(&z);
  }
};

BodyDecoder::BodyDecoder(std::string_view content_encoding) {
  for (const char c : Trimmed(content_encoding)) {
    if (name_.size() < kNameLimit && c >= ' ' && c <= '~') name_ += c;
  }
  const std::vector<std::string> codings = Codings(content_encoding);
  if (codings.empty()) return;
  const std::string& only = codings[0];
  if (codings.size() == 1 && (only == "gzip" || only == "x-gzip")) {
    coding_ = Coding::kGzip;
  } else if (codings.size() == 1 && only == "deflate") {
    coding_ = Coding::kDeflate;
  } else {
    coding_ = Coding::kUnknown;
  }
}

BodyDecoder::~BodyDecoder() = default;

// "deflate" is meant to be a zlib stream, but servers also send bare deflate data, which
// browsers accept: the first two bytes tell which.
bool BodyDecoder::Open(std::string_view first_bytes) {
  stream_ = std::make_unique<Stream>();
  int window_bits = 16 + MAX_WBITS;  // gzip wrapper
  if (coding_ == Coding::kDeflate) {
    const bool zlib =
        IsZlibHeader(static_cast<unsigned char>(first_bytes[0]), static_cast<unsigned char>(first_bytes[1]));
    window_bits = zlib ? MAX_WBITS : -MAX_WBITS;
  }
  stream_->open = inflateInit2(&stream_->z, window_bits) == Z_OK;
  return stream_->open;
}

BodyDecoder::Result BodyDecoder::Decode(std::string_view coded, const Sink& sink) {
  if (coded.empty()) return Result::kOk;
  any_ = true;
  if (coding_ == Coding::kIdentity) return sink(coded) ? Result::kOk : Result::kRefused;
  if (coding_ == Coding::kUnknown) return Result::kCorrupt;
  if (!stream_) {
    if (coding_ == Coding::kDeflate && lead_.size() + coded.size() < 2) {
      lead_.append(coded);
      return Result::kOk;
    }
    const std::string held = std::exchange(lead_, {});
    if (!Open(held + std::string(coded.substr(0, 2)))) return Result::kCorrupt;
    if (!held.empty()) {
      if (const Result result = Inflate(held, sink); result != Result::kOk) return result;
    }
  }
  return Inflate(coded, sink);
}

BodyDecoder::Result BodyDecoder::Inflate(std::string_view coded, const Sink& sink) {
  z_stream& z = stream_->z;
  std::vector<char>& out = stream_->out;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(coded.data()));
  z.avail_in = static_cast<uInt>(coded.size());
  for (;;) {
    if (stream_->ended && z.avail_in > 0) {
      // Only gzip lets another member follow; anything after a deflate stream is not the file's.
      if (coding_ != Coding::kGzip || inflateReset(&z) != Z_OK) return Result::kCorrupt;
      stream_->ended = false;
    }
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return Result::kCorrupt;
    if (rc == Z_STREAM_END) stream_->ended = true;
    const size_t produced = out.size() - z.avail_out;
    if (produced > 0 && !sink(std::string_view(out.data(), produced))) return Result::kRefused;
    if (z.avail_in == 0 && (z.avail_out != 0 || stream_->ended)) return Result::kOk;
  }
}

bool BodyDecoder::complete() const { return !any_ || coding_ == Coding::kIdentity || (stream_ && stream_->ended); }

}  // namespace velmorin
