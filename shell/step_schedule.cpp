#include "shell/step_schedule.h"

#include <commctrl.h>

#include "base/install_state.h"
#include "base/product_names.h"
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

}  // namespace

// Each step builds on what the steps before it made. Once a step has failed, no
// later stage begins and no shortcut or registration is made: a slice step runs only
// while its own stage holds its files open, and lets go of them on its last tick.
void RunScheduledStep(int tick) {
  int clean = InstallState.FailureCode == FailureNone;
  if (tick == 1) {
    BeginStaging();
  } else if (tick <= 19) {
    StageSlice(tick);
  } else if (tick == 20) {
    if (clean) BeginExpansion();
  } else if (tick <= 60) {
    ExpandSlice(tick);
  } else if (tick == 61) {
    if (clean) BeginExtraction();
  } else if (tick <= 95) {
    ExtractSlice(tick);
  } else if (tick == 98) {
    // Neither step fails the installation: what it could not make is told at the end.
    if (clean && !CreateShortcuts()) InstallState.MissingParts |= MissingShortcuts;
  } else if (tick == 99) {
    if (clean) RegisterUninstall(UninstallKeyName, UninstallDisplayName, UninstallerFile);
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
