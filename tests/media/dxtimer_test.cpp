#include "media/dxtimer.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/forms.h"
#include "app/sysutils.h"
#include "platform/headless/headless_platform.h"

namespace {

class DXTimerTest : public ::testing::Test {
 protected:
  DXTimerTest() : application(platform) {
    form = app::CreateForm<app::TForm>(&application);
    form->Show();
    application.ProcessMessages();
    timer = new media::TDXTimer(form);
    timer->OnTimer = [this](app::TObject*, std::int32_t lag) { lags.push_back(lag); };
  }

  // One pass of the message loop's idle processing, `ms` after the previous one.
  void Pass(std::uint32_t ms) {
    platform.AdvanceMilliseconds(ms);
    application.ProcessMessages();
    application.HandleMessage();
  }

  platform::HeadlessPlatform platform;
  app::TApplication application;
  app::TForm* form;
  media::TDXTimer* timer;
  std::vector<std::int32_t> lags;
};

TEST_F(DXTimerTest, ConstructorDefaults) {
  media::TDXTimer fresh(nullptr);
  EXPECT_TRUE(fresh.ActiveOnly);
  EXPECT_TRUE(fresh.Enabled());
  EXPECT_EQ(fresh.Interval(), 1000u);
  EXPECT_EQ(fresh.FrameRate(), 0);
  EXPECT_FALSE(fresh.Initialized());  // not loaded, never started
}

TEST_F(DXTimerTest, IntervalZeroTicksEveryPassWithMillisecondsAndAtLeastOne) {
  timer->SetInterval(0);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  for (std::uint32_t ms : {17u, 16u, 0u, 250u}) Pass(ms);
  EXPECT_EQ(lags, (std::vector<std::int32_t>{17, 16, 1, 250}));
}

TEST_F(DXTimerTest, IntervalCountsWholeIntervals) {
  timer->SetInterval(1000);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  Pass(999);
  Pass(1);     // 1000 since the start
  Pass(2500);  // two whole intervals
  Pass(999);
  EXPECT_EQ(lags, (std::vector<std::int32_t>{1, 2}));
  timer->SetInterval(-5);  // negative counts as 0
  EXPECT_EQ(timer->Interval(), 0u);
}

TEST_F(DXTimerTest, SettingEnabledToItsValueDoesNotRestart) {
  timer->SetInterval(0);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  Pass(10);
  platform.AdvanceMilliseconds(30);
  timer->SetEnabled(true);  // no restart: the lag still counts from the last tick
  Pass(5);
  EXPECT_EQ(lags, (std::vector<std::int32_t>{10, 35}));
  timer->SetEnabled(false);
  Pass(5);
  EXPECT_EQ(lags.size(), 2u);
  EXPECT_FALSE(application.OnIdle);
}

TEST_F(DXTimerTest, InactiveApplicationSuspendsAndReactivationMeasuresFromThere) {
  timer->SetInterval(0);
  timer->SetEnabled(false);
  platform.FocusElsewhere();
  application.ProcessMessages();
  ASSERT_FALSE(application.Active());

  timer->SetEnabled(true);  // started but idle while inactive
  EXPECT_TRUE(timer->Initialized());
  Pass(20);
  EXPECT_TRUE(lags.empty());

  platform.AdvanceMilliseconds(1000);
  platform.Focus(form->Handle().Id());
  application.ProcessMessages();
  ASSERT_TRUE(application.Active());
  Pass(7);
  EXPECT_EQ(lags, (std::vector<std::int32_t>{7}));

  platform.FocusElsewhere();
  Pass(5);  // the deactivation is seen on this pass, before the idle slot is used
  EXPECT_FALSE(application.OnIdle);
  EXPECT_EQ(lags.size(), 1u);
}

TEST_F(DXTimerTest, ActivationEventsFireEvenWithoutActiveOnly) {
  int activated = 0, deactivated = 0;
  timer->OnActivate = [&](app::TObject*) { ++activated; };
  timer->OnDeactivate = [&](app::TObject*) { ++deactivated; };
  timer->ActiveOnly = false;
  timer->SetInterval(0);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  platform.FocusElsewhere();
  Pass(3);
  Pass(3);  // still ticking without ActiveOnly
  platform.Focus(form->Handle().Id());
  Pass(3);
  EXPECT_EQ(activated, 1);
  EXPECT_EQ(deactivated, 1);
  EXPECT_EQ(lags.size(), 3u);
}

TEST_F(DXTimerTest, FrameRateChangesOncePerWindowOfASecond) {
  timer->SetInterval(0);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  // 60 ticks over exactly 1000 ms: 40 of 17 ms and 20 of 16 ms.
  for (int i = 0; i < 59; ++i) {
    Pass(i < 40 ? 17 : 16);
    EXPECT_EQ(timer->FrameRate(), 0) << i;
  }
  Pass(1000 - (40 * 17 + 19 * 16));
  EXPECT_EQ(timer->FrameRate(), 60);
  for (int i = 0; i < 10; ++i) Pass(50);  // half a second of 20 per second
  EXPECT_EQ(timer->FrameRate(), 60);
  for (int i = 0; i < 10; ++i) Pass(50);
  EXPECT_EQ(timer->FrameRate(), 20);
}

TEST_F(DXTimerTest, ClockWrapAroundGivesTheSmallElapsedTime) {
  platform.SetMilliseconds(0xFFFFFFF0u);
  timer->SetInterval(0);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  Pass(0x10);     // wraps to 0
  Pass(20);
  EXPECT_EQ(lags, (std::vector<std::int32_t>{16, 20}));
}

TEST_F(DXTimerTest, AnExceptionFromOnTimerIsReportedAndTheNextPassTicksAgain) {
  std::vector<std::string> reports;
  application.ShowExceptionHandler = [&](const std::string& m) { reports.push_back(m); };
  int calls = 0;
  timer->OnTimer = [&](app::TObject*, std::int32_t lag) {
    lags.push_back(lag);
    if (++calls == 1) throw app::Exception("boom");
  };
  timer->SetInterval(0);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  Pass(10);
  Pass(12);
  EXPECT_EQ(reports, (std::vector<std::string>{"boom"}));
  EXPECT_EQ(lags, (std::vector<std::int32_t>{10, 12}));
}

}  // namespace
