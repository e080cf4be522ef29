// Runs the installer as its entry point does, inside the test process, with the GUI
// driver as the user.
#pragma once
#include <windows.h>

#include <string>

#include "driver/gui_driver.h"

struct InstallationRun {
  int Started = 0;           // InitInstallState's result
  int FailureCode = 0;       // when the run ended
};

// Start-up with the resources of `module` (the test program when null), the target
// folder set as if typed on page 2 (when not empty), then the wizard and the outcome.
InstallationRun RunInstallation(HMODULE module, const std::string& target, DriverHandler user);
// The message-box texts a run showed.
std::string LastMessage();
