// The one way a failure that nothing handles ends the program, whatever the build.
#include "platform/program_end.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <system_error>

#include "support/fake_platform.h"

namespace velmorin {
namespace {

using test_support::ProgramEnded;
using testing::ElementsAre;

std::vector<std::string> EventsOfAHandlerThat(const std::function<void()>& fails) {
  test_support::FakeUi ui;
  try {
    RunEventHandler(ui, fails);
  } catch (const ProgramEnded&) {
  }
  return ui.events;
}

TEST(RunEventHandler, WhatAHandlerLetsOutIsReportedAndEndsTheProgramWithTwo) {
  EXPECT_THAT(EventsOfAHandlerThat([] { throw RuntimeError(err::kFileNotFound); }), ElementsAre("error 53", "exit 2"));
  EXPECT_THAT(EventsOfAHandlerThat([] {
                throw std::filesystem::filesystem_error("is_regular_file",
                                                        std::make_error_code(std::errc::filename_too_long));
              }),
              ElementsAre("error 51", "exit 2"));
  EXPECT_THAT(EventsOfAHandlerThat([] { throw std::bad_alloc(); }), ElementsAre("error 7", "exit 2"));
  EXPECT_THAT(EventsOfAHandlerThat([] {}), ElementsAre());
}

TEST(RunEventHandler, TheDescriptionsOfTheConvertedErrorsAreSpanish) {
  EXPECT_EQ(RuntimeErrorFor(std::bad_alloc()).description(), "Memoria insuficiente");
  EXPECT_EQ(RuntimeErrorFor(std::logic_error("x")).description(), "Error interno");
}

}  // namespace
}  // namespace velmorin
