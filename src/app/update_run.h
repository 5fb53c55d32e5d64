// The update run: one straight sequence from the drive prefix to the installer.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/start_up.h"
#include "common/form.h"
#include "common/settings.h"
#include "convert/channels.h"
#include "download/menor_ref.h"
#include "platform/platform.h"

namespace velmorin {

class UpdateRun {
 public:
  UpdateRun(platform::Platform& platform, Channels& channels, MenorRef& dialog, Form& startup, const Settings& settings)
      : platform_(platform), channels_(channels), dialog_(dialog), startup_(startup), settings_(settings) {}

  // Runs every stage; returns after the installer's wait (the caller ends the program).
  void Run();

  const std::string& drive_prefix() const { return prefix_; }
  const Region& region() const { return region_; }

 private:
  void ReferenceLists();
  void NotifiedPrices();
  void PreferenceAndDatabase();
  void ExtractAndConvert();
  void Convert();
  void WriteOrigin();
  void LaunchInstaller();
  std::string InstallerProgram();
  void SetStartupBar(int value);
  // Runs one conversion routine and reports the records it wrote and its time.
  void Converted(std::string_view routine, const std::function<void()>& convert);

  platform::Platform& platform_;
  Channels& channels_;
  MenorRef& dialog_;
  Form& startup_;
  const Settings& settings_;
  std::string prefix_;
  Region region_;
};

// The command lines the run starts, for a drive prefix.
std::string FirstExtractionCommand(const std::string& prefix);
std::string SecondExtractionCommand(const std::string& prefix);
std::string InstallerCommand(const std::string& prefix);

}  // namespace velmorin
