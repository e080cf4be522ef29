#include "shell/step_schedule.h"

#include <commctrl.h>

#include "base/install_state.h"
#include "base/product_names.h"
#include "base/schedule_ticks.h"
#include "payload/expansion.h"
#include "payload/extraction.h"
#include "payload/staging.h"
#include "resources/resource_ids.h"
#include "shell/wizard_pages.h"
#include "system/pending_messages.h"
#include "system/shortcuts.h"
#include "system/uninstall_registration.h"

int TickCount;
int StepBusy;

namespace {

void OpenProgressPage(HWND page) {
  PreparePageWindow(page);
  SetWindowTextA(GetDlgItem(page, (WORD)IDC_NONE), "Bitte haben Sie etwas Geduld.");
  HWND bar = GetDlgItem(page, IDC_PROGRESS_BAR);
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, ScheduleTicks));
  SendMessageA(bar, PBM_SETPOS, 0, 0);
  TickCount = 0;
  SetTimer(page, ScheduleTimerId, ScheduleTimerPeriod, nullptr);
}

void HandleTimerEvent(HWND page) {
  if (StepBusy == 1) return;
  if (TickCount >= ScheduleTicks) {
    KillTimer(page, ScheduleTimerId);
    EndDialog(page, 1);
    InstallState.WizardPage = PageFinished;
    return;
  }
  StepBusy = 1;
  ++TickCount;
  BeginAnsweringTick(page, ScheduleTimerPeriod);
  RunScheduledStep(TickCount);
  EndAnsweringTick();
  SendMessageA(GetDlgItem(page, IDC_PROGRESS_BAR), PBM_SETPOS, TickCount, 0);
  char text[32];
  wsprintfA(text, "Fortschritt: %d%%", TickCount);
  SetWindowTextA(GetDlgItem(page, IDC_PROGRESS_TEXT), text);
  StepBusy = 0;
}

// Fails no installation: what it could not make is told at the end.
int MakeShortcuts() {
  if (!CreateShortcuts()) InstallState.MissingParts |= MissingShortcuts;
  return 1;
}

int RegisterUninstallEntry() { return RegisterUninstall(UninstallKeyName, UninstallDisplayName, UninstallerFile); }

}  // namespace

// Each step builds on what the steps before it made. Once a step has failed, no
// later stage begins and no shortcut or registration is made: a slice step runs only
// while its own stage holds its files open, and lets go of them on its last tick.
void RunScheduledStep(int tick) {
  struct Step {
    int (*Begin)();
    int (*Slice)(int tick);
  };
  static const Step Steps[ScheduleStages] = {
      {BeginStaging, StageSlice}, {BeginExpansion, ExpandSlice}, {BeginExtraction, ExtractSlice},
      {MakeShortcuts, nullptr},  {RegisterUninstallEntry, nullptr}};
  int clean = InstallState.FailureCode == FailureNone;
  for (int stage = 0; stage < ScheduleStages; ++stage) {
    const StageTicks& ticks = ScheduleTable[stage];
    // Staging always begins; a later stage only while nothing has failed.
    if (tick == ticks.First && (clean || stage == StageStaging)) Steps[stage].Begin();
    else if (tick > ticks.First && tick <= ticks.Last) Steps[stage].Slice(tick);
  }
}

void RunScheduleUnattended() {
  InstallState.WizardPage = PageProgress;
  for (TickCount = 0; TickCount < ScheduleTicks;) {
    StepBusy = 1;
    ++TickCount;
    RunScheduledStep(TickCount);
    StepBusy = 0;
  }
  InstallState.WizardPage = PageFinished;
}

INT_PTR CALLBACK ProgressPage(HWND page, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) OpenProgressPage(page);
  else if (message == WM_TIMER) HandleTimerEvent(page);
  return 0;
}
