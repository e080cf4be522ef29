// Entry point: backdrop, start-up, wizard, outcome. Exit status 0 when the backdrop
// or start-up fails, 1 once the wizard has run, 4 when another setup or uninstall of
// the game runs. A command line with options (/S, /D=) is run by RunWithOptions, with
// the statuses of shell/command_line.h.
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
