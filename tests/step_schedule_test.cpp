// The progress page and its 100-tick schedule, run on the real page and timer.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "base/install_state.h"
#include "resources/resource_ids.h"
#include "shell/setup_run.h"
#include "shell/step_schedule.h"
#include "support/installation.h"
#include "support/pipeline.h"
#include "support/test_support.h"
#include "system/rollback.h"

namespace {

std::vector<std::string> ExpectedTexts() {
  std::vector<std::string> texts;
  for (int i = 1; i <= 100; ++i) texts.push_back("Fortschritt: " + std::to_string(i) + "%");
  return texts;
}

// Shows the progress page alone, with the driver as the user.
void RunProgressPage(const std::string& target, DriverHandler user) {
  ResetInstallState();
  SetTarget(target);
  InstallState.WizardPage = PageProgress;
  StartDriver(user);
  RunWizard(TestBackdrop());
  StopDriver();
  // What the schedule made (shortcuts, the uninstall entry) goes again.
  CloseLog();
  RollBackInstallation();
}

TEST(ProgressPage, RunsExactlyOneHundredTicksAndEndsOnTheNextEvent) {
  std::string target = ScratchFolder("schedule") + "Frelby\\";
  std::string firstText, openingText;
  int barAtStart = -1, barRange = -1;
  RunProgressPage(target, [&](HWND page, WindowKind kind) {
    if (kind != WindowKind::Progress) return;
    firstText = ControlText(page, IDC_PROGRESS_TEXT);
    openingText = ControlText(page, (WORD)IDC_NONE);
    barAtStart = (int)SendMessageA(GetDlgItem(page, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0);
    barRange = (int)SendMessageA(GetDlgItem(page, IDC_PROGRESS_BAR), PBM_GETRANGE, FALSE, 0);
  });
  EXPECT_EQ(InstallState.FailureCode, 0);
  EXPECT_EQ(InstallState.WizardPage, 5);
  EXPECT_EQ(TickCount, 100);
  EXPECT_EQ(DriverProgressTexts(), ExpectedTexts());
  EXPECT_EQ(openingText, "Bitte haben Sie etwas Geduld.");
  EXPECT_EQ(barRange, 100);
  if (DriverProgressTexts().empty() || firstText != "Fortschritt: 1%") {
    EXPECT_EQ(firstText, "Fortschritt: 20%");
    EXPECT_EQ(barAtStart, 0);
  }
  if (InstallState.LogFile) fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
}

TEST(ProgressPage, EachTextComesWithItsBarPositionOnThePageStillOpen) {
  std::string target = ScratchFolder("schedule-bar") + "Frelby\\";
  std::vector<int> positions;
  int pageAt100 = 0;
  bool openAt100 = false;
  WatchProgressTexts([&](HWND page, const std::string& text) {
    positions.push_back((int)SendMessageA(GetDlgItem(page, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0));
    if (text != "Fortschritt: 100%") return;
    pageAt100 = InstallState.WizardPage;
    openAt100 = IsWindowVisible(page) != 0;
  });
  RunProgressPage(target, [](HWND, WindowKind) {});
  std::vector<int> expected;
  for (int i = 1; i <= 100; ++i) expected.push_back(i);
  EXPECT_EQ(positions, expected);
  EXPECT_EQ(pageAt100, 4);
  EXPECT_TRUE(openAt100);
  EXPECT_EQ(InstallState.WizardPage, 5);
  if (InstallState.LogFile) fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
}

TEST(ProgressPage, ATimerEventOfAnotherIdRunsATickToo) {
  std::string target = ScratchFolder("schedule-other-timer") + "Frelby\\";
  int before = -1, after = -1;
  RunProgressPage(target, [&](HWND page, WindowKind kind) {
    if (kind != WindowKind::Progress) return;
    KillTimer(page, ScheduleTimerId);
    before = TickCount;
    SendMessageA(page, WM_TIMER, ScheduleTimerId + 76, 0);
    after = TickCount;
    SetTimer(page, ScheduleTimerId, ScheduleTimerPeriod, nullptr);
  });
  ASSERT_GE(before, 0);
  EXPECT_EQ(after, before + 1);
  EXPECT_EQ(DriverProgressTexts(), ExpectedTexts());
  if (InstallState.LogFile) fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
}

TEST(ProgressPage, EscapeCloseCommandsAndTheSessionsEndLeaveThePageRunning) {
  std::string target = ScratchFolder("schedule-keys") + "Frelby\\";
  LRESULT endAllowed = -1;
  RunProgressPage(target, [&](HWND page, WindowKind kind) {
    if (kind != WindowKind::Progress) return;
    endAllowed = SendMessageA(page, WM_QUERYENDSESSION, 0, 0);
    PressButton(page, IDCANCEL);
    PressButton(page, IDOK);
    PostMessageA(page, WM_CLOSE, 0, 0);
    PostMessageA(page, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  EXPECT_EQ(TickCount, 100);
  EXPECT_EQ(endAllowed, 0);
  EXPECT_EQ(DriverProgressTexts(), ExpectedTexts());
  if (InstallState.LogFile) fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
}

TEST(ProgressPage, TimerEventsDuringANestedMessageBoxAreDropped) {
  // A file where the entries' subfolder must go: extraction shows its message box.
  std::string target = ScratchFolder("schedule-nested") + "Frelby\\";
  CreateDirectoryA(target.c_str(), nullptr);
  WriteText(target + "resource", "in the way");
  size_t textsWhenShown = 0, textsWhenClosed = 0;
  int ticksWhenShown = 0, ticksWhenClosed = 0;
  RunProgressPage(target, [&](HWND box, WindowKind kind) {
    if (kind != WindowKind::MessageBox) return;
    textsWhenShown = DriverProgressTexts().size();
    ticksWhenShown = TickCount;
    RunLater([&, box] {
      textsWhenClosed = DriverProgressTexts().size();
      ticksWhenClosed = TickCount;
      PressButton(box, IDOK);
    }, 600);  // a dozen timer periods
  });
  ASSERT_EQ(DriverMessages().size(), 1u);
  EXPECT_EQ(DriverMessages()[0], "Fehler: Der von Ihnen angegebene Pfad konnte nicht angelegt werden.");
  EXPECT_EQ(InstallState.FailureCode, 15);
  EXPECT_GE(ticksWhenShown, 62);
  EXPECT_EQ(ticksWhenClosed, ticksWhenShown);
  EXPECT_EQ(textsWhenClosed, textsWhenShown);
  EXPECT_EQ(DriverProgressTexts(), ExpectedTexts());
  EXPECT_EQ(InstallState.WizardPage, 5);
  if (InstallState.LogFile) fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
}

}  // namespace
