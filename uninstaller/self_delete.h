// A running program cannot delete its own file. The uninstaller therefore hands its
// work to a copy of itself, alone in a new folder that it makes in the temporary folder
// (where that cannot be reached, in the Windows folder's "Temp") under a random name:
// never one that stands already; elevated, with an access list that lets only
// administrators and SYSTEM write. That folder is also the copy's working folder. The
// copy is opened for deletion on close and that handle is inherited by the copy's
// process, so the copy's file goes when that process ends (on Windows 95/98, which know
// no deletion on close, it is left in wininit.ini and goes at the next restart; its
// folder stays); the copy waits until the original has ended, so it can delete the
// original's file like any other.
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
  HANDLE Original;            // the original's process (SYNCHRONIZE, PROCESS_QUERY_INFORMATION)
  HANDLE OwnFile;             // the copy's own file, opened to be deleted on close
  HANDLE Report;              // unattended: the pipe's writing end; null otherwise
  char Folder[PathCapacity];  // the working folder the copy started in: the folder made for
                              // it, spelt as the uninstaller spelt it (a profile's name outside
                              // the code page included, which the module's own name is not)
};

// In the copy: reads its arguments; 1 when the command line is a helper's.
int ReadHelperArguments(const char* commandLine, HelperArguments* arguments);

// 1 when the helper's handles are the ones only the uninstaller passes: the original's
// process, inherited. A program started with the
// helper's switch by anything else (by hand, through the shell or the elevation prompt,
// which pass no handles) has none of them.
int StartedByUninstaller(const HelperArguments& arguments);

// In the copy, as its last step: its working folder moves to the temporary folder and
// its own folder goes as the process ends, right after the copy's file.
void LeaveHelperFolder(const HelperArguments& arguments);
