#include "shell/step_schedule.h"

#include <commctrl.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "base/schedule_ticks.h"
#include "payload/expansion.h"
#include "payload/extraction.h"
#include "payload/staging.h"
#include "resources/resource_ids.h"
#include "shell/wizard_pages.h"
#include "system/dll_loading.h"
#include "system/pending_messages.h"
#include "system/shortcuts.h"
#include "system/uninstall_registration.h"

int TickCount;
int StepBusy;

namespace {

// Vista and later show a reason while a program refuses the session's end; older Windows
// have no such call, and the refusal alone holds there.
typedef BOOL(WINAPI* BlockReasonCreateCall)(HWND, LPCWSTR);
typedef BOOL(WINAPI* BlockReasonDestroyCall)(HWND);

void GiveSessionEndReason(HWND page) {
  BlockReasonCreateCall create = (BlockReasonCreateCall)LoadedFunction("user32.dll", "ShutdownBlockReasonCreate");
  char text[128];
  WCHAR reason[128];
  if (create && FormatBounded(text, sizeof text, "%s wird installiert.", ProductName) &&
      MultiByteToWideChar(1252, 0, text, -1, reason, 128))
    create(page, reason);
}

void WithdrawSessionEndReason(HWND page) {
  BlockReasonDestroyCall destroy = (BlockReasonDestroyCall)LoadedFunction("user32.dll", "ShutdownBlockReasonDestroy");
  if (destroy) destroy(page);
}

void OpenProgressPage(HWND page) {
  PreparePageWindow(page);
  SetWindowTextA(GetDlgItem(page, (WORD)IDC_NONE), "Bitte haben Sie etwas Geduld.");
  HWND bar = GetDlgItem(page, IDC_PROGRESS_BAR);
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, ScheduleTicks));
  SendMessageA(bar, PBM_SETPOS, 0, 0);
  TickCount = 0;
  GiveSessionEndReason(page);
  SetTimer(page, ScheduleTimerId, ScheduleTimerPeriod, nullptr);
}

void HandleTimerEvent(HWND page) {
  if (StepBusy == 1) return;
  if (TickCount >= ScheduleTicks) {
    KillTimer(page, ScheduleTimerId);
    WithdrawSessionEndReason(page);
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

int RegisterUninstallEntry() { return RegisterUninstall(UninstallKeyName, UninstallDisplayName, UninstallerFile); }

}  // namespace

// Each step builds on what the steps before it made. Once a step has failed, no
// later stage begins and no shortcut or registration is made: a slice step runs only
// while its own stage holds its files open, and lets go of them on its last tick.
void RunScheduledStep(int tick) {
  struct Step {
    int (*Begin)();
    int (*Slice)(int tick);
    int MissingPart;  // the shortcuts' and the entry's: what the shell lacks when the step fails
  };
  static const Step Steps[ScheduleStages] = {
      {BeginStaging, StageSlice, 0}, {BeginExpansion, ExpandSlice, 0}, {BeginExtraction, ExtractSlice, 0},
      {CreateShortcuts, nullptr, MissingShortcuts},  {RegisterUninstallEntry, nullptr, MissingUninstallEntry}};
  int clean = InstallState.FailureCode == FailureNone;
  for (int stage = 0; stage < ScheduleStages; ++stage) {
    const StageTicks& ticks = ScheduleTable[stage];
    // Staging always begins; a later stage only while nothing has failed.
    if (tick == ticks.First && (clean || stage == StageStaging)) {
      if (!Steps[stage].Begin()) InstallState.MissingParts |= Steps[stage].MissingPart;  // told at the end
    } else if (tick > ticks.First && tick <= ticks.Last) Steps[stage].Slice(tick);
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
  else if (message == WM_QUERYENDSESSION) {
    // A long tick answers messages while it writes: the session waits until the page
    // has ended, and the log is whole.
    SetWindowLongPtrA(page, DWLP_MSGRESULT, FALSE);
    return TRUE;
  }
  return 0;
}
