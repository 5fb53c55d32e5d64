// Times each conversion routine on a full-size data set, side by side with the record-by-record
// baseline and the raw I/O floor, and measures the peak memory of the whole conversion phase.
// The floor reads every file the routine needs whole, one call per file, and writes as many
// bytes as the routine changes, one call per changed file. Every measurement runs in a fresh
// process (peak memory is its VmHWM) on a fresh copy of the files it changes, written through
// to the disk first so that the page cache holds them clean, as on a workstation.
// With --network-drive the files sit on a simulated share (a round trip a call, a link of
// 100 MB/s) and the table gives wall times: the routines as they run, the same routines made
// to take one call at a time, the record-by-record baseline (one call at a time, so its share
// time is added up rather than waited) and the floor over the same share.
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "convert/build_preference_prices.h"
#include "convert/clear_end_marks.h"
#include "convert/import_product_file.h"
#include "convert/import_serialization_list.h"
#include "convert/import_visado_list.h"
#include "convert/notified_prices.h"
#include "convert/records.h"
#include "data_set.h"
#include "platform/posix/posix_file_system.h"
#include "support/reference_conversions.h"
#include "support/share_file_system.h"

namespace velmorin::bench {
namespace {

namespace fs = std::filesystem;

struct NoBars : ConversionProgress {
  void SetDialogBar(int) override {}
  void SetStartupBar(int) override {}
};

using Run = std::function<void(Channels&, ConversionProgress&)>;

struct Routine {
  std::string name;
  std::vector<std::string> reads;                      // files read whole by the floor
  std::vector<std::pair<std::string, size_t>> writes;  // record files it changes, slot length
  Run ours;
  Run baseline;
};

std::vector<Routine> Routines() {
  using namespace files;
  return {
      {"ImportVisadoList",
       {kVisado, kBasey},
       {{kBasey, ProductRecord::kLength}},
       [](Channels& c, ConversionProgress&) { ImportVisadoList(c); },
       [](Channels& c, ConversionProgress&) { reference::ImportVisadoList(c); }},
      {"RebuildNotifiedPrices",
       {kNotified, kBasey, kBaseP},
       {{kBaseP, NotifiedPriceRecord::kLength}},
       [](Channels& c, ConversionProgress& p) { RebuildNotifiedPrices(c, p); },
       [](Channels& c, ConversionProgress& p) { reference::RebuildNotifiedPrices(c, p); }},
      {"ClearEndMarks",
       {kBasey},
       {{kBasey, ProductRecord::kLength}},
       [](Channels& c, ConversionProgress& p) { ClearEndMarks(c, p); },
       [](Channels& c, ConversionProgress& p) { reference::ClearEndMarks(c, p); }},
      {"ImportProductFile",
       {kProductText, kBasey, kBasea, kCoste, kLabGt},
       {{kBasey, ProductRecord::kLength}, {kBasea, ProductDetailRecord::kLength}, {kLabGt, LabGtRecord::kSlotLength}},
       [](Channels& c, ConversionProgress&) { ImportProductFile(c, "", "NA"); },
       [](Channels& c, ConversionProgress&) { reference::ImportProductFile(c, "", "NA"); }},
      {"BuildPreferencePrices",
       {kEspec, kBasey, kPrecios},
       {{kPrecios, PreferencePriceRecord::kLength}},
       [](Channels& c, ConversionProgress&) { BuildPreferencePrices(c); },
       [](Channels& c, ConversionProgress&) { reference::BuildPreferencePrices(c); }},
      {"ImportSerializationList",
       {kSerialization, kBasey, kBaseext},
       {{kBaseext, ProductExtRecord::kLength}},
       [](Channels& c, ConversionProgress&) { ImportSerializationList(c); },
       [](Channels& c, ConversionProgress&) { reference::ImportSerializationList(c); }},
  };
}

const std::vector<std::string> kAllFiles = {
    files::kBasey, files::kBasea, files::kCoste,       files::kLabGt,  files::kBaseext,       files::kPrecios,
    files::kEspec, files::kBaseP, files::kProductText, files::kVisado, files::kSerialization, files::kNotified};

long PeakKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Timing {
  double wall = 0;
  double cpu = 0;
};

// Wall time and the process's CPU time (user and system): on a machine shared with other work
// the CPU time is the steadier measure.
Timing Time(const std::function<void()>& f) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds();
  f();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), CpuSeconds() - cpu};
}

