#include "download/download_control.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <ctime>
#include <deque>
#include <optional>
#include <system_error>

#include "download/body_limits.h"
#include "download/response_body.h"
#include "download/retry_policy.h"
#include "download/transfer_failure.h"
#include "download/transfer_url.h"
#include "download/transfer_worker.h"

namespace velmorin {
namespace {

using platform::FileError;
using platform::FileResult;
using platform::ResponseHead;
using platform::TemporaryFile;
using platform::TransportError;
using Kind = TransferFailureKind;
// Microseconds of the steady clock: whole numbers, so that deadlines compare exactly.
using Micros = int64_t;

constexpr Micros kRenameRetryStep = 100'000;
constexpr Micros kNewsPoll = 2'000;

Micros ToMicros(double seconds) { return std::llround(seconds * 1e6); }
double ToSeconds(Micros us) { return static_cast<double>(us) / 1e6; }

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
    case TransportError::kInternal: return Kind::kInternal;
    default: return Kind::kNetworkError;
  }
}

// What tells one version of a file from another: a strong ETag, else the date it changed.
std::string Validator(const ResponseHead& head) {
  if (!head.etag.empty() && !head.etag.starts_with("W/")) return head.etag;
  return head.last_modified;
}

// "bytes FIRST-LAST/TOTAL" of a partial answer; false when it reads otherwise.
bool ParseContentRange(const std::string& text, int64_t& first, int64_t& last, int64_t& total) {
  long long a = 0, b = 0, c = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "bytes %lld-%lld/%lld%c", &a, &b, &c, &end) != 3) return false;
  first = a;
  last = b;
  total = c;
  return true;
}

struct Sample {
  Micros at;
  int64_t received;
};

class DownloadControl : public platform::DownloadFile {
 public:
  DownloadControl(TransportFactory transports, platform::DownloadFiles& files, platform::Clock& clock,
                  DownloadOptions options)
      : transports_(std::move(transports)), files_(files), clock_(clock), options_(std::move(options)) {}

  void StartTransfer() override;
  bool TransferFailed() const override { return failed_; }
  std::string ResultText() const override { return result_; }
  int HttpStatus() const override { return seen_.head.status; }

 private:
  std::optional<TransferFailure> Run(std::unique_ptr<TemporaryFile>& temp);
  std::optional<TransferFailure> Prepare(std::unique_ptr<TemporaryFile>& temp);
  // One attempt: a GET (and its redirects) from resume_from_ on.
  std::optional<TransferFailure> Attempt(TemporaryFile* temp);
  std::optional<TransferFailure> Watch(Exchange& x, TemporaryFile* temp);
  void Take(Exchange& x, std::vector<std::string>& chunks);
  std::optional<TransferFailure> Store(const std::vector<std::string>& chunks, TemporaryFile* temp);
  std::optional<TransferFailure> Keep(const std::string& chunk, TemporaryFile* temp);
  std::optional<TransferFailure> BodyEnd() const;
  std::optional<TransferFailure> StartBody(TemporaryFile* temp);
  bool ResumesWhereItStopped(const ResponseHead& head) const;
  Micros NextDeadline() const;
  std::optional<TransferFailure> Room(const std::vector<std::string>& chunks, TemporaryFile* temp);
  std::optional<TransferFailure> Deadline();
  std::optional<TransferFailure> Judge() const;
  // Between attempts.
  bool Retried(const TransferFailure& failure) const;
  std::optional<TransferFailure> WaitBeforeNextAttempt(const TransferFailure& failure);
  std::optional<TransferFailure> PlanNextAttempt(TemporaryFile* temp);
  std::optional<TransferFailure> Restart(TemporaryFile* temp);
  // After the last.
  std::optional<TransferFailure> Checked(TemporaryFile& temp) const;
  std::optional<TransferFailure> PutInPlace(TemporaryFile& temp) const;
  std::optional<TransferFailure> WriteInPlace(TemporaryFile& temp) const;
  TransferFailure Failure(Kind kind) const;
  TransferFailure FileFailure(const FileResult& result) const;
  void MaybeReport(int32_t state);
  void Report(int32_t state, bool complete);
  void Note(const std::string& text) const;
  Micros Now() const { return ToMicros(clock_.SteadySeconds()); }

