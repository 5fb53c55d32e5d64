#include "download/transfer_url.h"

#include <algorithm>
#include <vector>

#include "common/run_report.h"

namespace velmorin {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return text;
}

// "/a/b/../c/./d" -> "/a/c/d", as a browser reads a relative Location.
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> kept;
  bool trailing = false;
  for (size_t at = 1;;) {
    const size_t end = std::min(path.find('/', at), path.size());
    const std::string segment = path.substr(at, end - at);
    const bool last = end == path.size();
    if (segment == "..") {
      if (!kept.empty()) kept.pop_back();
      trailing = last;
    } else if (segment == ".") {
      trailing = last;
    } else {
      kept.push_back(segment);
      trailing = false;
    }
    if (last) break;
    at = end + 1;
  }
  std::string out;
  for (const auto& segment : kept) out += "/" + segment;
  return trailing || out.empty() ? out + "/" : out;
}

}  // namespace

std::optional<TransferUrl> ParseTransferUrl(const std::string& url) {
  const size_t colon = url.find("://");
  if (colon == std::string::npos) return std::nullopt;
  TransferUrl parts;
  parts.scheme = Lower(url.substr(0, colon));
  if (parts.scheme != "http" && parts.scheme != "https") return std::nullopt;
  const size_t start = colon + 3;
  const size_t end = std::min(url.find_first_of("/?#", start), url.size());
  parts.authority = url.substr(start, end - start);
  if (parts.authority.empty() || parts.authority.find_first_of(" \t\r\n") != std::string::npos) return std::nullopt;
  parts.path = url.substr(end);
  const size_t fragment = parts.path.find('#');
  if (fragment != std::string::npos) parts.path.erase(fragment);
  if (parts.path.empty() || parts.path[0] != '/') parts.path.insert(parts.path.begin(), '/');
  return parts;
}

std::optional<std::string> ResolveRedirect(const std::string& base, const std::string& location) {
  const auto from = ParseTransferUrl(base);
  const std::string target = location.substr(0, location.find('#'));
  if (!from || target.empty()) return std::nullopt;
  if (target.find("://") != std::string::npos) {
    const auto to = ParseTransferUrl(target);
    // What came over a secure connection never goes on in the clear.
    if (!to || (from->scheme == "https" && to->scheme != "https")) return std::nullopt;
    return target;
  }
  if (target.rfind("//", 0) == 0) {
    const std::string absolute = from->scheme + ":" + target;
    return ParseTransferUrl(absolute) ? std::optional(absolute) : std::nullopt;
  }
  const size_t query = std::min(target.find('?'), target.size());
  std::string path = target.substr(0, query);
  const std::string base_path = from->path.substr(0, from->path.find('?'));
  if (path.empty())
    path = base_path;
  else if (path[0] != '/')
    path = base_path.substr(0, base_path.rfind('/') + 1) + path;
  return from->scheme + "://" + from->authority + RemoveDotSegments(path) + target.substr(query);
}

std::string FileNameOfUrl(const std::string& url) {
  const auto parts = ParseTransferUrl(url);
  if (!parts) return WithoutCredentials(url);
  const std::string path = parts->path.substr(0, parts->path.find('?'));
  const std::string name = path.substr(path.rfind('/') + 1);
  return name.empty() ? WithoutCredentials(url) : name;
}

std::string HostOfUrl(const std::string& url) {
  const auto parts = ParseTransferUrl(url);
  return parts ? parts->authority.substr(parts->authority.rfind('@') + 1) : WithoutCredentials(url);
}

}  // namespace velmorin