// The floor: every file the routine needs read in one call, and as many bytes as it changes
// written back in one call per file.
void Floor(platform::FileSystem& file_system, const Routine& routine, const std::vector<uint64_t>& write_bytes) {
  std::map<std::string, std::vector<char>> contents;
  for (const auto& path : routine.reads) {
    auto file = file_system.Open("\\" + path, platform::OpenMode::kRandom);
    auto& bytes = contents[path];
    bytes.resize(file->Size());
    file->ReadAt(0, bytes);
  }
  for (size_t i = 0; i < routine.writes.size(); ++i) {
    const auto& bytes = contents[routine.writes[i].first];
    auto file = file_system.Open("\\" + routine.writes[i].first, platform::OpenMode::kRandom);
    file->WriteAt(0, std::span<const char>(bytes).first(std::min<size_t>(write_bytes[i], bytes.size())));
  }
}

// The share a child's files sit on: "local" for none, else "LATENCY_NS" with "/seq" when the
// routines must see a file that takes one call at a time, "/sum" when the share time is added up.
struct ShareOption {
  bool on = false;
  test_support::ShareModel model;
};

ShareOption ParseShare(const std::string& text) {
  ShareOption share;
  if (text == "local") return share;
  share.on = true;
  share.model.latency = std::chrono::nanoseconds(std::strtoll(text.c_str(), nullptr, 10));
  share.model.account_only = text.find("/sum") != std::string::npos;
  share.model.marked_remote = text.find("/seq") == std::string::npos;
  return share;
}

// Child process: runs one variant of one routine and prints seconds, peak kilobytes and the
// calls made on the share.
int RunChild(int argc, char** argv) {
  const std::string variant = argv[2];
  const fs::path root = argv[4];
  const ShareOption share = ParseShare(argv[5]);
  platform::PosixFileSystem local(root);
  std::unique_ptr<test_support::ShareFileSystem> shared;
  if (share.on) shared = std::make_unique<test_support::ShareFileSystem>(local, share.model);
  platform::FileSystem& file_system = shared ? static_cast<platform::FileSystem&>(*shared) : local;
  Channels channels(file_system);
  NoBars bars;
  Timing timing;
  if (variant == "phase" || variant == "baseline-phase") {
    timing = Time([&] {
      for (const auto& r : Routines()) (variant == "phase" ? r.ours : r.baseline)(channels, bars);
    });
  } else {
    const auto routines = Routines();
    const auto& routine =
        *std::find_if(routines.begin(), routines.end(), [&](const Routine& r) { return r.name == argv[3]; });
    std::vector<uint64_t> write_bytes;
    for (int i = 6; i < argc; ++i) write_bytes.push_back(std::strtoull(argv[i], nullptr, 10));
    timing = Time([&] {
      if (variant == "ours") routine.ours(channels, bars);
      if (variant == "baseline") routine.baseline(channels, bars);
      if (variant == "floor") Floor(file_system, routine, write_bytes);
    });
  }
  const double simulated = shared ? static_cast<double>(shared->counts().simulated_ns.load()) * 1e-9 : 0;
  const long long calls = shared ? static_cast<long long>(shared->counts().calls.load()) : 0;
  const long long writes = shared ? static_cast<long long>(shared->counts().writes.load()) : 0;
  std::printf("%.9f %.9f %ld %lld %lld\n", timing.wall + simulated, timing.cpu, PeakKilobytes(), calls, writes);
  return 0;
}

struct Sample {
  double wall = 0;
  double cpu = 0;
  long peak_kb = 0;
  long long calls = 0;
  long long writes = 0;
};

class Bench {
 public:
  Bench(fs::path dir, std::string self) : dir_(std::move(dir)), self_(std::move(self)) {}

  // "local", or the share's latency in nanoseconds; see ParseShare.
  std::string share = "local";

