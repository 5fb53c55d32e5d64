// TestServer: fork and exec of the server binary, whose path the build passes in.
#include "support/test_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace velmorin::test_support {
namespace fs = std::filesystem;
namespace {

using SteadyClock = std::chrono::steady_clock;

std::vector<std::string> Arguments(const std::vector<TestServer::Site>& sites, const fs::path& dir,
                                   const std::string& cert, const std::string& key) {
  std::vector<std::string> args = {VELMORIN_TEST_SERVER_BINARY,     "--ready-file", (dir / "ready").string(), "--log",
                                   (dir / "requests.log").string(), "--faults",     (dir / "faults").string()};
  for (const auto& site : sites) {
    args.push_back(site.tls ? "--tls-site" : "--site");
    args.push_back(site.name + "=0:" + site.root.string());
  }
  if (!cert.empty()) args.insert(args.end(), {"--cert", cert, "--key", key});
  return args;
}

}  // namespace

TestServer::TestServer(std::vector<Site> sites, std::string cert_file, std::string key_file)
    : sites_(std::move(sites)) {
  const auto args = Arguments(sites_, dir_.path(), cert_file, key_file);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // A test program stopped by its hang watch must not leave the server holding CTest's pipe.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  WaitUntilReady();
}

TestServer::~TestServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

void TestServer::WaitUntilReady() {
  const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
  while (!fs::exists(dir_.path() / "ready")) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("velmorin-test-server ended at start");
    }
    if (SteadyClock::now() > deadline) throw std::runtime_error("velmorin-test-server not ready in 5 s");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::istringstream in(ReadFileBytes(dir_.path() / "ready"));
  std::string name;
  int port = 0;
  while (in >> name >> port) ports_[name] = port;
}

std::string TestServer::BaseUrl(const std::string& site) const {
  bool tls = false;
  for (const auto& s : sites_) tls = tls || (s.name == site && s.tls);
  return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(Port(site));
}

void TestServer::SetFaults(const std::string& text) const {
  const fs::path temp = dir_.path() / "faults.new";
  WriteFileBytes(temp, text);
  fs::rename(temp, dir_.path() / "faults");
}

std::vector<TestServer::Request> TestServer::Requests() const {
  std::vector<Request> requests;
  std::istringstream in(ReadFileBytes(dir_.path() / "requests.log"));
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Request r;
    std::getline(fields, r.site, '\t');
    std::getline(fields, r.method, '\t');
    std::getline(fields, r.path, '\t');
    fields >> r.status >> r.bytes;
    requests.push_back(r);
  }
  return requests;
}

std::vector<TestServer::Request> TestServer::WaitForRequests(size_t count, double timeout_s) const {
  const auto deadline = SteadyClock::now() + std::chrono::duration<double>(timeout_s);
  auto requests = Requests();
  while (requests.size() < count && SteadyClock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    requests = Requests();
  }
  return requests;
}

}  // namespace velmorin::test_support
