// setup.exe's options: "/S" (no pages, no messages) and "/D=<folder>" (the target;
// it comes last and takes the rest of the line, blanks included). A command line
// without options leaves the run exactly as it was.
#pragma once
#include <windows.h>

#include "base/exit_statuses.h"
#include "base/install_state.h"

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
// A run with options: the exit status (exit_statuses.h).
int RunWithOptions(HINSTANCE instance, const SetupOptions& options);