  TransportFactory transports_;
  platform::DownloadFiles& files_;
  platform::Clock& clock_;
  DownloadOptions options_;
  bool failed_ = false;
  std::string result_;

  // What the temporary file holds: kept from an attempt to the one that resumes it, and
  // emptied where the file starts again from its first byte.
  struct FileSoFar {
    int64_t received = 0;  // of the body as sent (a coded body's coded bytes), from the file's first byte
    RoomGuard room;
    std::optional<ResponseBody> body;  // decodes and checks the bytes from the file's first byte
    void Empty() {
      received = 0;
      room = {};
      body.reset();
    }
  };
  // One attempt's, set afresh as it starts.
  struct AttemptState {
    Micros start = 0;
    bool bad_resume = false;  // the server answered the range in a way that cannot be joined
    bool body_judged = false;
    bool body_started = false;
    std::deque<Sample> window;  // received over the last stall window
    Sample first_byte{};
  };

  // One transfer's state, on the calling thread only.
  Micros start_ = 0;
  FileSoFar file_;
  int64_t total_ = -1;  // the whole file's length as sent, -1 while unknown
  std::string validator_;
  double wait_budget_s_ = 0;
  bool cancel_ = false;
  Micros last_report_ = 0;
  int64_t reported_bytes_ = -1;
  int32_t reported_state_ = 0;
  int attempt_ = 0;
  int64_t resume_from_ = 0;  // > 0: this attempt asks for the rest from here
  Seen seen_;
  AttemptState try_;
};

