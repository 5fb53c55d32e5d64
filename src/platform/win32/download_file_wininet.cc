// WinInetDownloadFile: WinINet blocks, so the transfer runs on a worker thread while the
// calling (window) thread raises the progress reports and hands a cancel over.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "common/cp1252.h"
#include "platform/win32/win32_download_file.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_handle.h"

namespace velmorin::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kBufferSize = 64 * 1024;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

std::string CancelText() { return Ansi("Descarga cancelada por el usuario."); }

// The text of a WinINet (12xxx) or system error code, with its number for support calls.
std::string ErrorText(DWORD code) {
  std::string text;
  if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
    text = SystemMessage(code, ::GetModuleHandleW(L"wininet.dll"));
  } else {
    text = SystemMessage(code);
  }
  while (!text.empty() && text.back() == '.') text.pop_back();
  if (text.empty()) text = Ansi("error de red");
  return text + " (" + std::to_string(code) + ")";
}

bool IsTimeout(DWORD code) { return code == ERROR_INTERNET_TIMEOUT || code == WSAETIMEDOUT; }

std::string Seconds(double s) { return std::to_string(std::lround(s)); }

// The name a user recognises: the URL's last part, or the URL itself.
std::string FileNameOf(const std::string& url) {
  std::string path = url.substr(0, url.find_first_of("?#"));
  const size_t cut = path.find_last_of('/');
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  return name.empty() ? url : name;
}

// What the worker tells the calling thread while it runs.
struct Progress {
  std::atomic<int64_t> received{0};
  std::atomic<int64_t> length{-1};     // Content-Length, -1 while unknown
  std::atomic<bool> receiving{false};  // a 2xx response has arrived
  std::atomic<bool> cancel{false};
};

struct Outcome {
  bool failed = false;
  bool cancelled = false;
  std::string text = "OK";
};

Outcome Failure(std::string text) { return {.failed = true, .text = std::move(text)}; }
Outcome Cancelled() { return {.failed = false, .cancelled = true, .text = CancelText()}; }

// The WinINet handles of one transfer. The calling thread may close them all at once to
// abort a blocked call (Windows ends it at once; Wine lets it run to its own timeout).
class InetHandles {
 public:
  enum Slot { kSession, kConnection, kRequest, kSlots };
  InetHandles() = default;
  ~InetHandles() { Abort(); }
  InetHandles(const InetHandles&) = delete;
  InetHandles& operator=(const InetHandles&) = delete;

  // Takes ownership of `handle` in `slot`, closing what was there and below it first
  // (closing a parent invalidates its children, whose handle values are then reused);
  // nullptr once aborted.
  HINTERNET Adopt(Slot slot, HINTERNET handle) {
    const DWORD why = ::GetLastError();  // of the call that made `handle`, for the caller
    std::lock_guard lock(mutex_);
    for (int below = kSlots - 1; below >= slot; --below) Close(static_cast<Slot>(below));
    if (aborted_ && handle != nullptr) ::InternetCloseHandle(handle);
    handles_[slot] = aborted_ ? nullptr : handle;
    ::SetLastError(why);
    return handles_[slot];
  }
  void Abort() {
    std::lock_guard lock(mutex_);
    aborted_ = true;
    for (int slot = kSlots - 1; slot >= 0; --slot) Close(static_cast<Slot>(slot));
  }

 private:
  void Close(Slot slot) {
    if (handles_[slot] != nullptr) ::InternetCloseHandle(handles_[slot]);
    handles_[slot] = nullptr;
  }
  std::mutex mutex_;
  HINTERNET handles_[kSlots] = {};
  bool aborted_ = false;
};

struct UrlParts {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query
};

std::optional<UrlParts> CrackUrl(const std::wstring& url) {
  wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  std::vector<wchar_t> path(url.size() + 2), extra(url.size() + 2);
  URL_COMPONENTSW c{};
  c.dwStructSize = sizeof c;
  c.lpszHostName = host;
  c.dwHostNameLength = static_cast<DWORD>(std::size(host));
  c.lpszUrlPath = path.data();
  c.dwUrlPathLength = static_cast<DWORD>(path.size());
  c.lpszExtraInfo = extra.data();
  c.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &c)) return std::nullopt;
  if ((c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) || host[0] == L'\0') return std::nullopt;
  UrlParts parts{.secure = c.nScheme == INTERNET_SCHEME_HTTPS, .host = host, .port = c.nPort};
  parts.object = std::wstring(path.data()) + extra.data();
  if (parts.object.empty() || parts.object[0] != L'/') parts.object.insert(0, L"/");
  return parts;
}

