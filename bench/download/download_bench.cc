// Fetches one URL over and over, alternating `curl -o` (alone, and followed by an fsync as
// our control does) and our control (with no handler, and with a handler doing the
// dialog's work); prints throughput, CPU per 100 MB and the CPU share of progress reports.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/numbers.h"
#include "download/download_control.h"
#include "platform/posix/curl_transport.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_download_files.h"
#include "platform/posix/posix_file_system.h"

namespace velmorin {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

struct Sample {
  double seconds = 0;
  double cpu = 0;          // user + system seconds
  double handler_cpu = 0;  // inside the progress handler
  int reports = 0;
  uint64_t bytes = 0;
};

double CpuSeconds(const rusage& u) {
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

double ThreadCpu() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

double Since(SteadyClock::time_point t) { return std::chrono::duration<double>(SteadyClock::now() - t).count(); }

// `then_fsync`: also flush the file to disk, as our control does before its rename.
Sample RunCurl(const std::string& url, const fs::path& out, bool then_fsync) {
  Sample s;
  const auto start = SteadyClock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("curl", "curl", "-s", "-f", "-o", out.c_str(), url.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (then_fsync) {
    const int fd = open(out.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      fsync(fd);
      close(fd);
    }
  }
  s.seconds = Since(start);
  s.cpu = CpuSeconds(usage);
  std::error_code ec;
  s.bytes = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? fs::file_size(out, ec) : 0;
  fs::remove(out, ec);
  return s;
}

// What the dialog does with each report: the percentage text, the speed once a second,
// the bar rounded halves to even.
struct DialogWork {
  std::string label1, label7;
  double bar = 0;
  float last_elapsed = 0;
  void operator()(const platform::TransferProgressArgs& a) {
    if (a.State == 1) return;
    label1 = FormatHashes(a.Percent) + "%";
    if (static_cast<float>(a.ElapsedSeconds) != last_elapsed) {
      label7 = std::to_string(std::llround(a.BytesReceived / static_cast<double>(a.ElapsedSeconds) / 128)) + " kb";
      last_elapsed = static_cast<float>(a.ElapsedSeconds);
    }
    bar = RoundHalfEven(a.Percent);
  }
};

Sample RunControl(const std::string& url, const fs::path& drives, bool with_handler) {
  platform::PosixFileSystem fs(drives);
  auto files = platform::MakePosixDownloadFiles(fs);
  auto clock = platform::MakePosixClock();
  auto control = MakeDownloadControl([] { return platform::MakeCurlTransport(); }, *files, *clock);
  control->SourceUrl = url;
  control->TargetPath = "C:\\bench\\control.out";
  Sample s;
  DialogWork dialog;
  if (with_handler) {
    control->TransferProgress = [&](platform::TransferProgressArgs& a) {
      const double t0 = ThreadCpu();
      dialog(a);
      ++s.reports;
      s.handler_cpu += ThreadCpu() - t0;
    };
  }
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = SteadyClock::now();
  control->StartTransfer();
  s.seconds = Since(start);
  getrusage(RUSAGE_SELF, &after);
  s.cpu = CpuSeconds(after) - CpuSeconds(before);
  const fs::path out = drives / "C" / "bench" / "control.out";
  std::error_code ec;
  if (control->ResultText() == "OK")
    s.bytes = fs::file_size(out, ec);
  else
    std::fprintf(stderr, "control: %s\n", control->ResultText().c_str());
  fs::remove(out, ec);
  return s;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Series {
  const char* name;
  std::vector<Sample> samples;
  std::vector<double> Rates() const {
    std::vector<double> v;
    for (const auto& s : samples) v.push_back(s.bytes / s.seconds / 1e6);
    return v;
  }
  double MBps() const { return Median(Rates()); }
  double BestMBps() const {
    const auto v = Rates();
    return *std::max_element(v.begin(), v.end());
  }
  double CpuPer100MB() const {
    std::vector<double> v;
    for (const auto& s : samples) v.push_back(s.cpu / (s.bytes / 1e8));
    return Median(v);
  }
};

void Print(const Series& s) {
  std::printf("%-22s", s.name);
  for (const auto& x : s.samples) std::printf(" %7.1f", x.bytes / x.seconds / 1e6);
  std::printf("   median %6.1f  best %6.1f MB/s   CPU %.3f s/100 MB\n", s.MBps(), s.BestMBps(), s.CpuPer100MB());
}

int Main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: download_bench URL WORK_FOLDER [RUNS]\n");
    return 2;
  }
  const std::string url = argv[1];
  const fs::path drives = fs::absolute(argv[2]) / "drives";
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  fs::create_directories(drives / "C" / "bench");
  Series curl{"curl -o"}, curl_sync{"curl -o, then fsync"}, bare{"control, no handler"}, dialog{"control, dialog work"};
  // The order rotates, and each run starts with no dirty pages left by the one before.
  for (int i = 0; i < runs * 4; ++i) {
    ::sync();
    switch ((i + i / 4) % 4) {
      case 0: curl.samples.push_back(RunCurl(url, drives / "curl.out", false)); break;
      case 1: curl_sync.samples.push_back(RunCurl(url, drives / "curl.out", true)); break;
      case 2: bare.samples.push_back(RunControl(url, drives, false)); break;
      default: dialog.samples.push_back(RunControl(url, drives, true)); break;
    }
  }
  for (const Series* s : {&curl, &curl_sync, &bare, &dialog}) {
    for (const auto& x : s->samples) {
      if (x.bytes == 0) {
        std::fprintf(stderr, "%s: a run failed\n", s->name);
        return 1;
      }
    }
  }
  std::printf("runs of %.1f MB, MB/s per run:\n", curl.samples[0].bytes / 1e6);
  Print(curl);
  Print(curl_sync);
  Print(bare);
  Print(dialog);
  double handler = 0, cpu = 0, reports = 0, seconds = 0;
  for (const auto& x : dialog.samples) {
    handler += x.handler_cpu;
    cpu += x.cpu;
    reports += x.reports;
    seconds += x.seconds;
  }
  std::printf(
      "throughput ratio control/curl, medians: %.3f (with dialog work %.3f); best runs: %.3f (%.3f); "
      "goal >= 0.90\n",
      bare.MBps() / curl.MBps(), dialog.MBps() / curl.MBps(), bare.BestMBps() / curl.BestMBps(),
      dialog.BestMBps() / curl.BestMBps());
  std::printf("throughput ratio control/(curl -o, then fsync), medians: %.3f\n", bare.MBps() / curl_sync.MBps());
  std::printf(
      "progress reports: %.1f per transfer of %.2f s on average; handler CPU %.3f%% of the control's CPU; "
      "goal < 5%%\n",
      reports / dialog.samples.size(), seconds / dialog.samples.size(), 100 * handler / cpu);
  std::printf("CPU per 100 MB with the handler against without it (run-to-run noise included): %+.1f%%\n",
              100 * (dialog.CpuPer100MB() - bare.CpuPer100MB()) / bare.CpuPer100MB());
  return 0;
}

}  // namespace
}  // namespace velmorin

int main(int argc, char** argv) { return velmorin::Main(argc, argv); }
