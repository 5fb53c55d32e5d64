#include "download/response_body.h"

namespace velmorin {

std::optional<TransferFailureKind> ResponseBody::Add(std::string_view wire, const BodyDecoder::Sink& sink) {
  if (!decoder_.known()) return TransferFailureKind::kUnknownCoding;
  bool page = false;
  const auto result = decoder_.Decode(wire, [&](std::string_view bytes) {
    page = page_.Look(bytes);
    return !page && sink(bytes);
  });
  if (page) return TransferFailureKind::kBlockPage;
  if (result == BodyDecoder::Result::kCorrupt) return TransferFailureKind::kCorruptCoding;
  return std::nullopt;
}

std::optional<TransferFailureKind> ResponseBody::End() const {
  if (!decoder_.complete()) return TransferFailureKind::kCorruptCoding;
  return std::nullopt;
}

}  // namespace velmorin
