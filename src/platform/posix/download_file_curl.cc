// DownloadFile with libcurl: one GET (plus redirects) driven through a multi handle from our
// own loop, so that progress reports, cancels and the stall timeout need no help from the
// server, and the body reaches the target only by a rename after a complete 2xx answer.
#include <curl/curl.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

#include "common/cp1252.h"
#include "platform/posix/posix_download_file.h"

namespace velmorin::platform {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr char kCancelledText[] = "Descarga cancelada por el usuario.";
constexpr long kBufferSize = 256 * 1024;
constexpr off_t kWritebackStep = 8 * 1024 * 1024;

double SecondsSince(SteadyClock::time_point t) {
  return std::chrono::duration<double>(SteadyClock::now() - t).count();
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", s);
  return std::string(text) + (s == 1 ? " segundo" : " segundos");
}

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
  void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct UrlDeleter {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;

// The easy handle's membership of the multi handle, undone before either is cleaned up.
class MultiMembership {
 public:
  MultiMembership(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) { curl_multi_add_handle(multi_, easy_); }
  ~MultiMembership() { curl_multi_remove_handle(multi_, easy_); }
  MultiMembership(const MultiMembership&) = delete;
  MultiMembership& operator=(const MultiMembership&) = delete;

 private:
  CURLM* multi_;
  CURL* easy_;
};

mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  NewFileMode();
}

// Spanish words for an OS error met while writing or connecting.
std::string ErrnoText(int e) {
  switch (e) {
    case ENOSPC: return "disco lleno";
    case EDQUOT: return "cuota de disco agotada";
    case EACCES:
    case EPERM: return "acceso denegado";
    case EROFS: return "disco protegido contra escritura";
    case EISDIR: return "es una carpeta";
    case EIO: return "error de entrada/salida";
    case ECONNREFUSED: return Ansi("conexión rechazada");
    case ECONNRESET: return Ansi("conexión restablecida por el servidor");
    case ENETUNREACH: return "red inaccesible";
    case EHOSTUNREACH: return "equipo inaccesible";
    case ETIMEDOUT: return "tiempo de espera agotado";
    default: return "error del sistema " + std::to_string(e);
  }
}

std::string StatusText(long status) {
  switch (status) {
    case 400: return Ansi("petición incorrecta");
    case 401: return Ansi("se necesita autorización");
    case 403: return "acceso prohibido";
    case 404: return "archivo no encontrado";
    case 408: return "tiempo de espera agotado";
    case 410: return "el archivo ya no existe";
    case 429: return "demasiadas peticiones";
    case 500: return "error interno del servidor";
    case 502: return "puerta de enlace incorrecta";
    case 503: return "servicio no disponible";
    case 504: return "tiempo de espera agotado en la puerta de enlace";
    default: return "";
  }
}

// The body's temporary file beside the target; removed unless it has replaced the target.
class TempFile {
 public:
  explicit TempFile(fs::path target) : target_(std::move(target)) {}
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Returns 0 or the errno of the failure.
  int Create() {
    std::string name = (target_.parent_path() / (target_.filename().string() + ".part-XXXXXX")).string();
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) return errno;
    path_ = name;
    ::fchmod(fd_, NewFileMode());
    return 0;
  }

  int Write(const char* data, size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n < 0 ? errno : ENOSPC;
      data += n;
      size -= static_cast<size_t>(n);
      written_ += n;
    }
    StartWriteback();
    return 0;
  }

  // Flushes the body to disk and renames it over the target; 0 or an errno.
  int Commit() {
    if (::fsync(fd_) != 0) return errno;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return errno;
    if (::rename(path_.c_str(), target_.c_str()) != 0) return errno;
    path_.clear();
    SyncFolder();
    return 0;
  }

 private:
  // Starts writing finished stretches to disk while the transfer goes on, so that the
  // fsync at the end has little left to wait for.
  void StartWriteback() {
    if (written_ - flushed_ < kWritebackStep) return;
    ::sync_file_range(fd_, flushed_, written_ - flushed_, SYNC_FILE_RANGE_WRITE);
    flushed_ = written_;
  }

  // The rename itself must survive a power cut too.
  void SyncFolder() const {
    const int dir = ::open(target_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
  }

  fs::path target_;
  std::string path_;
  int fd_ = -1;
  off_t written_ = 0;
  off_t flushed_ = 0;
};

// What the callbacks see and the loop reads.
struct Progress {
  int64_t received = 0;  // body bytes of the final answer
  int64_t length = -1;   // its Content-Length, -1 while unknown
  bool answered = false; // a byte of an answer arrived
  bool connected = false;
  bool location = false;  // the answer being read names a redirect
  SteadyClock::time_point last_activity;
  long bad_status = 0;   // a non-2xx answer, stopped at its first body byte
  int write_error = 0;
  TempFile* sink = nullptr;
  CURL* easy = nullptr;
};