// "host" or "host:port" when the port is not the scheme's own, as the user wrote it.
std::string HostText(const UrlParts& parts) {
  const INTERNET_PORT usual = parts.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  return Narrow(parts.host) + (parts.port == usual ? std::string() : ":" + std::to_string(parts.port));
}

std::optional<std::wstring> QueryHeader(HINTERNET request, DWORD what) {
  std::wstring value(256, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (::HttpQueryInfoW(request, what, value.data(), &bytes, nullptr)) {
      value.resize(bytes / sizeof(wchar_t));
      return value;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    value.resize(bytes / sizeof(wchar_t) + 1);
  }
  return std::nullopt;
}

int64_t ParseLength(const std::optional<std::wstring>& text) {
  if (!text || text->empty()) return -1;
  int64_t n = 0;
  for (wchar_t c : *text) {
    if (c < L'0' || c > L'9' || n > (INT64_MAX - 9) / 10) return -1;
    n = n * 10 + (c - L'0');
  }
  return n;
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The body's destination: a file opened for writing, or nothing when the body is discarded.
class BodySink {
 public:
  explicit BodySink(const std::wstring& path) {
    if (!path.empty()) {
      file_ = UniqueHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
      if (!file_) error_ = ::GetLastError();
    }
  }
  DWORD error() const { return error_; }
  bool Write(const char* data, DWORD size) {
    if (!file_) return error_ == 0;
    DWORD put = 0;
    if (::WriteFile(file_.get(), data, size, &put, nullptr) && put == size) return true;
    error_ = put == size ? ::GetLastError() : ERROR_DISK_FULL;
    return false;
  }
  bool Finish() {
    if (file_ && !::FlushFileBuffers(file_.get())) error_ = ::GetLastError();
    file_.Reset();
    return error_ == 0;
  }

 private:
  UniqueHandle file_;
  DWORD error_ = 0;
};

// One transfer, run on the worker thread: request (following redirects), then the body.
class Transfer {
 public:
  Transfer(std::string url, std::wstring temp_path, const DownloadOptions& options, Progress& progress)
      : url_(std::move(url)), temp_path_(std::move(temp_path)), options_(options), progress_(progress) {}

  InetHandles& handles() { return handles_; }

  Outcome Run() {
    try {
      return Fetch();
    } catch (const std::exception& e) {
      return Failure(Ansi("Error interno en la descarga: ") + e.what());
    }
  }

 private:
  Outcome Fetch() {
    HINTERNET session = handles_.Adopt(InetHandles::kSession,
        ::InternetOpenW(L"velmorin-update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session == nullptr) return Stopped(Ansi("No se pudo iniciar el acceso a internet: ") + ErrorText(::GetLastError()) + ".");
    std::wstring url = Wide(url_);
    for (int redirects = 0;; ++redirects) {
      const auto parts = CrackUrl(url);
      if (!parts) return Failure(Ansi("La dirección ") + url_ + Ansi(" no es válida."));
      host_ = HostText(*parts);
      HINTERNET request = nullptr;
      if (auto failed = SendRequest(session, *parts, request)) return *failed;
      DWORD status = 0, size = sizeof status;
      if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        return Stopped(Ansi("Respuesta no válida de ") + host_ + ": " + ErrorText(::GetLastError()) + ".");
      }
      const auto location = QueryHeader(request, HTTP_QUERY_LOCATION);
      if (IsRedirect(status) && location) {
        if (redirects >= options_.max_redirects) {
          return Failure(Ansi("Demasiadas redirecciones al pedir ") + FileNameOf(url_) + ".");
        }
        url = Combine(url, *location);
        continue;
      }
      if (status < 200 || status > 299) {
        return Failure(Ansi("El servidor ") + host_ + Ansi(" respondió ") + std::to_string(status) +
                       Ansi(" al pedir ") + FileNameOf(url_) + ".");
      }
      return Receive(request);
    }
  }

  // Connects and sends the GET; a failure's outcome, or nothing with `request` set.
  std::optional<Outcome> SendRequest(HINTERNET session, const UrlParts& parts, HINTERNET& request) {
    HINTERNET connection = handles_.Adopt(InetHandles::kConnection,
        ::InternetConnectW(session, parts.host.c_str(), parts.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (connection == nullptr) return ConnectFailure(::GetLastError());
    // Wine ignores timeouts set on the session handle: set them where they are used.
    SetTimeouts(connection);
    const DWORD flags = kRequestFlags | (parts.secure ? INTERNET_FLAG_SECURE : 0);
    request = handles_.Adopt(InetHandles::kRequest,
        ::HttpOpenRequestW(connection, L"GET", parts.object.c_str(), nullptr, nullptr, nullptr, flags, 0));
    if (request == nullptr) return ConnectFailure(::GetLastError());
    SetTimeouts(request);
    const auto sent = Clock::now();
    if (!::HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
      const DWORD code = ::GetLastError();
      return ConnectFailure(code, std::chrono::duration<double>(Clock::now() - sent).count());
    }
    return std::nullopt;
  }

  void SetTimeouts(HINTERNET handle) const {
    DWORD connect = Milliseconds(options_.connect_timeout_s);
    DWORD receive = Milliseconds(options_.stall_timeout_s);
    ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
    ::InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof receive);
    ::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
    ::InternetSetOptionW(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof receive);
  }

  static DWORD Milliseconds(double seconds) { return static_cast<DWORD>(std::max(1.0, seconds * 1000)); }

  // `waited`: how long the failed call took (a timeout cannot tell connecting from waiting
  // for the response).
  Outcome ConnectFailure(DWORD code, double waited = 0) {
    if (progress_.cancel) return Cancelled();
    // Wine reports a response that never came as an aborted connection.
    const double shortest = std::min(options_.connect_timeout_s, options_.stall_timeout_s);
    if (IsTimeout(code) || (code == ERROR_INTERNET_CONNECTION_ABORTED && waited >= shortest * 0.9)) {
      return Failure(Ansi("El servidor ") + host_ + Ansi(" no respondió en ") + Seconds(waited) + Ansi(" segundos."));
    }
    if (code == ERROR_INTERNET_NAME_NOT_RESOLVED) {
      return Failure(Ansi("No se encontró el servidor ") + host_ + ": " + ErrorText(code) + ".");
    }
    return Failure(Ansi("No se pudo conectar con ") + host_ + ": " + ErrorText(code) + ".");
  }

  Outcome Stopped(std::string text) const { return progress_.cancel ? Cancelled() : Failure(std::move(text)); }

  static std::wstring Combine(const std::wstring& base, const std::wstring& relative) {
    std::wstring out(INTERNET_MAX_URL_LENGTH + 1, L'\0');
    DWORD size = static_cast<DWORD>(out.size());
    if (!::InternetCombineUrlW(base.c_str(), relative.c_str(), out.data(), &size, ICU_NO_ENCODE)) return relative;
    out.resize(size);
    return out;
  }

  Outcome Receive(HINTERNET request) {
    const int64_t length = ParseLength(QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH));
    progress_.length = length;
    progress_.receiving = true;
    BodySink sink(temp_path_);
    if (sink.error() != 0) return WriteFailure(sink.error());
    std::vector<char> buffer(kBufferSize);
    int64_t received = 0;
    for (;;) {
      if (progress_.cancel) return Cancelled();
      // Only what has arrived: a full-buffer read would block until the buffer fills.
      DWORD available = 0;
      if (!::InternetQueryDataAvailable(request, &available, 0, 0)) return ReadFailure(::GetLastError(), received);
      if (available == 0) break;
      DWORD got = 0;
      if (!::InternetReadFile(request, buffer.data(), std::min(available, kBufferSize), &got)) {
        return ReadFailure(::GetLastError(), received);
      }
      if (got == 0) break;
      if (!sink.Write(buffer.data(), got)) return WriteFailure(sink.error());
      received += got;
      progress_.received = received;
    }
    if (progress_.cancel) return Cancelled();
    if (!sink.Finish()) return WriteFailure(sink.error());
    // The end of the stream is a normal end only when every announced byte is here.
    if (length >= 0 && received != length) {
      return Failure(Ansi("La descarga de ") + FileNameOf(url_) + Ansi(" quedó incompleta: llegaron ") +
                     std::to_string(received) + " de " + std::to_string(length) + " bytes.");
    }
    return {};
  }

  Outcome ReadFailure(DWORD code, int64_t received) const {
    if (progress_.cancel) return Cancelled();
    if (IsTimeout(code)) {
      return Failure(Ansi("La descarga de ") + FileNameOf(url_) + Ansi(" se detuvo: no llegó ningún dato en ") +
                     Seconds(options_.stall_timeout_s) + Ansi(" segundos."));
    }
    return Failure(Ansi("Se perdió la conexión con ") + host_ + Ansi(" durante la descarga de ") + FileNameOf(url_) +
                   " (" + std::to_string(received) + " bytes): " + ErrorText(code) + ".");
  }

  Outcome WriteFailure(DWORD code) const {
    return Failure(Ansi("No se pudo escribir el archivo temporal ") + Narrow(temp_path_) + ": " + ErrorText(code) + ".");
  }

  std::string url_;
  std::wstring temp_path_;
  const DownloadOptions& options_;
  Progress& progress_;
  InetHandles handles_;
  std::string host_;
};

// The target's folder with its trailing separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool IsFolder(const std::wstring& path) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Copies `from` over the contents of `to` through a handle that shares with the program
// that holds `to` open; 0 or the error code.
DWORD OverwriteInPlace(const std::wstring& from, const std::wstring& to) {
  UniqueHandle source(::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  UniqueHandle target(::CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
  if (!source || !target) return ::GetLastError();
  std::vector<char> buffer(kBufferSize);
  for (;;) {
    DWORD got = 0, put = 0;
    if (!::ReadFile(source.get(), buffer.data(), kBufferSize, &got, nullptr)) return ::GetLastError();
    if (got == 0) break;
    if (!::WriteFile(target.get(), buffer.data(), got, &put, nullptr)) return ::GetLastError();
    if (put != got) return ERROR_DISK_FULL;
  }
  if (!::SetEndOfFile(target.get()) || !::FlushFileBuffers(target.get())) return ::GetLastError();
  return 0;
}

// Puts the complete download in place of the target; the failure text, or nothing.
std::optional<std::string> ReplaceTarget(const std::wstring& temp, const std::string& target) {
  const std::wstring wide_target = Wide(target);
  if (::MoveFileExW(temp.c_str(), wide_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return std::nullopt;
  }
  DWORD code = ::GetLastError();
  // The back-office program holds the target open: the new content goes into it in place.
  if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
    const DWORD in_place = OverwriteInPlace(temp, wide_target);
    if (in_place == 0) {
      ::DeleteFileW(temp.c_str());
      return std::nullopt;
    }
    code = in_place;
  }
  ::DeleteFileW(temp.c_str());
  return Ansi("No se pudo guardar ") + target + ": " + ErrorText(code) + ".";
}

class WinInetDownloadFile : public DownloadFile {
 public:
  explicit WinInetDownloadFile(DownloadOptions options) : options_(options) {}

  void StartTransfer() override {
    start_ = Clock::now();
    Outcome outcome = Run();
    failed_ = outcome.failed;
    result_ = std::move(outcome.text);
  }
  bool TransferFailed() const override { return failed_; }
  std::string ResultText() const override { return result_; }

 private:
  Outcome Run() {
    std::wstring temp;
    if (!TargetPath.empty()) {
      const std::string folder = FolderOf(TargetPath);
      const std::wstring wide_folder = folder.empty() ? L"." : Wide(folder);
      wchar_t name[MAX_PATH] = {};
      if (!IsFolder(wide_folder) || ::GetTempFileNameW(wide_folder.c_str(), L"vdl", 0, name) == 0) {
        std::string shown = folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':'
                                ? folder.substr(0, folder.size() - 1) : folder;
        Progress none;
        Report(none, 3);
        return Failure(Ansi("No existe la carpeta de destino ") + shown + ".");
      }
      temp = name;
    }
    Progress progress;
    Transfer transfer(SourceUrl, temp, options_, progress);
    Outcome outcome = RunOnWorker(transfer, progress);
    if (outcome.failed || outcome.cancelled) {
      if (!temp.empty()) ::DeleteFileW(temp.c_str());
    } else if (!temp.empty()) {
      if (auto failure = ReplaceTarget(temp, TargetPath)) outcome = Failure(*failure);
    }
    Report(progress, 3, !outcome.failed && !outcome.cancelled);
    return outcome;
  }

  Outcome RunOnWorker(Transfer& transfer, Progress& progress) {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    Outcome outcome;
    std::thread worker([&] {
      Outcome result = transfer.Run();
      std::lock_guard lock(mutex);
      outcome = std::move(result);
      done = true;
      ended.notify_all();
    });
    // Whatever a progress handler throws, the worker is stopped and joined first.
    struct Joiner {
      std::thread& worker;
      Transfer& transfer;
      Progress& progress;
      ~Joiner() {
        if (!worker.joinable()) return;
        progress.cancel = true;
        transfer.handles().Abort();
        worker.join();
      }
    } joiner{worker, transfer, progress};
    RaiseReportsUntil(progress, transfer, [&] {
      std::unique_lock lock(mutex);
      return ended.wait_for(lock, Interval(options_.report_interval_s), [&] { return done; });
    });
    worker.join();
    return outcome;
  }

  static std::chrono::milliseconds Interval(double seconds) {
    return std::chrono::milliseconds(std::max<long>(1, std::lround(seconds * 1000)));
  }

  // Raises reports while the worker runs: on news at most every report interval, and at
  // least every idle interval, so that the user's cancel is handed over even in a stall.
  template <class WaitForEnd>
  void RaiseReportsUntil(Progress& progress, Transfer& transfer, WaitForEnd wait_for_end) {
    auto last_report = Clock::now();
    int64_t last_bytes = -1;
    Report(progress, 1);
    while (!wait_for_end()) {
      const auto now = Clock::now();
      const int64_t bytes = progress.received;
      const bool news = bytes != last_bytes && now - last_report >= Interval(options_.report_interval_s);
      if (!news && now - last_report < Interval(options_.idle_report_s)) continue;
      last_report = now;
      last_bytes = bytes;
      if (Report(progress, progress.receiving ? 2 : 1) && !progress.cancel) {
        progress.cancel = true;
        transfer.handles().Abort();
      }
    }
  }

  // Raises one report; true when the handler asked to cancel.
  bool Report(const Progress& progress, int32_t state, bool complete = false) {
    TransferProgressArgs args;
    args.State = state;
    const int64_t received = progress.received;
    const int64_t length = progress.length;
    args.BytesReceived = static_cast<int32_t>(std::min<int64_t>(received, INT32_MAX));
    if (complete) {
      args.Percent = 100;
    } else if (length > 0) {
      args.Percent = std::min(100.0, 100.0 * static_cast<double>(received) / static_cast<double>(length));
    }
    args.ElapsedSeconds = static_cast<int32_t>(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start_).count());
    if (TransferProgress) TransferProgress(args);
    return args.Cancel;
  }

  DownloadOptions options_;
  Clock::time_point start_;
  bool failed_ = false;
  std::string result_;
};

double SecondsFromEnvironment(const char* name, double fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  char* end = nullptr;
  const double seconds = std::strtod(value, &end);
  return end != value && seconds > 0 ? seconds : fallback;
}

}  // namespace

std::unique_ptr<DownloadFile> MakeWinInetDownloadFile(DownloadOptions options) {
  return std::make_unique<WinInetDownloadFile>(options);
}

DownloadOptions DownloadOptionsFromEnvironment() {
  DownloadOptions options;
  options.connect_timeout_s = SecondsFromEnvironment("VELMORIN_CONNECT_TIMEOUT", options.connect_timeout_s);
  options.stall_timeout_s = SecondsFromEnvironment("VELMORIN_STALL_TIMEOUT", options.stall_timeout_s);
  return options;
}

}  // namespace velmorin::platform
