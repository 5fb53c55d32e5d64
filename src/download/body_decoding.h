// The content coding a server applied to a body, undone as the body arrives, so that only
// the file's own bytes are ever written.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velmorin {

class BodyDecoder {
 public:
  // Takes the response's Content-Encoding as given ("" when it has none).
  explicit BodyDecoder(std::string_view content_encoding);
  ~BodyDecoder();
  BodyDecoder(const BodyDecoder&) = delete;
  BodyDecoder& operator=(const BodyDecoder&) = delete;

  // False for a coding this program cannot undo (anything but identity, gzip, x-gzip and
  // deflate, or more than one coding).
  bool known() const { return coding_ != Coding::kUnknown; }
  // The coding's name as the server gave it, cut short and reduced to plain characters, fit
  // for a message.
  const std::string& name() const { return name_; }

  enum class Result { kOk, kCorrupt, kRefused };
  // Undoes the coding of the next bytes of the body and hands what comes out to `sink` in
  // pieces of bounded size; kRefused when the sink returned false.
  using Sink = std::function<bool(std::string_view)>;
  Result Decode(std::string_view coded, const Sink& sink);
  // True when the bytes so far make a whole body: nothing, or a coded stream that reached its
  // end, so that a cut stream is never taken for a file.
  bool complete() const;

 private:
  enum class Coding { kIdentity, kGzip, kDeflate, kUnknown };
  struct Stream;

  Result Inflate(std::string_view coded, const Sink& sink);
  bool Open(std::string_view first_bytes);

  Coding coding_ = Coding::kIdentity;
  std::string name_;
  std::unique_ptr<Stream> stream_;
  std::string lead_;  // of a deflate body, until its first two bytes tell its wrapping
  bool any_ = false;  // bytes have come
};

}  // namespace velmorin
