// A running program cannot delete its own file. The uninstaller therefore hands its
// work to a copy of itself in the temporary folder (where the temporary folder cannot be
// reached, in the Windows folder's "Temp"): the copy is opened for deletion on
// close and that handle is inherited by the copy's process, so the copy's file goes
// when that process ends; the copy waits until the original has ended, so it can
// delete the original's file like any other.
//
// Unattended (/S), the caller waits for the original and wants the final status, so
// the original cannot end first: it waits for a report from the copy instead. The copy
// undoes the log while the original still runs, reports the status it leads to, waits
// for the original to end and then removes what was left because it was running: the
// original's own file, and the folders the installer made for it.
#pragma once
#include <windows.h>

#include "base/install_state.h"

// Starts the copy for installFolder; 1 when it runs (the original then just ends).
// With `report` (unattended), the copy is told the original's file and reports its
// status through the pipe whose reading end `*report` receives.
int StartHelperCopy(const char* installFolder, HANDLE* report);

struct HelperArguments {
  char InstallFolder[PathCapacity];    // with its final backslash
  char OriginalFile[PathCapacity];    // unattended: the original's file; "" otherwise
  HANDLE Original;            // the original's process (SYNCHRONIZE)
  HANDLE Report;              // unattended: the pipe's writing end; null otherwise
};

// In the copy: reads its arguments; 1 when the command line is a helper's.
int ReadHelperArguments(const char* commandLine, HelperArguments* arguments);
