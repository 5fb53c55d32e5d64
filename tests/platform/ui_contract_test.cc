// The user interface's forms and timers, checked on the real one of the build (the terminal
// view on Linux; windows under Wine) and on the fake the tests of the dialog and the run use,
// so that the fake cannot drift from what the program gets.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "common/ui_log.h"
#include "support/fake_platform.h"
#ifdef _WIN32
#include "platform/win32/win32_ui.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/posix_ui.h"
#endif

namespace velmorin {
namespace {

#ifdef _WIN32
struct NativeUi {
  UiLog log{""};
  std::unique_ptr<platform::Ui> owned = platform::MakeWin32Ui(log, {.unattended = true});
  platform::Ui& ui = *owned;
};
#else
// Neither end is a terminal: nothing is drawn and no key is read.
struct NativeUi {
  NativeUi() : input(::open("/dev/null", O_RDONLY | O_CLOEXEC)), output(::open("/dev/null", O_WRONLY | O_CLOEXEC)) {}
  ~NativeUi() {
    owned.reset();
    ::close(input);
    ::close(output);
  }
  UiLog log{""};
  int input;
  int output;
  std::unique_ptr<platform::Ui> owned = platform::MakePosixUi(log, {.input_fd = input, .output_fd = output});
  platform::Ui& ui = *owned;
};
#endif

struct FakeUiFixture {
  test_support::FakeUi fake;
  platform::Ui& ui = fake;
};

FormSpec TimersFormSpec() {
  FormSpec spec{.name = "MenorRef", .caption = "Descarga de archivos", .client_width = 5985, .client_height = 1935};
  spec.controls = {
      {.name = "Label10", .kind = ControlKind::kLabel, .rect = {720, 600, 4575, 255}, .text = "+++"},
      {.name = "Timer1", .kind = ControlKind::kTimer, .interval_ms = 1},
      {.name = "Timer2", .kind = ControlKind::kTimer, .interval_ms = 20},
      {.name = "Timer3", .kind = ControlKind::kTimer, .interval_ms = 5},
  };
  return spec;
}

template <class F>
class UiContract : public testing::Test {
 protected:
  F fixture_;
};

using Fixtures = testing::Types<NativeUi, FakeUiFixture>;
TYPED_TEST_SUITE(UiContract, Fixtures);

TYPED_TEST(UiContract, AModalFormRunsEveryEnabledTimerUntilItIsUnloaded) {
  platform::Ui& ui = this->fixture_.ui;
  Form form(TimersFormSpec());
  ui.Load(form);
  form.SetTimerEnabled("Timer3", false);
  std::map<std::string, int> ticks;
  form.on_timer = [&](const std::string& timer) {
    const int n = ++ticks[timer];
    // Once, as the dialog's start sequence switches its own timer off.
    if (timer == "Timer1") form.SetTimerEnabled("Timer1", false);
    // A loop that ran only some of the timers still ends.
    if ((timer == "Timer2" && n == 3) || n == 10000) ui.Unload(form);
  };
  ui.ShowModal(form);
  EXPECT_FALSE(form.loaded());
  EXPECT_EQ(ticks["Timer1"], 1);
  EXPECT_EQ(ticks["Timer2"], 3);
  EXPECT_EQ(ticks["Timer3"], 0);
}

TYPED_TEST(UiContract, AModalShowOfAFormThatIsNotLoadedReturnsAtOnce) {
  platform::Ui& ui = this->fixture_.ui;
  Form form(TimersFormSpec());
  bool ticked = false;
  form.on_timer = [&](const std::string&) { ticked = true; };
  ui.ShowModal(form);
  EXPECT_FALSE(form.visible());
  EXPECT_FALSE(ticked);
  ui.Load(form);
  form.SetText("Label10", "x");
  ui.Show(form);
  EXPECT_TRUE(form.visible());
  ui.Unload(form);
  EXPECT_FALSE(form.loaded());
  EXPECT_FALSE(form.visible());
  ui.Load(form);
  EXPECT_EQ(form.Text("Label10"), "+++");
  EXPECT_FALSE(form.visible());
  ui.Unload(form);
}

}  // namespace
}  // namespace velmorin