  const fs::path& pristine() const { return pristine_root_; }
  // Puts back the files a run may have changed, written through to the disk: the data files
  // of a workstation are not fresh in the page cache.
  void Restore(const std::vector<std::string>& paths = kAllFiles) const {
    for (const auto& f : paths) {
      fs::create_directories((Work() / f).parent_path());
      fs::copy_file(Pristine() / f, Work() / f, fs::copy_options::overwrite_existing);
      const int fd = ::open((Work() / f).c_str(), O_RDWR);
      if (fd < 0 || ::fdatasync(fd) != 0) std::exit(1);
      ::close(fd);
    }
  }
  Sample Child(const std::string& variant, const std::string& routine, const std::vector<uint64_t>& args = {},
               const std::string& share_suffix = "") const {
    std::string command =
        self_ + " --run " + variant + " " + routine + " " + work_root_.string() + " " + share + share_suffix;
    for (auto a : args) command += " " + std::to_string(a);
    FILE* pipe = popen(command.c_str(), "r");
    Sample s;
    if (pipe == nullptr ||
        std::fscanf(pipe, "%lf %lf %ld %lld %lld", &s.wall, &s.cpu, &s.peak_kb, &s.calls, &s.writes) != 5) {
      std::fprintf(stderr, "child failed: %s\n", command.c_str());
      std::exit(1);
    }
    if (pclose(pipe) != 0) std::exit(1);
    return s;
  }
  fs::path Pristine() const { return pristine_root_ / "C"; }
  fs::path Work() const { return work_root_ / "C"; }