size_t OnHeader(char* line, size_t size, size_t count, void* user) {
  auto* p = static_cast<Progress*>(user);
  const std::string_view text(line, size * count);
  p->answered = true;
  p->last_activity = SteadyClock::now();
  if (text.starts_with("HTTP/")) p->location = false;
  if (text.size() > 9 && strncasecmp(line, "location:", 9) == 0) p->location = true;
  if (text.size() <= 2) {  // the blank line that ends an answer's headers
    long status = 0;
    curl_easy_getinfo(p->easy, CURLINFO_RESPONSE_CODE, &status);
    // Reaching the next hop is timed by the connect timeout, not the stall timeout.
    if (status >= 300 && status < 400 && p->location) p->connected = false;
  }
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* p = static_cast<Progress*>(user);
  const size_t n = size * count;
  p->last_activity = SteadyClock::now();
  if (p->received == 0 && p->length < 0) {
    long status = 0;
    curl_easy_getinfo(p->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
      p->bad_status = status;  // no need to fetch an error page
      return 0;
    }
    curl_off_t length = -1;
    curl_easy_getinfo(p->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    p->length = length;
  }
  if (p->sink != nullptr && (p->write_error = p->sink->Write(data, n)) != 0) return 0;
  p->received += static_cast<int64_t>(n);
  return n;
}

int OnConnected(void* user, char*, char*, int, int) {
  auto* p = static_cast<Progress*>(user);
  p->connected = true;
  p->last_activity = SteadyClock::now();
  return CURL_PREREQFUNC_OK;
}

struct UrlParts {
  std::string host;  // with the port when the URL gives one
  std::string file;  // the last path segment
};

UrlParts SplitUrl(const std::string& url) {
  UrlParts parts;
  std::unique_ptr<CURLU, UrlDeleter> u(curl_url());
  if (curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* host = nullptr;
    char* port = nullptr;
    char* path = nullptr;
    if (curl_url_get(u.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK) parts.host = host;
    if (curl_url_get(u.get(), CURLUPART_PORT, &port, 0) == CURLUE_OK) parts.host += std::string(":") + port;
    if (curl_url_get(u.get(), CURLUPART_PATH, &path, CURLU_URLDECODE) == CURLUE_OK) parts.file = path;
    curl_free(host);
    curl_free(port);
    curl_free(path);
  }
  const size_t slash = parts.file.rfind('/');
  if (slash != std::string::npos) parts.file.erase(0, slash + 1);
  if (parts.host.empty()) parts.host = url;
  if (parts.file.empty()) parts.file = url;
  return {Cp1252FromUtf8(parts.host), Cp1252FromUtf8(parts.file)};
}

// Where a transfer ended before the final report.
struct Outcome {
  bool done = false;      // the body is complete: the target may be replaced
  bool cancelled = false;
  std::string failure;    // CP1252; empty unless it failed
};

class CurlDownloadFile : public DownloadFile {
 public:
  CurlDownloadFile(PosixFileSystem& fs, DownloadOptions options) : fs_(fs), options_(std::move(options)) {
    GlobalInit();
  }

  void StartTransfer() override;
  bool TransferFailed() const override { return failed_; }
  std::string ResultText() const override { return result_; }

 private:
  Outcome Run(TempFile* temp);
  Outcome Drive(CURLM* multi, CURL* easy);
  EasyHandle MakeEasy();
  Outcome Judge(CURL* easy, CURLcode code) const;
  std::string NetworkFailure(CURL* easy, CURLcode code) const;
  std::string FolderFailure() const;
  void Report(int32_t state, bool complete);
  void MaybeReport();
  int32_t CurrentState() const { return progress_.answered ? 2 : 1; }

  PosixFileSystem& fs_;
  DownloadOptions options_;
  bool failed_ = false;
  std::string result_;
  Progress progress_;
  SteadyClock::time_point start_;
  SteadyClock::time_point last_report_;
  int64_t reported_bytes_ = -1;
  int32_t reported_state_ = 0;
  bool cancel_ = false;
};

void CurlDownloadFile::StartTransfer() {
  progress_ = Progress{};
  start_ = last_report_ = progress_.last_activity = SteadyClock::now();
  reported_bytes_ = -1;
  reported_state_ = 0;
  cancel_ = false;
  Report(1, false);
  std::optional<TempFile> temp;
  Outcome outcome;
  if (cancel_) {
    outcome.cancelled = true;
  } else if (!TargetPath.empty()) {
    const fs::path target = fs_.HostPath(TargetPath);
    std::error_code ec;
    temp.emplace(target);
    const int e = fs::is_directory(target, ec) ? EISDIR : temp->Create();
    if (e == ENOENT || e == ENOTDIR) outcome.failure = FolderFailure();
    else if (e != 0) outcome.failure = Ansi("No se pudo crear el archivo ") + TargetPath + ": " + ErrnoText(e) + ".";
  }
  if (!outcome.cancelled && outcome.failure.empty()) outcome = Run(temp ? &*temp : nullptr);
  Report(3, outcome.done);
  // The target is not replaced yet, so a cancel handed over in the last report still wins.
  if (outcome.done && cancel_) outcome = Outcome{.cancelled = true};
  if (outcome.done && temp) {
    if (const int e = temp->Commit(); e != 0) {
      outcome.failure = Ansi("No se pudo guardar ") + TargetPath + ": " + ErrnoText(e) + ".";
    }
  }
  failed_ = !outcome.failure.empty();
  result_ = outcome.cancelled ? kCancelledText : failed_ ? outcome.failure : "OK";
}

std::string CurlDownloadFile::FolderFailure() const {
  const size_t cut = TargetPath.find_last_of("\\/");
  std::string folder = cut == std::string::npos ? fs_.CurrentFolder() : TargetPath.substr(0, cut);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return "No existe la carpeta de destino " + folder + ".";
}

EasyHandle CurlDownloadFile::MakeEasy() {
  EasyHandle easy(curl_easy_init());
  CURL* h = easy.get();
  const std::string url = Utf8FromCp1252(SourceUrl);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(options_.max_redirects));
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, std::lround(options_.connect_timeout_s * 1000));
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  // A cancel while the resolver thread is busy must not wait for it.
  curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kBufferSize);
  curl_easy_setopt(h, CURLOPT_USERAGENT, "velmorin-update");
  if (!options_.ca_file.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, options_.ca_file.c_str());
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &progress_);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &progress_);
  curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(h, CURLOPT_PREREQDATA, &progress_);
  return easy;
}

