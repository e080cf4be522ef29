// The frame of a run: the wizard loop over the pages, and the final outcome.
#pragma once
#include <windows.h>

void RunWizard(HWND backdrop);
void FinishInstallation(HWND backdrop);
enum RunOutcome {
  RunRolledBack = 0,       // failed, and the rollback reached the log's first record
  RunInstalled = 1,        // installed (InstallState.MissingParts tells what the shell lacks)
  RunRollbackStopped = 2,  // failed, and the rollback stopped early: its log stays for the
                           // next setup or the uninstaller to undo the rest
};
// The outcome without message boxes (setup.exe /S): the log closed, a failed
// installation rolled back. Gives a RunOutcome.
int FinishUnattended();
