// The faults file: one rule per line, re-read on every request so that tests can change it.
//
//   [SITE] PATTERN DIRECTIVE [ARG...] [DIRECTIVE [ARG...]]...
//
// SITE is a site name (a first word not starting with '/'); a rule without it applies to
// every site. PATTERN is a request path with * and ? wildcards. The first matching rule
// applies; blank lines and lines starting with # are ignored. Directives:
//   status CODE                    answer CODE with a short text body instead of the file
//   redirect URL                   answer 302 (or the CODE given by status) with Location URL
//   delay SECONDS                  wait before sending the headers
//   close-after BYTES              full Content-Length, but close after BYTES of body
//   extra-length BYTES             Content-Length BYTES larger than the file; close after the file
//   stall-after BYTES SECONDS      after BYTES of body send nothing for SECONDS, then go on
//   rate BYTES_PER_SECOND          send the body no faster than this
//   chunked                        send no Content-Length, in chunked transfer coding
//   header-rate BYTES_PER_SECOND   send the status line and headers no faster than this
//   silence SECONDS                read the request, send nothing for SECONDS, close unanswered
//   times COUNT                    the rule applies to the first COUNT requests it matches only
//   retry-after SECONDS            send Retry-After: SECONDS
//   retry-after-date SECONDS       send Retry-After as the HTTP date SECONDS from now
//   ignore-range                   answer a range request with the whole file
//   ignore-if-range                answer a range request with that part, whatever If-Range says
//   no-validator                   send no ETag
//   coding NAME                    send the body coded with NAME, with Content-Encoding NAME
//   label NAME                     send Content-Encoding NAME with the body as it is
//   type TEXT                      send Content-Type TEXT (one word)
//   block-page                     answer 200 with a web filter's page, as text/html
// header-rate and silence are applied by the front relay of plain-HTTP sites.
#include "faults.h"

#include <zlib.h>

#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

