// What tools/wine/run-test.sh prepares for the Windows-layer tests: a scratch drive F: and a
// loopback test server whose site folder, faults file and request log the tests reach
// through Windows paths.
#pragma once

#include <filesystem>
#include <string>

namespace velmorin::test_support {

class WineTestEnv {
 public:
  // The environment of this run; throws when the tests were not started by run-test.sh.
  static const WineTestEnv& Get();

  // "http://127.0.0.1:PORT" + path.
  std::string Url(const std::string& path) const { return url_ + path; }
  // The site over https: with a certificate the prefix trusts, or one it does not; empty
  // when run-test.sh gave none.
  std::string HttpsUrl(const std::string& path, bool trusted) const {
    const std::string& base = trusted ? https_url_ : untrusted_https_url_;
    return base.empty() ? "" : base + path;
  }
  // A URL on which nothing listens.
  std::string DeadUrl(const std::string& path) const { return dead_url_ + path; }
  // Puts a file on the site (path with forward slashes, from the site's root).
  void Serve(const std::string& path, const std::string& bytes) const;
  // Replaces the server's fault rules (read again on every request).
  void SetFaults(const std::string& rules) const;
  // The request log: one "SITE METHOD PATH STATUS BYTES" line per finished request.
  std::string RequestLog() const;
  // The program that tests start as a child process.
  const std::filesystem::path& helper() const { return helper_; }

 private:
  WineTestEnv();
  std::string url_, dead_url_, https_url_, untrusted_https_url_;
  std::filesystem::path site_, faults_, log_, helper_;
};

// A Windows path for a path of the build (Wine shows the Unix root as Z:).
std::filesystem::path WindowsPath(const std::string& build_path);

}  // namespace velmorin::test_support
