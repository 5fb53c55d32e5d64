// The update run of a pharmacy in this process, on the fakes: the pharmacy's drives copied to
// an in-memory disk, its three sites served by in-memory transports that follow the test
// server's fault rules, the real download control with short deadlines, a clock that never
// waits, and stand-ins for the archiver and the installer. A fault case then costs at most
// the control's deadlines instead of a whole run's waits.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/settings.h"
#include "e2e/fault_run.h"
#include "support/fake_platform.h"
#include "support/memory_download_files.h"
#include "support/temp_dir.h"

namespace velmorin::test_support {

class InProcessRun : public MatrixRun {
 public:
  explicit InProcessRun(const std::string& region_name);
  ~InProcessRun() override;

  const Pharmacy& pharmacy() const override { return pharmacy_; }
  void SetFault(const std::string& rule) override;
  void RefuseSite(const std::string& site) override;
  std::string RefusedBase() const override { return "http://refused.fake"; }
  ProgramResult RunProgram() override;
  std::vector<std::string> RequestLines(size_t count) const override;
  std::vector<std::string> TemporaryFiles() const override;
  std::optional<std::string> DataFile(const std::string& relative) const override;
  void SetDataFile(const std::string& relative, const std::string& bytes) override;
  bool AnyPathContains(const std::string& part) const override;

  // Before RunProgram: the addresses the run is given.
  Settings& settings() { return settings_; }
  // The site serves `bytes` at `path` from now on, as a new version even when they are the same.
  void ServeSiteFile(const std::string& site, const std::string& path, const std::string& bytes);
  // Called with each answered request's line ("site GET /path status") as its answer ends.
  void OnAnswered(std::function<void(const std::string&)> hook);
  // The run report goes to `path` (by default a file of its own, read by Report).
  void SetReportPath(std::string path) { report_path_ = std::move(path); }
  std::string Report() const;

  struct Sites;

 private:
  // Made once for the process and only read: the cases of a matrix share it.
  const Pharmacy& pharmacy_;
  const std::string& archive_;  // the archive the update site serves
  TempDir log_dir_;
  mutable MemoryFileSystem fs_;
  MemoryDownloadFiles files_{fs_};
  std::shared_ptr<Sites> sites_;
  Settings settings_;
  std::string report_path_ = (log_dir_.path() / "report.log").string();
};

}  // namespace velmorin::test_support