 private:
  fs::path dir_;
  std::string self_;
  fs::path pristine_root_ = dir_ / "pristine";
  fs::path work_root_ = dir_ / "work";
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

uint64_t ChangedBytes(const fs::path& before, const fs::path& after, size_t slot) {
  const std::string a = Slurp(before), b = Slurp(after);
  uint64_t records = 0;
  for (size_t at = 0; at < std::max(a.size(), b.size()); at += slot) {
    const bool same = at + slot <= a.size() && at + slot <= b.size() && a.compare(at, slot, b, at, slot) == 0;
    records += !same;
  }
  return records * slot;
}

double Median(std::vector<Sample> samples, double Sample::*measure) {
  std::sort(samples.begin(), samples.end(), [&](const Sample& x, const Sample& y) { return x.*measure < y.*measure; });
  return samples[samples.size() / 2].*measure;
}

long Peak(const std::vector<Sample>& samples) {
  long peak = 0;
  for (const auto& s : samples) peak = std::max(peak, s.peak_kb);
  return peak;
}

struct Row {
  std::string name;
  double ours = 0, baseline = 0, floor = 0;  // CPU seconds
  double ours_wall = 0, baseline_wall = 0;
  long peak_kb = 0;
  uint64_t written = 0;
  bool identical = false;
};

std::vector<std::string> Written(const Routine& routine) {
  std::vector<std::string> paths;
  for (const auto& [path, slot] : routine.writes) paths.push_back(path);
  return paths;
}

Row Measure(const Bench& bench, const Routine& routine, int repeat) {
  Row row;
  bench.Restore();
  row.name = routine.name;
  std::vector<Sample> ours, baseline, floor;
  std::vector<uint64_t> write_bytes;
  std::map<std::string, std::string> our_result;
  for (int i = 0; i < repeat; ++i) {
    bench.Restore(Written(routine));
    ours.push_back(bench.Child("ours", routine.name));
  }
  for (const auto& [path, slot] : routine.writes) {
    write_bytes.push_back(ChangedBytes(bench.Pristine() / path, bench.Work() / path, slot));
    row.written += write_bytes.back();
  }
  for (const auto& f : kAllFiles) our_result[f] = Slurp(bench.Work() / f);
  for (int i = 0; i < std::max(1, repeat / 2); ++i) {
    bench.Restore(Written(routine));
    baseline.push_back(bench.Child("baseline", routine.name));
  }
  row.identical = true;
  for (const auto& f : kAllFiles) row.identical = row.identical && our_result[f] == Slurp(bench.Work() / f);
  for (int i = 0; i < repeat; ++i) {
    bench.Restore(Written(routine));
    floor.push_back(bench.Child("floor", routine.name, write_bytes));
  }
  row.ours = Median(ours, &Sample::cpu);
  row.baseline = Median(baseline, &Sample::cpu);
  row.floor = Median(floor, &Sample::cpu);
  row.ours_wall = Median(ours, &Sample::wall);
  row.baseline_wall = Median(baseline, &Sample::wall);
  row.peak_kb = Peak(ours);
  return row;
}

void Print(const std::vector<Row>& rows) {
  std::printf("\nCPU ms (user + system), median of the runs; wall ms alongside\n");
  std::printf("%-24s %8s %11s %8s %9s %8s %16s %8s %9s %9s\n", "routine", "ours", "rec-by-rec", "floor", "speed-up",
              "x floor", "wall ours/rbr", "peak MB", "written", "identical");
  for (const auto& r : rows) {
    std::printf("%-24s %8.1f %11.1f %8.1f %8.1fx %7.2fx %7.1f/%-8.1f %8.1f %8.2fM %9s\n", r.name.c_str(), r.ours * 1e3,
                r.baseline * 1e3, r.floor * 1e3, r.baseline / r.ours, r.ours / r.floor, r.ours_wall * 1e3,
                r.baseline_wall * 1e3, r.peak_kb / 1024.0, r.written / 1048576.0, r.identical ? "yes" : "NO");
  }
}

struct ShareRow {
  std::string name;
  Sample ours, one_at_a_time, baseline, floor;
  bool identical = false;
};

ShareRow MeasureOnShare(const Bench& bench, const Routine& routine, int repeat) {
  ShareRow row;
  row.name = routine.name;
  bench.Restore();
  std::vector<Sample> ours, floor;
  for (int i = 0; i < repeat; ++i) {
    bench.Restore(Written(routine));
    ours.push_back(bench.Child("ours", routine.name));
  }
  std::vector<uint64_t> write_bytes;
  for (const auto& [path, slot] : routine.writes) {
    write_bytes.push_back(ChangedBytes(bench.Pristine() / path, bench.Work() / path, slot));
  }
  std::map<std::string, std::string> our_result;
  for (const auto& f : kAllFiles) our_result[f] = Slurp(bench.Work() / f);
  bench.Restore(Written(routine));
  row.one_at_a_time = bench.Child("ours", routine.name, {}, "/seq");
  bench.Restore(Written(routine));
  row.baseline = bench.Child("baseline", routine.name, {}, "/seq/sum");
  row.identical = true;
  for (const auto& f : kAllFiles) row.identical = row.identical && our_result[f] == Slurp(bench.Work() / f);
  for (int i = 0; i < repeat; ++i) {
    bench.Restore(Written(routine));
    floor.push_back(bench.Child("floor", routine.name, write_bytes));
  }
  row.ours = ours[0];
  row.ours.wall = Median(ours, &Sample::wall);
  row.floor = floor[0];
  row.floor.wall = Median(floor, &Sample::wall);
  return row;
}

void PrintShareRow(const ShareRow& r) {
  std::printf("%-24s %7lld %6lld %9.1f %7lld %10.1f %8lld %10.1f %6lld %8.1f %7.2fx %9s\n", r.name.c_str(),
              r.ours.calls, r.ours.writes, r.ours.wall * 1e3, r.one_at_a_time.calls, r.one_at_a_time.wall * 1e3,
              r.baseline.calls, r.baseline.wall * 1e3, r.floor.calls, r.floor.wall * 1e3, r.ours.wall / r.floor.wall,
              r.identical ? "yes" : "NO");
}

// The routines and the whole phase on a simulated share; returns the phase's ratio to the floor.
void MeasureShare(Bench& bench, double latency_ms, int percent, int repeat) {
  bench.share = std::to_string(static_cast<long long>(latency_ms * 1e6));
  std::printf("\nnetwork drive, %.2f ms a call, 100 MB/s, %d%% changed: wall ms (median of %d), calls made\n",
              latency_ms, percent, repeat);
  std::printf("%-24s %7s %6s %9s %7s %10s %8s %10s %6s %8s %8s %9s\n", "routine", "calls", "writes", "ours", "calls",
              "1-at-once", "calls", "rec-by-rec", "calls", "floor", "x floor", "identical");
  ShareRow phase;
  phase.name = "whole phase";
  phase.identical = true;
  for (const auto& routine : Routines()) {
    const ShareRow row = MeasureOnShare(bench, routine, repeat);
    PrintShareRow(row);
    phase.floor.wall += row.floor.wall;
    phase.floor.calls += row.floor.calls;
    phase.identical = phase.identical && row.identical;
  }
  std::vector<Sample> ours;
  for (int i = 0; i < repeat; ++i) {
    bench.Restore();
    ours.push_back(bench.Child("phase", "all"));
  }
  phase.ours = ours[0];
  phase.ours.wall = Median(ours, &Sample::wall);
  bench.Restore();
  phase.one_at_a_time = bench.Child("phase", "all", {}, "/seq");
  bench.Restore();
  phase.baseline = bench.Child("baseline-phase", "all", {}, "/seq/sum");
  PrintShareRow(phase);
  std::printf("network drive: %g ms a call, %d%% changed: phase %.0f ms, floor %.0f ms, ratio to floor %.2f\n",
              latency_ms, percent, phase.ours.wall * 1e3, phase.floor.wall * 1e3, phase.ours.wall / phase.floor.wall);
}

// Every percentage on a share, in the order given: the last line sums up the last one.
int MainOnShare(const std::vector<int>& percents, double latency_ms, int repeat, bool keep) {
  for (const int percent : percents) {
    char pattern[] = "/tmp/velmorin-conversion-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    Bench bench(pattern, fs::read_symlink("/proc/self/exe").string());
    DataSetShape shape;
    shape.changed = percent / 100.0;
    const Timing generate = Time([&] { GenerateDataSet(bench.pristine(), shape); });
    std::printf("\ndata set in %s: %d%% of list entries differ from last month's; generated in %.1f s\n", pattern,
                percent, generate.wall);
    MeasureShare(bench, latency_ms, percent, repeat);
    if (!keep) fs::remove_all(pattern);
  }
  return 0;
}

int Main(int argc, char** argv) {
  DataSetShape shape;
  int repeat = 5;
  bool keep = false;
  bool share = false;
  double latency_ms = 0.5;
  std::vector<int> percents;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--changed=", 0) == 0) {
      shape.changed = std::atof(arg.c_str() + 10) / 100;
      percents.push_back(std::atoi(arg.c_str() + 10));
    }
    if (arg.rfind("--repeat=", 0) == 0) repeat = std::max(1, std::atoi(arg.c_str() + 9));
    if (arg == "--keep") keep = true;
    if (arg == "--network-drive") share = true;
    if (arg.rfind("--latency-ms=", 0) == 0) latency_ms = std::atof(arg.c_str() + 13);
  }
  if (share) return MainOnShare(percents.empty() ? std::vector<int>{100, 10} : percents, latency_ms, repeat, keep);
  char pattern[] = "/tmp/velmorin-conversion-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const Bench bench(pattern, fs::read_symlink("/proc/self/exe").string());
  std::printf("data set in %s: %d%% of list entries differ from last month's\n", pattern,
              static_cast<int>(shape.changed * 100 + 0.5));
  const Timing generate = Time([&] { GenerateDataSet(bench.pristine(), shape); });
  std::printf("generated in %.1f s\n", generate.wall);

  std::vector<Row> rows;
  for (const auto& routine : Routines()) rows.push_back(Measure(bench, routine, repeat));
  Print(rows);

  bench.Restore();
  const Sample phase = bench.Child("phase", "all");
  std::printf(
      "\nwhole conversion phase (all six routines in run order, one process): %.1f ms CPU, %.1f ms wall, "
      "peak %.1f MB\n",
      phase.cpu * 1e3, phase.wall * 1e3, phase.peak_kb / 1024.0);
  std::printf("goals: speed-up >= 10x, x floor <= 3x, peak < 64 MB\n");
  if (!keep) fs::remove_all(pattern);
  return 0;
}

}  // namespace
}  // namespace velmorin::bench

int main(int argc, char** argv) {
  // Sleeps of half a millisecond must not overrun by the default 50 µs of timer slack.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  if (argc >= 6 && std::strcmp(argv[1], "--run") == 0) return velmorin::bench::RunChild(argc, argv);
  return velmorin::bench::Main(argc, argv);
}
