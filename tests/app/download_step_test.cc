#include "app/download_step.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace velmorin {
namespace {

using test_support::FakePlatform;
using testing::ElementsAre;

class DownloadStepTest : public testing::Test {
 protected:
  DownloadStepTest() { settings_.update_domain = "never-matches"; }
  FakePlatform p_;
  Settings settings_;
  Channels channels_{p_.fs};
  MenorRef dialog_{p_.platform, channels_, settings_};
  Form startup_{FormSpec{.name = "InicioMR"}};
  DownloadSteps steps_{dialog_, p_.ui, startup_, "F:"};
};

TEST_F(DownloadStepTest, DestinationsFromAddresses) {
  steps_.Run({.address = "http://h/dir/file.txt", .folder = "\\velmorin\\bases\\"});
  steps_.Run({.address = "http://h/dir/", .folder = "\\velmorin\\quorra\\"});
  steps_.Run({.address = "noslash", .folder = "\\velmorin\\"});
  steps_.Run({.address = "http://h/bioequiv.txt", .fixed_path = "\\velmorin\\quorra\\bioequiv"});
  steps_.Run({.address = "http://h/espec", .folder = "\\p\\", .fetched_address = "http://h/espec.CM"});
  EXPECT_THAT(p_.downloads.requests, ElementsAre("GET http://h/dir/file.txt -> F:\\velmorin\\bases\\file.txt",
                                                 "GET http://h/dir/ -> F:\\velmorin\\quorra\\",  // the folder itself
                                                 "GET noslash -> ",  // nothing of the previous step
                                                 "GET http://h/bioequiv.txt -> F:\\velmorin\\quorra\\bioequiv",
                                                 "GET http://h/espec.CM -> F:\\p\\espec"));
}

TEST_F(DownloadStepTest, TheFileNameIsTheTransientFirstDestination) {
  steps_.Run({.address = "http://h/tarquinas.txt", .fixed_path = "\\velmorin\\sodrilax\\tarquinas.act"});
  EXPECT_THAT(
      p_.ui.Matching("set MenorRef.Text2 "),
      ElementsAre("set MenorRef.Text2 tarquinas.txt", "set MenorRef.Text2 F:\\velmorin\\sodrilax\\tarquinas.act"));
}

TEST_F(DownloadStepTest, PreparationRunsBeforeTheDialogAndTheStartupFormIsRepainted) {
  std::vector<std::string> order;
  steps_.Run({.address = "http://h/a", .folder = "\\", .preparation = [&] { order.push_back("prepared"); }});
  EXPECT_EQ(order.size(), 1u);
  EXPECT_EQ(p_.ui.events.back(), "refresh InicioMR");
}

}  // namespace
}  // namespace velmorin
