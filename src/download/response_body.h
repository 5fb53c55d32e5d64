// The file's own bytes out of the body of a final answer: its content coding undone, and a
// web page that came in a file's place refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "download/block_page.h"
#include "download/body_decoding.h"
#include "download/transfer_failure.h"
#include "platform/http_transport.h"

namespace velmorin {

class ResponseBody {
 public:
  ResponseBody(const platform::ResponseHead& head, std::string_view target)
      : decoder_(head.content_encoding), page_(head.content_type, target) {}

  // Takes the next bytes as they came over the wire and hands the file's bytes to `sink`; a
  // failure when they cannot be the file. A sink that returns false ends this quietly: its
  // caller knows why.
  std::optional<TransferFailureKind> Add(std::string_view wire, const BodyDecoder::Sink& sink);
  // At the end of the body: a coded stream cut short is no file either.
  std::optional<TransferFailureKind> End() const;
  // The coding the server named, for the message.
  const std::string& coding() const { return decoder_.name(); }

 private:
  BodyDecoder decoder_;
  BlockPageCheck page_;
};

}  // namespace velmorin
