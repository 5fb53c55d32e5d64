// velmorin-test-server: serves folders over loopback HTTP, one port per site, logging every
// request and injecting the faults named in a faults file. Usage in README.md.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "site_server.h"

namespace velmorin::test_server {
namespace {

struct Options {
  std::string host = "127.0.0.1";
  std::vector<SiteConfig> sites;
  std::string ready_file, log_file, faults_file, cert, key;
};

constexpr char kUsage[] =
    "usage: velmorin-test-server --site NAME=PORT:FOLDER [--site ...] [--tls-site NAME=PORT:FOLDER]\n"
    "         [--cert FILE --key FILE] [--host ADDRESS] [--ready-file FILE] [--log FILE]\n"
    "         [--faults FILE]\n"
    "PORT 0 picks a free port; the ready file lists \"NAME PORT\" once every site listens.\n";

bool ParseSite(const std::string& text, bool tls, SiteConfig& site) {
  const size_t eq = text.find('=');
  const size_t colon = text.find(':', eq == std::string::npos ? 0 : eq);
  if (eq == std::string::npos || eq == 0 || colon == std::string::npos) return false;
  site.name = text.substr(0, eq);
  try {
    site.port = std::stoi(text.substr(eq + 1, colon - eq - 1));
  } catch (const std::exception&) {
    return false;
  }
  site.root = std::filesystem::absolute(text.substr(colon + 1));
  site.tls = tls;
  return site.port >= 0 && site.port < 65536;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (arg == "--site" || arg == "--tls-site") {
      SiteConfig site;
      if (!ParseSite(value, arg == "--tls-site", site)) return false;
      options.sites.push_back(site);
    } else if (arg == "--host")
      options.host = value;
    else if (arg == "--ready-file")
      options.ready_file = value;
    else if (arg == "--log")
      options.log_file = value;
    else if (arg == "--faults")
      options.faults_file = value;
    else if (arg == "--cert")
      options.cert = value;
    else if (arg == "--key")
      options.key = value;
    else
      return false;
  }
  return !options.sites.empty();
}

// Written whole under another name and renamed, so a reader never sees half of it.
bool WriteReadyFile(const std::string& path, const std::vector<SiteConfig>& sites) {
  if (path.empty()) return true;
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto& site : sites) out << site.name << ' ' << site.port << '\n';
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

int Serve(const Options& options) {
  RequestLog log(options.log_file);
  Shared shared{options.faults_file, &log, options.cert, options.key};
  std::vector<std::unique_ptr<SiteServer>> servers;
  std::vector<SiteConfig> bound;
  for (const auto& site : options.sites) {
    servers.push_back(std::make_unique<SiteServer>(site, shared));
    if (servers.back()->Bind(options.host) < 0) {
      std::fprintf(stderr, "velmorin-test-server: cannot listen for site %s on %s:%d\n", site.name.c_str(),
                   options.host.c_str(), site.port);
      return 1;
    }
    bound.push_back(servers.back()->config());
  }
  if (!WriteReadyFile(options.ready_file, bound)) {
    std::fprintf(stderr, "velmorin-test-server: cannot write %s\n", options.ready_file.c_str());
    return 1;
  }
  std::vector<std::thread> threads;
  for (auto& server : servers) threads.emplace_back([&server] { server->Run(); });
  for (auto& thread : threads) thread.join();
  return 0;
}

}  // namespace
}  // namespace velmorin::test_server

int main(int argc, char** argv) {
  // A client that leaves must cost its connection, not the process.
  std::signal(SIGPIPE, SIG_IGN);
  velmorin::test_server::Options options;
  if (!velmorin::test_server::ParseOptions(argc, argv, options)) {
    std::fputs(velmorin::test_server::kUsage, stderr);
    return 2;
  }
  return velmorin::test_server::Serve(options);
}
