#include "download/download_control.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <deque>
#include <optional>
#include <system_error>
#include <thread>

#include "download/response_body.h"
#include "download/transfer_failure.h"
#include "download/transfer_url.h"
#include "download/transfer_worker.h"

namespace velmorin {
namespace {

using platform::FileError;
using platform::FileResult;
using platform::TemporaryFile;
using platform::TransportError;
using SteadyClock = std::chrono::steady_clock;
using Kind = TransferFailureKind;

constexpr auto kRenameRetryStep = std::chrono::milliseconds(100);
constexpr auto kNewsPoll = std::chrono::milliseconds(2);

double SecondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

std::chrono::microseconds Duration(double seconds) {
  return std::chrono::microseconds(std::max<long long>(1000, static_cast<long long>(seconds * 1e6)));
}

Kind KindOf(FileError error) {
  switch (error) {
    case FileError::kFolderMissing: return Kind::kFolderMissing;
    case FileError::kIsFolder: return Kind::kTargetIsFolder;
    case FileError::kDiskFull: return Kind::kDiskFull;
    case FileError::kAccessDenied: return Kind::kAccessDenied;
    case FileError::kInUse: return Kind::kTargetInUse;
    default: return Kind::kDiskError;
  }
}

Kind KindOf(TransportError error) {
  switch (error) {
    case TransportError::kBadAddress: return Kind::kBadAddress;
    case TransportError::kHostNotFound: return Kind::kHostNotFound;
    case TransportError::kRefused: return Kind::kRefused;
    case TransportError::kUnreachable: return Kind::kUnreachable;
    case TransportError::kConnectTimeout: return Kind::kNoConnectionInTime;
    case TransportError::kNoAnswer: return Kind::kNoAnswer;
    case TransportError::kConnectionLost: return Kind::kConnectionLost;
    case TransportError::kBadResponse: return Kind::kBadResponse;
    case TransportError::kProxyAuth: return Kind::kProxyAuth;
    case TransportError::kCertificate: return Kind::kCertificate;
    case TransportError::kSecureChannel: return Kind::kSecureChannel;
    default: return Kind::kNetworkError;
  }
}

// The worker's state as the control last took it.
struct Seen {
  std::string url;
  bool connected = false;
  bool answered = false;
  int status = 0;
  int64_t length = -1;
  bool too_many_redirects = false;
  std::string bad_location;
  bool finished = false;
  platform::TransportResult result;
  platform::ResponseHead head;
};

struct Sample {
  SteadyClock::time_point at;
  int64_t received;
};

class DownloadControl : public platform::DownloadFile {
 public:
  DownloadControl(TransportFactory transports, platform::DownloadFiles& files, DownloadOptions options)
      : transports_(std::move(transports)), files_(files), options_(std::move(options)) {}

  void StartTransfer() override;
  bool TransferFailed() const override { return failed_; }
  std::string ResultText() const override { return result_; }
  int HttpStatus() const override { return seen_.status; }

 private:
  std::optional<TransferFailure> Run(std::unique_ptr<TemporaryFile>& temp);
  std::optional<TransferFailure> Prepare(std::unique_ptr<TemporaryFile>& temp);
  std::optional<TransferFailure> Watch(Exchange& x, TemporaryFile* temp);
  void Take(Exchange& x, std::vector<std::string>& chunks);
  std::optional<TransferFailure> Store(const std::vector<std::string>& chunks, TemporaryFile* temp);
  std::optional<TransferFailure> Keep(const std::string& chunk, TemporaryFile* temp);
  std::optional<TransferFailure> BodyEnd() const;
  std::optional<TransferFailure> Deadline();
  std::optional<TransferFailure> Judge() const;
  std::optional<TransferFailure> PutInPlace(TemporaryFile& temp) const;
  std::optional<TransferFailure> WriteInPlace(TemporaryFile& temp) const;
  TransferFailure Failure(Kind kind) const;
  TransferFailure FileFailure(const FileResult& result) const;
  void MaybeReport();
  void Report(int32_t state, bool complete);
  int32_t State() const { return seen_.answered ? 2 : 1; }

  TransportFactory transports_;
  platform::DownloadFiles& files_;
  DownloadOptions options_;
  bool failed_ = false;
  std::string result_;

