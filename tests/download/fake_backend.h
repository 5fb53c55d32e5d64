// The download contract's site in memory (support/fake_transport.h) on its fake clock, over
// the disk of the build it runs on.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "download/download_control.h"
#include "support/fake_transport.h"

namespace velmorin::test_support {

template <class Disk>
class FakeBackend : public Disk {
 public:
  static constexpr bool kSeesACutChunkedBody = true;

  void Serve(const std::string& path, const std::string& bytes) { site_.Serve(path, bytes); }
  void SetFaults(const std::string& rules) { site_.SetFaults(rules); }
  std::string Url(const std::string& path) const { return "http://site.fake" + path; }
  std::string RefusedUrl(const std::string& path) const { return "http://refused.fake" + path; }
  std::string SilentUrl(const std::string& path) const { return "http://silent.fake" + path; }
  std::string HttpsUrl(const std::string&, bool) const { return ""; }
  // Waits a little for `count` requests, as a server's log would be waited for.
  std::vector<std::string> Requests(size_t count) const {
    for (int i = 0; i < 500 && site_.Requests().size() < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return site_.Requests();
  }
  TransportFactory Transports() {
    return [this] { return site_.MakeTransport(); };
  }
  platform::Clock& Clock() { return site_.Clock(); }

 private:
  FakeSite site_;
};

}  // namespace velmorin::test_support
