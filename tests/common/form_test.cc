#include "common/form.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmorin {
namespace {

struct Recorder : FormObserver {
  void OnChange(Form&, const ControlSpec& c, const std::string& v) override { events.push_back(c.name + "=" + v); }
  void OnShow(Form& f) override { events.push_back("show " + f.name()); }
  void OnUnload(Form& f) override { events.push_back("unload " + f.name()); }
  std::vector<std::string> events;
};

FormSpec Spec() {
  FormSpec spec;
  spec.name = "F";
  spec.caption = "cap";
  spec.controls.push_back({.name = "Label1", .kind = ControlKind::kLabel, .text = "design"});
  spec.controls.push_back({.name = "Bar", .kind = ControlKind::kProgressBar});
  spec.controls.push_back({.name = "Timer1", .kind = ControlKind::kTimer, .interval_ms = 1});
  return spec;
}

TEST(Form, ChangesAreToldOnlyWhenTheValueChanges) {
  Form form(Spec());
  Recorder r;
  form.AddObserver(&r);
  form.MarkLoaded();
  form.SetText("Label1", "design");
  form.SetText("Label1", "x");
  form.SetText("Label1", "x");
  form.SetValue("Bar", 0);
  form.SetValue("Bar", 50);
  form.SetValue("Bar", 150);
  form.SetText("F", "other caption");
  EXPECT_THAT(r.events, testing::ElementsAre("Label1=x", "Bar=50", "Bar=100", "F=other caption"));
}

TEST(Form, LoadingRestoresTheDesignTimeState) {
  Form form(Spec());
  form.MarkLoaded();
  form.SetText("Label1", "x");
  form.SetValue("Bar", 40);
  form.SetTimerEnabled("Timer1", false);
  form.MarkShown();
  form.MarkUnloaded();
  EXPECT_FALSE(form.visible());
  form.MarkLoaded();
  EXPECT_EQ(form.Text("Label1"), "design");
  EXPECT_EQ(form.Value("Bar"), 0);
  EXPECT_TRUE(form.TimerEnabled("Timer1"));
  EXPECT_FALSE(form.visible());
}

}  // namespace
}  // namespace velmorin