Outcome CurlDownloadFile::Run(TempFile* temp) {
  EasyHandle easy = MakeEasy();
  MultiHandle multi(curl_multi_init());
  if (!easy || !multi) return {.failure = "No se pudo iniciar la descarga: memoria insuficiente."};
  progress_.sink = temp;
  progress_.easy = easy.get();
  MultiMembership member(multi.get(), easy.get());
  return Drive(multi.get(), easy.get());
}

Outcome CurlDownloadFile::Drive(CURLM* multi, CURL* easy) {
  const int wait_ms = std::clamp(static_cast<int>(options_.report_interval_s * 1000), 1, 50);
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) return Judge(easy, CURLE_OUT_OF_MEMORY);
    if (running == 0) break;
    MaybeReport();
    if (cancel_) return {.cancelled = true};
    if (progress_.connected && SecondsSince(progress_.last_activity) >= options_.stall_timeout_s) {
      return {.failure = "La descarga de '" + SplitUrl(SourceUrl).file + Ansi("' se detuvo: no llegó ningún dato en ") +
                         Seconds(options_.stall_timeout_s) + "."};
    }
    curl_multi_poll(multi, nullptr, 0, wait_ms, nullptr);
  }
  int left = 0;
  CURLcode code = CURLE_OK;
  if (CURLMsg* msg = curl_multi_info_read(multi, &left); msg != nullptr && msg->msg == CURLMSG_DONE) {
    code = msg->data.result;
  }
  return Judge(easy, code);
}

Outcome CurlDownloadFile::Judge(CURL* easy, CURLcode code) const {
  const std::string file = SplitUrl(SourceUrl).file;
  long status = progress_.bad_status;
  if (status == 0 && code == CURLE_OK) curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  if (progress_.write_error != 0) {
    return {.failure = Ansi("No se pudo guardar ") + TargetPath + ": " + ErrnoText(progress_.write_error) + "."};
  }
  if (status != 0 && (status < 200 || status > 299)) {
    const std::string words = StatusText(status);
    return {.failure = "El servidor no pudo entregar '" + file + "': respuesta HTTP " + std::to_string(status) +
                       (words.empty() ? "" : " (" + words + ")") + "."};
  }
  if (code == CURLE_OK) return {.done = true};
  return {.failure = NetworkFailure(easy, code)};
}