namespace velmorin::test_server {
namespace {

// '*' matches any run of characters, '/' included; '?' any one character.
bool Matches(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0;
  size_t star = std::string_view::npos, resume = 0;  // last '*' seen and where its run ends
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool ToNumber(const std::string& text, double& out) {
  try {
    size_t used = 0;
    out = std::stod(text, &used);
    return used == text.size() && out >= 0;
  } catch (const std::exception&) {
    return false;
  }
}

// The directive without a value named `key`, or nullptr.
bool* Flag(const std::string& key, Fault& fault) {
  if (key == "chunked") return &fault.chunked;
  if (key == "ignore-range") return &fault.ignore_range;
  if (key == "ignore-if-range") return &fault.ignore_if_range;
  if (key == "no-validator") return &fault.no_validator;
  if (key == "block-page") return &fault.blocked;
  return nullptr;
}

// Applies the directives in words[first..]; returns an error text or "".
std::string ParseDirectives(const std::vector<std::string>& words, size_t first, Fault& fault) {
  for (size_t i = first; i < words.size();) {
    const std::string& key = words[i];
    if (bool* flag = Flag(key, fault)) {
      *flag = true;
      ++i;
      continue;
    }
    const size_t arity = key == "stall-after" ? 2 : 1;
    if (i + arity >= words.size()) return "missing value after " + key;
    if (key == "coding" || key == "label" || key == "type") {
      (key == "type" ? fault.type : fault.coding) = words[i + 1];
      fault.coded = key == "coding";
      i += 2;
      continue;
    }
    if (key == "redirect") {
      fault.redirect = words[i + 1];
      if (fault.status == 0) fault.status = 302;
      i += 2;
      continue;
    }
    if (key == "retry-after") {
      fault.retry_after = words[i + 1];
      i += 2;
      continue;
    }
    double a = 0, b = 0;
    if (!ToNumber(words[i + 1], a) || (arity == 2 && !ToNumber(words[i + 2], b))) {
      return "bad number after " + key;
    }
    if (key == "status")
      fault.status = static_cast<int>(a);
    else if (key == "delay")
      fault.delay_s = a;
    else if (key == "close-after")
      fault.close_after = static_cast<int64_t>(a);
    else if (key == "extra-length")
      fault.extra_length = static_cast<int64_t>(a);
    else if (key == "rate")
      fault.rate = a;
    else if (key == "header-rate")
      fault.header_rate = a;
    else if (key == "silence")
      fault.silence_s = a;
    else if (key == "times")
      fault.times = static_cast<int>(a);
    else if (key == "retry-after-date")
      fault.retry_after_date_s = a;
    else if (key == "stall-after") {
      fault.stall_after = static_cast<int64_t>(a);
      fault.stall_s = b;
    } else {
      return "unknown directive " + key;
    }
    i += 1 + arity;
  }
  return "";
}

}  // namespace

std::string Deflate(const std::string& plain, int window_bits) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY) != Z_OK) return "";
  std::string out(deflateBound(&z, static_cast<uLong>(plain.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Coded ApplyCoding(const Fault& fault, std::string plain) {
  Coded coded{std::move(plain), fault.type.empty() ? "application/octet-stream" : fault.type, fault.coding};
  if (fault.blocked) coded = {kBlockPage, "text/html; charset=utf-8", fault.coding};
  if (!fault.coded) return coded;
  if (fault.coding == "gzip" || fault.coding == "x-gzip") coded.body = Deflate(coded.body, 16 + MAX_WBITS);
  if (fault.coding == "deflate") coded.body = Deflate(coded.body, MAX_WBITS);
  if (fault.coding == "raw-deflate") {
    coded.body = Deflate(coded.body, -MAX_WBITS);
    coded.encoding = "deflate";
  }
  return coded;
}

bool RuleUses::Take(const std::string& text, int line, int times) {
  std::lock_guard lock(mutex_);
  if (text != text_) {
    text_ = text;
    used_.clear();
  }
  if (used_[line] >= times) return false;
  ++used_[line];
  return true;
}

FaultLookup FindFault(const std::string& faults_text, const std::string& site, const std::string& path,
                      RuleUses* uses) {
  std::istringstream in(faults_text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    const auto words = Words(line);
    if (words.empty() || words[0][0] == '#') continue;
    size_t at = 0;
    if (words[0][0] != '/') {
      if (words[0] != site) continue;
      at = 1;
    }
    if (at >= words.size()) return {std::nullopt, "faults line " + std::to_string(number) + ": no path"};
    if (!Matches(words[at], path)) continue;
    Fault fault;
    const std::string error = ParseDirectives(words, at + 1, fault);
    if (!error.empty()) return {std::nullopt, "faults line " + std::to_string(number) + ": " + error};
    if (fault.times >= 0 && uses != nullptr && !uses->Take(faults_text, number, fault.times)) continue;
    return {fault, ""};
  }
  return {};
}

FaultLookup FindFaultInFile(const std::filesystem::path& faults_file, const std::string& site,
                            const std::string& path) {
  if (faults_file.empty()) return {};
  std::ifstream in(faults_file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  // Each write of the file counts afresh, even of the same rules.
  std::error_code ec;
  text << "\n# " << std::filesystem::last_write_time(faults_file, ec).time_since_epoch().count();
  static RuleUses uses;
  return FindFault(text.str(), site, path, &uses);
}

RangePart PartAsked(const Fault& fault, int64_t range_from, const std::string& if_range, const std::string& etag,
                    int64_t size) {
  if (range_from < 0 || fault.ignore_range) return {};
  if (!fault.ignore_if_range && !if_range.empty() && if_range != etag) return {};
  if (range_from >= size) return {416, size, "bytes */" + std::to_string(size)};
  return {206, range_from,
          "bytes " + std::to_string(range_from) + "-" + std::to_string(size - 1) + "/" + std::to_string(size)};
}

}  // namespace velmorin::test_server
