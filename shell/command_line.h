// setup.exe's options: "/S" (no pages, no messages) and "/D=<folder>" (the target;
// it comes last and takes the rest of the line, blanks included). A command line
// without options leaves the run exactly as it was.
#pragma once
#include <windows.h>

#include "base/install_state.h"

// Exit status of a run with options. Without options a run ends with 0 when the
// backdrop or start-up fails and with 1 once the wizard has run; with "/D=" alone
// (no "/S") it ends the same way, or with SetupRefused.
enum SetupExitStatus {
  SetupSilentInstalled = 0,    // /S: installed
  SetupSilentFailed = 1,       // /S: the installation failed and was rolled back
  SetupRefused = 2,            // an unknown option, or a target that fails page 2's checks:
                               // nothing was touched
  SetupSilentStartFailed = 3,  // /S: start-up failed (no payload, no Windows folder, ...):
                               // nothing was touched
  // 4: another setup or uninstall runs (AnotherRunGoing); 5: /S installed, and copies of
  // files that were in use go at the next restart (DoneRestartNeeded).
  // 7 and up: /S installed and the game runs, but a part the shell shows is missing: the
  // status is SetupSilentMissingBase plus the MissingPartValue bits, 7 no Start-menu
  // entries, 8 no uninstall entry, 9 neither. It wins over DoneRestartNeeded.
  SetupSilentMissingBase = 6,
};

enum { OptionTextCapacity = 64 };

struct SetupOptions {
  int Given;                          // 1 when the command line holds anything but blanks
  int Silent;                         // "/S" (any letter case)
  int HasTarget;                      // "/D=" was given
  char Target[PathCapacity];          // its folder, quotes removed; "" when too long
  int TargetTooLong;
  char Unknown[OptionTextCapacity];   // the first unknown option ("" when none)
};

// Reads a command line as WinMain receives it (without the program's name).
void ReadSetupOptions(const char* commandLine, SetupOptions* options);
// Puts the /D= folder into TargetFolder (with its final backslash, as page 2 leaves
// it) when it fits and passes page 2's checks (CheckTargetDrive); 1 when it did.
int TakeTargetOption(const SetupOptions& options);
// A run with options: the exit status (see SetupExitStatus).
int RunWithOptions(HINSTANCE instance, const SetupOptions& options);