void DownloadControl::StartTransfer() {
  start_ = last_report_ = Now();
  file_.Empty();
  total_ = -1;
  validator_.clear();
  wait_budget_s_ = options_.retry_wait_budget_s;
  cancel_ = false;
  reported_bytes_ = -1;
  reported_state_ = 0;
  seen_ = Seen{.url = SourceUrl};
  resume_from_ = 0;

  std::unique_ptr<TemporaryFile> temp;
  std::optional<TransferFailure> failure = Run(temp);
  Report(3, !failure);
  // The target is not replaced yet, so a cancel handed over in the last report still wins.
  if (!failure && cancel_) failure = Failure(Kind::kCancelled);
  if (!failure && temp) failure = Checked(*temp);
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
  for (attempt_ = 1;; ++attempt_) {
    std::optional<TransferFailure> failure = Attempt(temp.get());
    if (!failure || !Retried(*failure)) return failure;
    if (auto cancelled = WaitBeforeNextAttempt(*failure)) return cancelled;
    if (auto local = PlanNextAttempt(temp.get())) return local;
  }
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

std::optional<TransferFailure> DownloadControl::Attempt(TemporaryFile* temp) {
  seen_ = Seen{.url = SourceUrl};
  try_ = AttemptState{.start = Now()};
  platform::HttpRequest request{.url = SourceUrl};
  if (resume_from_ > 0) {
    request.range_from = resume_from_;
    request.if_range = validator_;
  }
  auto exchange = std::make_shared<Exchange>();
  try {
    StartTransferWorker(exchange, transports_(), std::move(request), options_.max_redirects);
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
  return Watch(*exchange, temp);
}

std::optional<TransferFailure> DownloadControl::Watch(Exchange& x, TemporaryFile* temp) {
  std::vector<std::string> chunks;
  for (;;) {
    Take(x, chunks);
    if (auto failure = Store(chunks, temp)) return failure;
    if (seen_.finished) return Judge();
    if (auto failure = Deadline()) return failure;
    MaybeReport(seen_.body ? 2 : 1);
    if (cancel_) return Failure(Kind::kCancelled);
  }
}

// Waits for news, at most until the next report or deadline may be due, and takes it. The
// wait is short sleeps of the clock, not a timed wait on a condition variable: where the C++
// library times those on the wall clock (mingw-w64), a clock set back by a time sync would
// hold the window that long.
void DownloadControl::Take(Exchange& x, std::vector<std::string>& chunks) {
  chunks.clear();
  const Micros until = std::min(Now() + ToMicros(options_.report_interval_s), NextDeadline());
  for (;;) {
    const Micros now = Now();
    {
      std::lock_guard lock(x.mutex);
      if (!x.chunks.empty() || x.seen.finished) break;
    }
    if (now >= until) break;
    clock_.Sleep(ToSeconds(std::min(until - now, kNewsPoll)));
  }
  {
    std::lock_guard lock(x.mutex);
    chunks.swap(x.chunks);
    x.queued = 0;
    seen_ = x.seen;
  }
  x.taken.notify_all();
}

// The one place body bytes go to the file; what the final response says about its body is
// judged first.
std::optional<TransferFailure> DownloadControl::Store(const std::vector<std::string>& chunks, TemporaryFile* temp) {
  if (seen_.body && !try_.body_judged) {
    try_.body_judged = true;
    if (auto failure = StartBody(temp)) return failure;
  }
  if (auto failure = Room(chunks, temp)) return failure;
  if (chunks.empty()) return std::nullopt;
  if (!try_.body_started) {
    try_.body_started = true;
    try_.window.push_back({Now(), file_.received});
    try_.first_byte = try_.window.back();
  }
  for (const std::string& chunk : chunks) {
    if (auto failure = Keep(chunk, temp)) return failure;
    file_.received += static_cast<int64_t>(chunk.size());
  }
  return std::nullopt;
}

// Writes the file's bytes of a chunk as it came over the wire (its coding undone); the
// progress, the length and a resumed range count the latter.
std::optional<TransferFailure> DownloadControl::Keep(const std::string& chunk, TemporaryFile* temp) {
  if (!file_.body) file_.body.emplace(seen_.head, TargetPath);
  FileResult written;
  const auto refused = file_.body->Add(chunk, [&](std::string_view bytes) {
    if (temp != nullptr) written = temp->Write(bytes.data(), bytes.size());
    return written.ok();
  });
  if (!written.ok()) return FileFailure(written);
  if (!refused) return std::nullopt;
  TransferFailure failure = Failure(*refused);
  failure.coding = file_.body->coding();
  return failure;
}

std::optional<TransferFailure> DownloadControl::BodyEnd() const {
  if (const auto refused = file_.body ? file_.body->End() : std::nullopt) return Failure(*refused);
  return std::nullopt;
}

// A part of the file joins what an earlier attempt wrote only when it is the part asked for
// of the same version; any other 2xx answer is the whole file, from its first byte.
std::optional<TransferFailure> DownloadControl::StartBody(TemporaryFile* temp) {
  const ResponseHead& head = seen_.head;
  if (head.status == 206) {
    if (resume_from_ > 0 && ResumesWhereItStopped(head)) {
      Note("reintento " + std::to_string(attempt_) + " sigue desde el byte " + std::to_string(resume_from_));
      return std::nullopt;
    }
    try_.bad_resume = true;
    return Failure(Kind::kBadResponse);
  }
  if (auto failure = Restart(temp)) return failure;
  total_ = head.content_length;
  validator_ = Validator(head);
  return std::nullopt;
}

bool DownloadControl::ResumesWhereItStopped(const ResponseHead& head) const {
  int64_t first = 0, last = 0, total = 0;
  if (!ParseContentRange(head.content_range, first, last, total)) return false;
  return first == resume_from_ && last == total - 1 && total == total_ && Validator(head) == validator_ &&
         (head.content_length < 0 || head.content_length == total - first);
}

// Up to the first body byte, one deadline from the attempt's start; after it, the moment
// the stall window would close with too little in it.
Micros DownloadControl::NextDeadline() const {
  if (!try_.body_started) return try_.start + ToMicros(options_.connect_timeout_s + options_.stall_timeout_s);
  const auto enough = std::upper_bound(try_.window.begin(), try_.window.end(), file_.received - options_.stall_bytes,
                                       [](int64_t bytes, const Sample& s) { return bytes < s.received; });
  return (enough == try_.window.end() ? Now() : enough->at) + ToMicros(options_.stall_timeout_s);
}

// Before a byte of the body is written: the whole file's announced length, and then each
// batch, must leave the drive its reserve.
std::optional<TransferFailure> DownloadControl::Room(const std::vector<std::string>& chunks, TemporaryFile* temp) {
  int64_t incoming = 0;
  for (const std::string& chunk : chunks) incoming += static_cast<int64_t>(chunk.size());
  const int status = seen_.head.status;
  const bool accepted = seen_.answered && status >= 200 && status <= 299;
  // A coded body may grow: what lies in the file counts.
  const int64_t written = temp != nullptr ? temp->size() : file_.received;
  const auto needed = file_.room.Check(written, incoming, accepted ? total_ : -1,
                                       [temp] { return temp != nullptr ? temp->FreeSpace() : -1; });
  if (!needed) return std::nullopt;
  TransferFailure failure = Failure(Kind::kDiskFull);
  failure.needed = *needed;
  return failure;
}

std::optional<TransferFailure> DownloadControl::Deadline() {
  const Micros now = Now();
  if (try_.body_started) {
    try_.window.push_back({now, file_.received});
    const Micros window_start = now - ToMicros(options_.stall_timeout_s);
    while (try_.window.size() >= 2 && try_.window[1].at <= window_start) try_.window.pop_front();
  }
  const bool slow =
      try_.body_started && BelowRateFloor(ToSeconds(now - try_.first_byte.at),
                                          file_.received - try_.first_byte.received, options_.stall_timeout_s);
  if (!slow && now < NextDeadline()) return std::nullopt;
  TransferFailure failure = Failure(try_.body_started || seen_.connected ? Kind::kStall : Kind::kNoConnectionInTime);
  failure.seconds =
      try_.body_started ? options_.stall_timeout_s : options_.connect_timeout_s + options_.stall_timeout_s;
  return failure;
}

// The end of an attempt: what the worker's last response and its result amount to.
std::optional<TransferFailure> DownloadControl::Judge() const {
  const TransportError error = seen_.result.error;
  if (seen_.too_many_redirects) return Failure(Kind::kTooManyRedirects);
  if (!seen_.bad_location.empty()) {
    TransferFailure failure = Failure(Kind::kBadAddress);
    failure.url = seen_.bad_location;
    return failure;
  }
  const int status = seen_.head.status;
  const bool cut = seen_.body && total_ >= 0 && file_.received < total_;
  if (error == TransportError::kNone || error == TransportError::kConnectionLost) {
    if (status == 407) return Failure(Kind::kProxyAuth);
    if (seen_.answered && (status < 200 || status > 299)) return Failure(Kind::kHttpStatus);
    if (cut) return Failure(Kind::kShortBody);
    if (error == TransportError::kNone) return BodyEnd();
  }
  TransferFailure failure = Failure(KindOf(error));
  failure.code = seen_.result.code;
  return failure;
}

bool DownloadControl::Retried(const TransferFailure& failure) const {
  if (cancel_ || attempt_ >= options_.attempts) return false;
  // A range answered as 416 or by a part that does not fit: the next attempt starts afresh.
  return IsTransient(failure) || try_.bad_resume || (resume_from_ > 0 && seen_.head.status == 416);
}

// Reports go on while it waits, so that a cancel lands within the second.
std::optional<TransferFailure> DownloadControl::WaitBeforeNextAttempt(const TransferFailure& failure) {
  const double retry_after = RetryAfterSeconds(seen_.head.retry_after, std::time(nullptr));
  const double wait_s = RetryWaitSeconds(options_, attempt_, retry_after, wait_budget_s_);
  wait_budget_s_ -= wait_s;
  char wait[48];
  std::snprintf(wait, sizeof wait, "; espera %.1f s", wait_s);
  Note("reintento " + std::to_string(attempt_ + 1) + " de " + std::to_string(options_.attempts) +
       " tras: " + FailureText(failure) + wait);
  const Micros until = Now() + ToMicros(wait_s);
  for (Micros now = Now(); now < until; now = Now()) {
    clock_.Sleep(ToSeconds(std::min(until - now, ToMicros(options_.report_interval_s))));
    MaybeReport(1);
    if (cancel_) return Failure(Kind::kCancelled);
  }
  return std::nullopt;
}

// From where the file stopped when the server can vouch for it being the same version,
// else from its first byte.
std::optional<TransferFailure> DownloadControl::PlanNextAttempt(TemporaryFile* temp) {
  resume_from_ = 0;
  if (try_.bad_resume || seen_.head.status == 416) validator_.clear();
  if (file_.received > 0 && !validator_.empty() && total_ > file_.received) {
    resume_from_ = file_.received;
    return std::nullopt;
  }
  return Restart(temp);
}

std::optional<TransferFailure> DownloadControl::Restart(TemporaryFile* temp) {
  file_.body.reset();
  if (file_.received == 0) return std::nullopt;
  if (temp != nullptr) {
    if (const FileResult emptied = temp->Truncate(); !emptied.ok()) return FileFailure(emptied);
  }
  file_.Empty();
  return std::nullopt;
}

// The caller's word on a complete download before it replaces the target.
std::optional<TransferFailure> DownloadControl::Checked(TemporaryFile& temp) const {
  if (!CheckDownload) return std::nullopt;
  std::optional<std::string> refusal = CheckDownload(temp.Path());
  if (!refusal) return std::nullopt;
  TransferFailure failure = Failure(Kind::kProgramRefused);
  failure.detail = std::move(*refusal);
  return failure;
}

// Replaces the target by an atomic rename, retried for a while when refused (a scanner
// holding the new file); only when another program holds the target open does the content
// go into it in place.
std::optional<TransferFailure> DownloadControl::PutInPlace(TemporaryFile& temp) const {
  if (const FileResult flushed = temp.Flush(); !flushed.ok()) return FileFailure(flushed);
  const Micros give_up = Now() + ToMicros(options_.rename_retry_s);
  for (;;) {
    const FileResult renamed = temp.Rename();
    if (renamed.ok()) return std::nullopt;
    const bool refused = renamed.error == FileError::kInUse || renamed.error == FileError::kAccessDenied;
    if (refused && temp.TargetHeldOpen()) return WriteInPlace(temp);
    if (!refused || Now() >= give_up) return FileFailure(renamed);
    clock_.Sleep(ToSeconds(kRenameRetryStep));
  }
}

// Only with room for all of it and the reserve, so that the target cannot be left half old and
// half new.
std::optional<TransferFailure> DownloadControl::WriteInPlace(TemporaryFile& temp) const {
  const int64_t growth = temp.size() - std::max<int64_t>(0, temp.TargetSize());
  const int64_t room = temp.FreeSpace();
  if (growth > 0 && room >= 0 && room < growth + kRoomReserve) return Failure(Kind::kDiskFull);
  if (const FileResult copied = temp.CopyIntoTarget(); !copied.ok()) return FileFailure(copied);
  return std::nullopt;
}

TransferFailure DownloadControl::Failure(Kind kind) const {
  TransferFailure failure;
  failure.kind = kind;
  failure.url = seen_.url.empty() ? SourceUrl : seen_.url;
  failure.file = FileNameOfUrl(SourceUrl);
  failure.target = TargetPath;
  failure.status = seen_.head.status;
  failure.received = file_.received;
  failure.length = total_;
  failure.max_redirects = options_.max_redirects;
  return failure;
}

TransferFailure DownloadControl::FileFailure(const FileResult& result) const {
  TransferFailure failure = Failure(KindOf(result.error));
  failure.code = result.code;
  return failure;
}

void DownloadControl::MaybeReport(int32_t state) {
  const Micros since = Now() - last_report_;
  const bool news = file_.received != reported_bytes_ || state != reported_state_;
  if (since >= ToMicros(options_.idle_report_s) || (news && since >= ToMicros(options_.report_interval_s))) {
    Report(state, false);
  }
}

void DownloadControl::Report(int32_t state, bool complete) {
  last_report_ = Now();
  reported_bytes_ = file_.received;
  reported_state_ = state;
  if (!TransferProgress) return;
  platform::TransferProgressArgs args;
  args.State = state;
  args.BytesReceived = static_cast<int32_t>(std::min<int64_t>(file_.received, INT32_MAX));
  if (complete) {
    args.Percent = 100;
  } else if (total_ > 0) {
    args.Percent = std::min(100.0, 100.0 * static_cast<double>(file_.received) / static_cast<double>(total_));
  }
  args.ElapsedSeconds = static_cast<int32_t>(std::min<Micros>((last_report_ - start_) / 1'000'000, INT32_MAX));
  TransferProgress(args);
  if (args.Cancel) cancel_ = true;
}

void DownloadControl::Note(const std::string& text) const {
  if (ReportLine) ReportLine(text);
}

}  // namespace

std::unique_ptr<platform::DownloadFile> MakeDownloadControl(TransportFactory transports, platform::DownloadFiles& files,
                                                            platform::Clock& clock, DownloadOptions options) {
  return std::make_unique<DownloadControl>(std::move(transports), files, clock, std::move(options));
}

}  // namespace velmorin
