// Faults injected per request path, read from a small text file (format in README.md and
// faults.cc).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace velmorin::test_server {

struct Fault {
  int status = 0;            // 0: serve the file
  std::string redirect;      // Location of a redirect
  double delay_s = 0;        // before the headers
  int64_t close_after = -1;  // close after this many body bytes (-1: never)
  int64_t extra_length = 0;  // declared Content-Length exceeds the body by this much
  int64_t stall_after = -1;  // pause after this many body bytes (-1: never)
  double stall_s = 0;
  double rate = 0;                 // body bytes per second (0: unlimited)
  bool chunked = false;            // no Content-Length: chunked transfer coding
  double header_rate = 0;          // status and header bytes per second (0: unlimited)
  double silence_s = -1;           // read the request, say nothing this long, close (-1: answer)
  int times = -1;                  // the rule applies to the first `times` requests it matches (-1: all)
  std::string retry_after;         // a Retry-After header as given (seconds)
  double retry_after_date_s = -1;  // a Retry-After header: the HTTP date this many seconds on
  bool ignore_range = false;       // the whole file, whatever Range asks
  bool ignore_if_range = false;    // the part asked for even of another version (a bad cache)
  bool no_validator = false;       // no ETag
  std::string coding;              // Content-Encoding of the file's body
  bool coded = false;              // the body is coded as `coding` says (else sent as it is)
  std::string type;                // Content-Type ("": application/octet-stream)
  bool blocked = false;            // a web filter's page, status 200, instead of the file
};

// How often each rule limited by `times` has applied; forgotten when the faults file is written.
class RuleUses {
 public:
  // True, and counted, when the rule on `line` of `text` may apply once more.
  bool Take(const std::string& text, int line, int times);

 private:
  std::mutex mutex_;
  std::string text_;
  std::map<int, int> used_;
};

// What a web filter answers in a blocked file's place.
inline constexpr char kBlockPage[] =
    "\r\n<!DOCTYPE html>\n<html><head><title>Acceso bloqueado</title></head>\n"
    "<body><h1>Acceso bloqueado</h1><p>La pol&iacute;tica de esta red no permite el acceso a este sitio.</p>"
    "</body></html>\n";

// The body and its headers as a fault sends them, from the file's or status text's own bytes.
struct Coded {
  std::string body;
  std::string type;
  std::string encoding;  // Content-Encoding, "" for none
};
// Coded: gzip and x-gzip give a gzip stream, deflate a zlib stream, raw-deflate bare deflate
// data labelled "deflate", any other coding the bytes as they are, under that label.
Coded ApplyCoding(const Fault& fault, std::string plain);
// `plain` compressed as zlib's window bits say: 15 a zlib stream, 16 + 15 gzip, -15 bare deflate.
std::string Deflate(const std::string& plain, int window_bits);

// The part of a file's body a request gets, on the bytes as sent (coded, when a coding
// applies): from `from` with 206, nothing with 416 past the end, or the whole with 200 when it
// asks for no range, the fault ignores ranges, or If-Range names another version.
struct RangePart {
  int status = 200;
  int64_t from = 0;
  std::string content_range;  // "" for the whole
};
// `range_from`: the first byte an open range ("bytes=N-") asks for, -1 for none.
RangePart PartAsked(const Fault& fault, int64_t range_from, const std::string& if_range, const std::string& etag,
                    int64_t size);

struct FaultLookup {
  std::optional<Fault> fault;  // the first rule matching site and path
  std::string error;           // a malformed rule: the server answers 500 with this text
};

// Looks `path` of `site` up in the text of a faults file; a rule limited by `times` counts
// its uses in `uses` (without it, such a rule always applies).
FaultLookup FindFault(const std::string& faults_text, const std::string& site, const std::string& path,
                      RuleUses* uses = nullptr);
// The same in the faults file itself, counted for the whole process; an empty path or a
// missing file means no faults.
FaultLookup FindFaultInFile(const std::filesystem::path& faults_file, const std::string& site, const std::string& path);

}  // namespace velmorin::test_server
