#include "support/installation.h"

#include "base/install_state.h"
#include "shell/setup_run.h"
#include "shell/start_up.h"
#include "support/test_support.h"

InstallationRun RunInstallation(HMODULE module, const std::string& target, DriverHandler user) {
  ResetInstallState();
  HWND backdrop = TestBackdrop();
  InstallState.InstanceHandle = module ? module : GetModuleHandleA(nullptr);
  InstallationRun run;
  StartDriver(user);
  run.Started = InitInstallState();
  if (run.Started) {
    if (!target.empty()) SetTarget(target);
    RunWizard(backdrop);
    FinishInstallation(backdrop);
  }
  StopDriver();
  run.FailureCode = InstallState.FailureCode;
  return run;
}

std::string LastMessage() {
  const std::vector<std::string>& messages = DriverMessages();
  return messages.empty() ? std::string() : messages.back();
}
