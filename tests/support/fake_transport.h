// An HTTP transport that answers from memory: the files of one site and the test server's
// fault rules, in real time, so that the download control's contract can be tried without a
// network. Hosts: "site.fake" serves; "refused.fake" refuses; "silent.fake" never connects;
// any "*.invalid" host does not exist.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http_transport.h"

namespace velmorin::test_support {

class FakeSite {
 public:
  void Serve(const std::string& path, const std::string& bytes);
  // Rules as in the test server's faults file, for the site "update".
  void SetFaults(const std::string& rules);
  // "PATH STATUS" per finished request, in that order.
  std::vector<std::string> Requests() const;
  std::unique_ptr<platform::HttpTransport> MakeTransport();

  // Shared with the transports: a worker the control left behind may outlive the site.
  struct State {
    std::mutex mutex;
    std::map<std::string, std::string> files;
    std::string faults;
    std::vector<std::string> requests;
  };

 private:
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace velmorin::test_support
