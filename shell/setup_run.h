// The frame of a run: the wizard loop over the pages, and the final outcome.
#pragma once
#include <windows.h>

void RunWizard(HWND backdrop);
void FinishInstallation(HWND backdrop);
