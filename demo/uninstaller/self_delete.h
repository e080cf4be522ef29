// A running program cannot delete its own file. The uninstaller therefore hands its
// work to a copy of itself in the temporary folder: the copy is opened for deletion on
// close and that handle is inherited by the copy's process, so the copy's file goes
// when that process ends; the copy waits until the original has ended, so it can
// delete the original's file like any other.
#pragma once
#include <windows.h>

// Starts the copy for installFolder; 1 when it runs (the original then just ends).
int StartHelperCopy(const char* installFolder);
// In the copy: reads its arguments; 1 when the command line is a helper's.
int ReadHelperArguments(const char* commandLine, char* installFolder, int capacity, HANDLE* original);