  // One transfer's state, on the calling thread only.
  Seen seen_;
  int64_t received_ = 0;
  bool body_started_ = false;
  std::optional<ResponseBody> body_;  // of the final answer, from its first byte
  std::deque<Sample> window_;         // received over the last stall window
  SteadyClock::time_point start_;
  SteadyClock::time_point last_report_;
  int64_t reported_bytes_ = -1;
  int32_t reported_state_ = 0;
  bool cancel_ = false;
};

void DownloadControl::StartTransfer() {
  seen_ = Seen{.url = SourceUrl};
  received_ = 0;
  body_started_ = false;
  body_.reset();
  window_.clear();
  start_ = last_report_ = SteadyClock::now();
  reported_bytes_ = -1;
  reported_state_ = 0;
  cancel_ = false;

  std::unique_ptr<TemporaryFile> temp;
  std::optional<TransferFailure> failure = Run(temp);
  Report(3, !failure);
  // The target is not replaced yet, so a cancel handed over in the last report still wins.
  if (!failure && cancel_) failure = Failure(Kind::kCancelled);
  if (!failure && temp) failure = PutInPlace(*temp);
  temp.reset();
  failed_ = failure && failure->kind != Kind::kCancelled;
  result_ = failure ? FailureText(*failure) : "OK";
}

std::optional<TransferFailure> DownloadControl::Run(std::unique_ptr<TemporaryFile>& temp) {
  Report(1, false);
  if (cancel_) return Failure(Kind::kCancelled);
  if (!ParseTransferUrl(SourceUrl)) return Failure(Kind::kBadAddress);
  if (auto failure = Prepare(temp)) return failure;
  auto exchange = std::make_shared<Exchange>();
  try {
    StartTransferWorker(exchange, transports_(), SourceUrl, options_.max_redirects);
  } catch (const std::system_error& e) {
    TransferFailure failure = Failure(Kind::kNetworkError);
    failure.code = e.code().value();
    return failure;
  }
  // However this ends (a handler may even throw), the worker is told to give up.
  struct Stopper {
    Exchange& x;
    ~Stopper() { x.Stop(); }
  } stopper{*exchange};
  return Watch(*exchange, temp.get());
}

// The target's folder and a temporary file beside it, before any request.
std::optional<TransferFailure> DownloadControl::Prepare(std::unique_ptr<TemporaryFile>& temp) {
  if (TargetPath.empty()) return std::nullopt;  // fetched and discarded
  if (const FileResult check = files_.CheckTarget(TargetPath); !check.ok()) return FileFailure(check);
  files_.RemoveStaleTemporaries(TargetPath);
  FileResult error;
  temp = files_.CreateTemporary(TargetPath, error);
  if (!temp) return FileFailure(error);
  return std::nullopt;
}

std::optional<TransferFailure> DownloadControl::Watch(Exchange& x, TemporaryFile* temp) {
  std::vector<std::string> chunks;
  for (;;) {
    Take(x, chunks);
    if (auto failure = Store(chunks, temp)) return failure;
    if (seen_.finished) return Judge();
    if (auto failure = Deadline()) return failure;
    MaybeReport();
    if (cancel_) return Failure(Kind::kCancelled);
  }
}

// Waits for news, at most until the next report may be due, and takes it. The wait is short
// sleeps, not a timed wait on a condition variable: where the C++ library times those on the
// wall clock (mingw-w64), a clock set back by a time sync would hold the window that long.
void DownloadControl::Take(Exchange& x, std::vector<std::string>& chunks) {
  chunks.clear();
  const auto until = SteadyClock::now() + Duration(options_.report_interval_s);
  {
    std::unique_lock lock(x.mutex);
    while (x.chunks.empty() && !x.finished && SteadyClock::now() < until) {
      lock.unlock();
      std::this_thread::sleep_for(kNewsPoll);
      lock.lock();
    }
    chunks.swap(x.chunks);
    x.queued = 0;
    seen_ = Seen{x.url,          x.connected, x.answered, x.status, x.length, x.too_many_redirects,
                 x.bad_location, x.finished,  x.result,   x.head};
  }
  x.taken.notify_all();
}

std::optional<TransferFailure> DownloadControl::Store(const std::vector<std::string>& chunks, TemporaryFile* temp) {
  if (chunks.empty()) return std::nullopt;
  if (!body_started_) {
    body_started_ = true;
    window_.push_back({SteadyClock::now(), 0});
  }
  for (const std::string& chunk : chunks) {
    if (auto failure = Keep(chunk, temp)) return failure;
    received_ += static_cast<int64_t>(chunk.size());
  }
  return std::nullopt;
}

std::optional<TransferFailure> DownloadControl::Deadline() {
  const auto now = SteadyClock::now();
  if (!body_started_) {
    const double limit = options_.connect_timeout_s + options_.stall_timeout_s;
    if (SecondsBetween(start_, now) < limit) return std::nullopt;
    TransferFailure failure = Failure(seen_.connected ? Kind::kStall : Kind::kNoConnectionInTime);
    failure.seconds = limit;
    return failure;
  }
  window_.push_back({now, received_});
  const auto window_start = now - Duration(options_.stall_timeout_s);
  while (window_.size() >= 2 && window_[1].at <= window_start) window_.pop_front();
  if (window_.front().at > window_start || received_ - window_.front().received >= options_.stall_bytes) {
    return std::nullopt;
  }
  TransferFailure failure = Failure(Kind::kStall);
  failure.seconds = options_.stall_timeout_s;
  return failure;
}

std::optional<TransferFailure> DownloadControl::Judge() const {
  const TransportError error = seen_.result.error;
  if (seen_.too_many_redirects) return Failure(Kind::kTooManyRedirects);
  if (!seen_.bad_location.empty()) {
    TransferFailure failure = Failure(Kind::kBadAddress);
    failure.url = seen_.bad_location;
    return failure;
  }
  const bool cut = seen_.length >= 0 && received_ < seen_.length;
  if (error == TransportError::kNone || error == TransportError::kConnectionLost) {
    if (seen_.status == 407) return Failure(Kind::kProxyAuth);
    if (seen_.answered && (seen_.status < 200 || seen_.status > 299)) return Failure(Kind::kHttpStatus);
    if (cut) return Failure(Kind::kShortBody);
    if (error == TransportError::kNone) return BodyEnd();
  }
  TransferFailure failure = Failure(KindOf(error));
  failure.code = seen_.result.code;
  return failure;
}

// Writes the file's bytes of a chunk as it came over the wire; the progress counts the latter.
std::optional<TransferFailure> DownloadControl::Keep(const std::string& chunk, TemporaryFile* temp) {
  if (!body_) body_.emplace(seen_.head, TargetPath);
  FileResult written;
  const auto refused = body_->Add(chunk, [&](std::string_view bytes) {
    if (temp != nullptr) written = temp->Write(bytes.data(), bytes.size());
    return written.ok();
  });
  if (!written.ok()) return FileFailure(written);
  if (!refused) return std::nullopt;
  TransferFailure failure = Failure(*refused);
  failure.coding = body_->coding();
  return failure;
}

std::optional<TransferFailure> DownloadControl::BodyEnd() const {
  if (const auto refused = body_ ? body_->End() : std::nullopt) return Failure(*refused);
  return std::nullopt;
}

// Replaces the target by an atomic rename, retried for a while when refused; only when
// another program holds the target open does the content go into it in place.
std::optional<TransferFailure> DownloadControl::PutInPlace(TemporaryFile& temp) const {
  if (const FileResult flushed = temp.Flush(); !flushed.ok()) return FileFailure(flushed);
  const auto give_up = SteadyClock::now() + Duration(options_.rename_retry_s);
  for (;;) {
    const FileResult renamed = temp.Rename();
    if (renamed.ok()) return std::nullopt;
    const bool refused = renamed.error == FileError::kInUse || renamed.error == FileError::kAccessDenied;
    if (refused && temp.TargetHeldOpen()) return WriteInPlace(temp);
    if (renamed.error != FileError::kInUse || SteadyClock::now() >= give_up) return FileFailure(renamed);
    std::this_thread::sleep_for(kRenameRetryStep);
  }
}

// Only with room for all of it, so that the target cannot be left half old and half new.
std::optional<TransferFailure> DownloadControl::WriteInPlace(TemporaryFile& temp) const {
  const int64_t growth = temp.size() - std::max<int64_t>(0, temp.TargetSize());
  const int64_t room = temp.FreeSpace();
  if (growth > 0 && room >= 0 && room < growth) return Failure(Kind::kDiskFull);
  if (const FileResult copied = temp.CopyIntoTarget(); !copied.ok()) return FileFailure(copied);
  return std::nullopt;
}

TransferFailure DownloadControl::Failure(Kind kind) const {
  TransferFailure failure;
  failure.kind = kind;
  failure.url = seen_.url.empty() ? SourceUrl : seen_.url;
  failure.file = FileNameOfUrl(SourceUrl);
  failure.target = TargetPath;
  failure.status = seen_.status;
  failure.received = received_;
  failure.length = seen_.length;
  failure.max_redirects = options_.max_redirects;
  return failure;
}

TransferFailure DownloadControl::FileFailure(const FileResult& result) const {
  TransferFailure failure = Failure(KindOf(result.error));
  failure.code = result.code;
  return failure;
}

void DownloadControl::MaybeReport() {
  const double since = SecondsBetween(last_report_, SteadyClock::now());
  const bool news = received_ != reported_bytes_ || State() != reported_state_;
  if (since >= options_.idle_report_s || (news && since >= options_.report_interval_s)) Report(State(), false);
}

void DownloadControl::Report(int32_t state, bool complete) {
  last_report_ = SteadyClock::now();
  reported_bytes_ = received_;
  reported_state_ = state;
  if (!TransferProgress) return;
  platform::TransferProgressArgs args;
  args.State = state;
  args.BytesReceived = static_cast<int32_t>(std::min<int64_t>(received_, INT32_MAX));
  if (complete) {
    args.Percent = 100;
  } else if (seen_.length > 0 && seen_.status >= 200 && seen_.status <= 299) {
    args.Percent = std::min(100.0, 100.0 * static_cast<double>(received_) / static_cast<double>(seen_.length));
  }
  args.ElapsedSeconds = static_cast<int32_t>(std::min<double>(SecondsBetween(start_, last_report_), INT32_MAX));
  TransferProgress(args);
  if (args.Cancel) cancel_ = true;
}

}  // namespace

std::unique_ptr<platform::DownloadFile> MakeDownloadControl(TransportFactory transports, platform::DownloadFiles& files,
                                                            DownloadOptions options) {
  return std::make_unique<DownloadControl>(std::move(transports), files, std::move(options));
}

}  // namespace velmorin
