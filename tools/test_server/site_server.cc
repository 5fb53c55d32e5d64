// SiteServer: answers every request from its folder, through the faults of the faults file,
// and records it in the request log (a complete response just before its last bytes).
#include "site_server.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include <httplib.h>

#include "faults.h"
#include "relay.h"
#include "sender.h"

namespace velmorin::test_server {
namespace {

void SleepSeconds(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::string HttpDateIn(double seconds) {
  const std::time_t at = std::time(nullptr) + static_cast<std::time_t>(seconds);
  std::tm tm{};
  ::gmtime_r(&at, &tm);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return text;
}

// A file's answer: its validator, and the part of the body as sent that a range asks for
// when If-Range (if any) names this version of it.
void AnswerRange(const Fault& fault, const RelayedRequest& request, const std::string& etag, Body& body, int& status,
                 httplib::Response& res) {
  if (!fault.no_validator) res.set_header("ETag", etag);
  long long from = -1;
  char end = 0;
  if (std::sscanf(request.range.c_str(), "bytes=%lld-%c", &from, &end) != 1) from = -1;
  const RangePart part = PartAsked(fault, from, request.if_range, etag, body.size());
  status = part.status;
  if (!part.content_range.empty()) res.set_header("Content-Range", part.content_range);
  body.Skip(part.from);
}

// The body as `coding`, `type` and `block-page` make it; the content type to send.
std::string Dress(const Fault& fault, std::unique_ptr<Body>& body, int& status, httplib::Response& res) {
  if (fault.coding.empty() && fault.type.empty() && !fault.blocked) return "application/octet-stream";
  std::string plain(static_cast<size_t>(body->size()), '\0');
  body->Read(0, plain.data(), body->size());
  Coded coded = ApplyCoding(fault, std::move(plain));
  if (fault.blocked) status = 200;
  if (!coded.encoding.empty()) res.set_header("Content-Encoding", coded.encoding);
  body = std::make_unique<Body>(std::move(coded.body));
  return coded.type;
}

}  // namespace

SiteServer::SiteServer(SiteConfig config, const Shared& shared) : config_(std::move(config)), shared_(shared) {
  if (config_.tls) {
    server_ = std::make_unique<httplib::SSLServer>(shared_.cert_path.c_str(), shared_.key_path.c_str());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  Install();
}

SiteServer::~SiteServer() = default;

RelayedRequest SiteServer::Lookup(const std::string& path, int remote_port) {
  if (auto relayed = handoff_.Take(remote_port)) return *relayed;
  FaultLookup lookup = FindFaultInFile(shared_.faults_path, config_.name, path);
  if (config_.tls && lookup.fault && (lookup.fault->header_rate > 0 || lookup.fault->silence_s >= 0)) {
    lookup = {std::nullopt, "header-rate and silence apply to plain-HTTP sites only"};
  }
  return {lookup, nullptr};
}

void SiteServer::Install() {
  auto handler = [this](const httplib::Request& req, httplib::Response& res) {
    RelayedRequest relayed = Lookup(req.path, req.remote_port);
    if (!relayed.client) {
      relayed.range = req.get_header_value("Range");
      relayed.if_range = req.get_header_value("If-Range");
    }
    const FaultLookup& lookup = relayed.lookup;
    Fault fault = lookup.fault.value_or(Fault{});
    SleepSeconds(fault.delay_s);
    int status = 500;
    bool file = false;
    std::unique_ptr<Body> body;
    if (!lookup.error.empty()) {
      fault = Fault{};
      body = std::make_unique<Body>(lookup.error + "\n");
    } else if (fault.status != 0) {
      status = fault.status;
      if (!fault.redirect.empty()) res.set_header("Location", fault.redirect);
      body = std::make_unique<Body>("status " + std::to_string(status) + "\n");
    } else if (req.method != "GET" && req.method != "HEAD") {
      status = 405;
      body = std::make_unique<Body>("method not allowed\n");
    } else {
      body = OpenFile(config_.root, req.path, status);
      if (!body) body = std::make_unique<Body>(std::to_string(status) + "\n");
      file = status == 200;
    }
    if (!fault.retry_after.empty()) res.set_header("Retry-After", fault.retry_after);
    if (fault.retry_after_date_s >= 0) res.set_header("Retry-After", HttpDateIn(fault.retry_after_date_s));
    const std::string etag = body->etag();
    const std::string type = Dress(fault, body, status, res);
    if (file && !fault.blocked) AnswerRange(fault, relayed, etag, *body, status, res);
    res.status = status;
    auto sender = std::make_shared<Sender>(std::move(body), fault,
                                           LogEntry{shared_.log, config_.name, req.method, req.path, status},
                                           std::move(relayed.client));
    auto finish = [sender](bool) { sender->Finish(); };
    if (fault.chunked) {
      res.set_chunked_content_provider(
          type,
          [sender](size_t offset, httplib::DataSink& sink) {
            return sender->ProvideChunked(static_cast<int64_t>(offset), sink);
          },
          finish);
      return;
    }
    res.set_content_provider(
        static_cast<size_t>(sender->declared_length()), type,
        [sender](size_t offset, size_t len, httplib::DataSink& sink) {
          return sender->Provide(static_cast<int64_t>(offset), static_cast<int64_t>(len), sink);
        },
        finish);
  };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->Put(".*", handler);
  server_->Delete(".*", handler);
}

int SiteServer::Bind(const std::string& host) {
  if (!server_->is_valid()) return -1;
  if (config_.tls && config_.port == 0) return config_.port = server_->bind_to_any_port(host);
  if (config_.tls) return server_->bind_to_port(host, config_.port) ? config_.port : -1;
  const int internal_port = server_->bind_to_any_port("127.0.0.1");
  if (internal_port < 0) return -1;
  relay_ = std::make_unique<FrontRelay>(
      RelayTarget{config_.name, internal_port, shared_.faults_path, shared_.log, &handoff_});
  const int port = relay_->Bind(host, config_.port);
  return port < 0 ? -1 : config_.port = port;
}

void SiteServer::Run() {
  if (!relay_) {
    server_->listen_after_bind();
    return;
  }
  std::thread internal([this] { server_->listen_after_bind(); });
  relay_->Run();
  internal.join();
}

void SiteServer::Stop() {
  if (relay_) relay_->Stop();
  server_->stop();
}

}  // namespace velmorin::test_server
