#include "download/block_page.h"

#include <algorithm>

namespace velmorin {
namespace {

// Enough to tell the markers; a body that is all blanks this far is not taken for a page.
constexpr size_t kLeadLimit = 1024;
constexpr std::string_view kMarkers[] = {"<!doctype html", "<html"};
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// `text` is `lower` in any case.
bool Same(std::string_view text, std::string_view lower) {
  return std::equal(text.begin(), text.end(), lower.begin(), lower.end(), [](char a, char b) { return Lower(a) == b; });
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && Same(text.substr(text.size() - suffix.size()), suffix);
}

bool IsHtmlLabel(std::string_view content_type) {
  content_type = content_type.substr(0, content_type.find(';'));
  const size_t first = content_type.find_first_not_of(" \t");
  if (first == std::string_view::npos) return false;
  content_type = content_type.substr(first, content_type.find_last_not_of(" \t") - first + 1);
  return Same(content_type, "text/html");
}

enum class Verdict { kUndecided, kPage, kNotPage };

// What the lead tells: a marker after the blanks, not one, or not yet known.
Verdict Judge(std::string_view lead, bool full) {
  if (lead.size() < kByteOrderMark.size() && kByteOrderMark.starts_with(lead)) return Verdict::kUndecided;
  if (lead.starts_with(kByteOrderMark)) lead.remove_prefix(kByteOrderMark.size());
  const size_t start = lead.find_first_not_of(" \t\r\n\f");
  if (start == std::string_view::npos) return full ? Verdict::kNotPage : Verdict::kUndecided;
  lead.remove_prefix(start);
  bool open = false;  // some marker still fits what has come
  for (const std::string_view marker : kMarkers) {
    const size_t n = std::min(lead.size(), marker.size());
    const bool fits = Same(lead.substr(0, n), marker.substr(0, n));
    if (fits && n == marker.size()) return Verdict::kPage;
    open = open || fits;
  }
  return open ? Verdict::kUndecided : Verdict::kNotPage;
}

}  // namespace

BlockPageCheck::BlockPageCheck(std::string_view content_type, std::string_view target)
    : deciding_(IsHtmlLabel(content_type) && !EndsWith(target, ".htm") && !EndsWith(target, ".html")) {}

bool BlockPageCheck::Look(std::string_view bytes) {
  if (!deciding_ || bytes.empty()) return false;
  lead_.append(bytes.substr(0, kLeadLimit - lead_.size()));
  const Verdict verdict = Judge(lead_, lead_.size() >= kLeadLimit);
  if (verdict == Verdict::kUndecided) return false;
  deciding_ = false;
  lead_.clear();
  return verdict == Verdict::kPage;
}

}  // namespace velmorin
