// Entry point: backdrop, start-up, wizard, outcome. Exit status 0 when the backdrop
// or start-up fails, 1 once the wizard has run.
#include "shell/backdrop_window.h"
#include "shell/install_state.h"
#include "shell/setup_run.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  HWND backdrop = CreateBackdropWindow(instance);
  if (!backdrop) return 0;
  if (!InitInstallState()) return 0;
  RunWizard(backdrop);
  FinishInstallation(backdrop);
  return 1;
}
