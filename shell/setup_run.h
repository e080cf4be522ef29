// The frame of a run: the wizard loop over the pages, and the final outcome.
#pragma once
#include <windows.h>

void RunWizard(HWND backdrop);
void FinishInstallation(HWND backdrop);
// The outcome without message boxes (setup.exe /S): the log closed, a failed
// installation rolled back. 1 when installed.
int FinishUnattended();
