// Entry point: backdrop, start-up, wizard, outcome; a command line with options (/S, /D=)
// is run by RunWithOptions. The exit statuses are those of base/exit_statuses.h.
#include "base/install_state.h"
#include "shell/backdrop_window.h"
#include "shell/command_line.h"
#include "shell/setup_run.h"
#include "shell/start_up.h"
#include "system/dll_loading.h"
#include "system/single_run.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  LimitDllSearchToSystemFolder();
  SetupOptions options;
  ReadSetupOptions(commandLine, &options);
  if (!ClaimTheOnlyRun()) return RefuseSecondRun(options.Silent);
  if (options.Given) return RunWithOptions(instance, options);
  HWND backdrop = CreateBackdropWindow(instance);
  if (!backdrop) return 0;
  if (!InitInstallState()) return 0;
  RunWizard(backdrop);
  FinishInstallation(backdrop);
  return 1;
}