std::string CurlDownloadFile::NetworkFailure(CURL* easy, CURLcode code) const {
  char* effective = nullptr;
  curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
  const std::string host = SplitUrl(effective != nullptr ? effective : Utf8FromCp1252(SourceUrl)).host;
  const std::string file = SplitUrl(SourceUrl).file;
  long os_error = 0;
  curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_error);
  const std::string received = std::to_string(progress_.received);
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return Ansi("La dirección de descarga no es válida: ") + SourceUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
      return Ansi("No se encontró el servidor ") + host + ": el nombre no existe o no hay acceso a internet.";
    case CURLE_COULDNT_CONNECT:
      return "No se pudo conectar con el servidor " + host + ": " +
             (os_error != 0 ? ErrnoText(static_cast<int>(os_error)) : std::string("sin respuesta")) + ".";
    case CURLE_OPERATION_TIMEDOUT:
      return "No se pudo conectar con el servidor " + host + ": no hubo respuesta en " +
             Seconds(options_.connect_timeout_s) + ".";
    case CURLE_PARTIAL_FILE:
      if (progress_.length >= 0) {
        return "La descarga de '" + file + Ansi("' quedó incompleta: se recibieron ") + received + " de " +
               std::to_string(progress_.length) + " bytes.";
      }
      return "La descarga de '" + file + Ansi("' quedó incompleta: la conexión se cerró tras ") + received + " bytes.";
    case CURLE_GOT_NOTHING:
      return "El servidor " + host + Ansi(" cerró la conexión sin responder.");
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return Ansi("Se perdió la conexión con el servidor ") + host + " tras recibir " + received + " bytes de '" + file +
             "': " + (os_error != 0 ? ErrnoText(static_cast<int>(os_error)) : std::string("error de red")) + ".";
    case CURLE_TOO_MANY_REDIRECTS:
      return "Demasiadas redirecciones al pedir '" + file + Ansi("' (más de ") +
             std::to_string(options_.max_redirects) + ").";
    case CURLE_PEER_FAILED_VERIFICATION:
      return "El certificado del servidor " + host + Ansi(" no es válido: la conexión segura no es de confianza.");
    case CURLE_SSL_CONNECT_ERROR:
      return Ansi("No se pudo establecer una conexión segura con el servidor ") + host + ".";
    case CURLE_SSL_CACERT_BADFILE:
      return "No se pudieron leer los certificados de confianza.";
    case CURLE_WEIRD_SERVER_REPLY:
      return "El servidor " + host + Ansi(" dio una respuesta no válida.");
    default:
      return "Error de red al descargar '" + file + "' de " + host + ": " + curl_easy_strerror(code) + " (" +
             std::to_string(static_cast<int>(code)) + ").";
  }
}

void CurlDownloadFile::MaybeReport() {
  const double since = SecondsSince(last_report_);
  const bool news = progress_.received != reported_bytes_ || CurrentState() != reported_state_;
  if (since >= options_.idle_report_s || (news && since >= options_.report_interval_s)) Report(CurrentState(), false);
}

void CurlDownloadFile::Report(int32_t state, bool complete) {
  last_report_ = SteadyClock::now();
  reported_bytes_ = progress_.received;
  reported_state_ = state;
  if (!TransferProgress) return;
  TransferProgressArgs args;
  args.State = state;
  args.BytesReceived = static_cast<int32_t>(std::min<int64_t>(progress_.received, INT32_MAX));
  if (complete) args.Percent = 100;
  else if (progress_.length > 0) args.Percent = std::min(100.0, 100.0 * progress_.received / progress_.length);
  args.ElapsedSeconds = static_cast<int32_t>(std::min<double>(SecondsSince(start_), INT32_MAX));
  TransferProgress(args);
  if (args.Cancel) cancel_ = true;
}

double EnvSeconds(const char* name, double fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  char* end = nullptr;
  const double seconds = std::strtod(value, &end);
  return end != value && *end == '\0' && seconds > 0 ? seconds : fallback;
}

}  // namespace

std::unique_ptr<DownloadFile> MakeCurlDownloadFile(PosixFileSystem& fs, DownloadOptions options) {
  return std::make_unique<CurlDownloadFile>(fs, std::move(options));
}

DownloadOptions DownloadOptionsFromEnvironment() {
  DownloadOptions options;
  options.connect_timeout_s = EnvSeconds("VELMORIN_CONNECT_TIMEOUT", options.connect_timeout_s);
  options.stall_timeout_s = EnvSeconds("VELMORIN_STALL_TIMEOUT", options.stall_timeout_s);
  if (const char* ca = std::getenv("VELMORIN_CA_FILE"); ca != nullptr) options.ca_file = ca;
  return options;
}

}  // namespace velmorin::platform
