// Whole runs of the real program with something broken: the pharmacy and its three sites, the
// record files' expected states (the library's routines applied in the run's order to a copy),
// and the rows of docs/faults.md the runs must match.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/pharmacy.h"
#include "e2e/run_program.h"
#include "support/loopback_ports.h"
#include "support/test_server.h"

namespace velmorin::test_support {

// Files by path relative to a drive's folder ("velmorin/quorra/basey"); nothing when absent.
using DriveFiles = std::map<std::string, std::optional<std::string>>;

// The record files the run writes or reads, relative to the data drive.
const std::vector<std::string>& RecordFilePaths();
DriveFiles ReadFiles(const std::filesystem::path& drive, const std::vector<std::string>& paths);

// What the run's conversions leave in the record files, computed with the library on a copy.
struct ConversionInputs {
  std::string visa_list;
  std::string notified_list;
  std::string product_file;
  std::string espec;
  std::optional<std::string> serialization_list;
  std::string region_suffix = "NA";
};
// The steps of a run that change record files, in their order.
enum class Step { kVisaImport, kNotifiedPrices, kEndMarks, kProductFile, kPreferencePrices, kSerialization };
DriveFiles AfterVisaImport(const DriveFiles& files, const std::string& list);
DriveFiles AfterNotifiedPrices(const DriveFiles& files, const std::string& list);
// The steps of a run up to `last`, in their order.
DriveFiles AfterRun(const DriveFiles& files, const ConversionInputs& inputs, Step last = Step::kSerialization);

// A whole run of a pharmacy whose downloads fail, as the fault matrix drives it: the real
// program against the loopback server, or the update run in this process on fakes.
class MatrixRun {
 public:
  virtual ~MatrixRun() = default;
  // Its drives are what the run starts from; its sites, what they serve.
  virtual const Pharmacy& pharmacy() const = 0;
  // A line of the test server's faults file ("site /path directive").
  virtual void SetFault(const std::string& rule) = 0;
  // Connections to the site ("council", "coop") are refused.
  virtual void RefuseSite(const std::string& site) = 0;
  // A base URL whose connections are refused.
  virtual std::string RefusedBase() const = 0;
  virtual ProgramResult RunProgram() = 0;
  // "site GET /path status" per answered request, once at least `count` are (or after a while).
  virtual std::vector<std::string> RequestLines(size_t count) const = 0;
  // The download control's temporary files ("*.part-*") left anywhere on the drives.
  virtual std::vector<std::string> TemporaryFiles() const = 0;
  // A file of the data drive F: by its path relative to it; nothing when absent.
  virtual std::optional<std::string> DataFile(const std::string& relative) const = 0;
  virtual void SetDataFile(const std::string& relative, const std::string& bytes) = 0;
  // Whether any file or folder on the drives has `part` in its name.
  virtual bool AnyPathContains(const std::string& part) const = 0;
};

// The record files of the run's data drive.
DriveFiles RecordFiles(const MatrixRun& run);

// The inputs of the conversions as the pharmacy's sites serve them.
ConversionInputs ServedInputs(const Pharmacy& pharmacy, const std::string& region_suffix);

// A pharmacy, its sites served on loopback, and the settings a run of the program gets.
class FaultRun {
 public:
  explicit FaultRun(const std::string& region_name);

  Pharmacy& pharmacy() const { return *pharmacy_; }
  TestServer& server() { return *server_; }
  std::map<std::string, std::string>& environment() { return environment_; }
  // Points a site's setting at another base URL (a closed port, say).
  void SetSiteUrl(const std::string& setting, const std::string& url) { environment_[setting] = url; }

  // Runs the program. `unprivileged`: as the user nobody when the tests run as root, since
  // root writes any file whatever its permissions say (call ShareWithEveryone first).
  ProgramResult Run(bool unprivileged = false);
  // Makes the pharmacy's folders and files writable by every user.
  void ShareWithEveryone();
  // "site GET /path status" per logged request, once at least `count` are logged (or after
  // a few seconds).
  std::vector<std::string> RequestLines(size_t count) const;
  // Files the download control left behind ("*.part-*") anywhere on the drives.
  std::vector<std::string> TemporaryFiles() const;
  // The inputs of the conversions as the sites serve them.
  ConversionInputs ServedInputs(const std::string& region_suffix) const;

 private:
  std::unique_ptr<Pharmacy> pharmacy_;
  std::unique_ptr<TestServer> server_;
  std::map<std::string, std::string> environment_;
};

// MatrixRun as a run of the real program.
class ProgramRun : public MatrixRun {
 public:
  explicit ProgramRun(const std::string& region_name) : run_(region_name) {}
  const Pharmacy& pharmacy() const override { return run_.pharmacy(); }
  void SetFault(const std::string& rule) override { run_.server().SetFaults(rule + "\n"); }
  void RefuseSite(const std::string& site) override;
  std::string RefusedBase() const override { return closed_.Url(); }
  ProgramResult RunProgram() override { return run_.Run(); }
  std::vector<std::string> RequestLines(size_t count) const override { return run_.RequestLines(count); }
  std::vector<std::string> TemporaryFiles() const override { return run_.TemporaryFiles(); }
  std::optional<std::string> DataFile(const std::string& relative) const override;
  void SetDataFile(const std::string& relative, const std::string& bytes) override;
  bool AnyPathContains(const std::string& part) const override;

 private:
  FaultRun run_;
  ClosedPort closed_;
};

// The lines of a run's UI log that start with `prefix`.
std::vector<std::string> LogLines(const ProgramResult& result, const std::string& prefix);

// docs/faults.md holds one row "| subject | fault | what the program did |" per case. A case
// registers its subject and fault; the test then checks that its row, built from what the
// program did, stands in the document, and prints the row when it does not.
bool RegisterFaultCase(const std::string& subject, const std::string& fault);
void ExpectFaultRow(const std::string& subject, const std::string& fault, const std::string& outcome);

}  // namespace velmorin::test_support
