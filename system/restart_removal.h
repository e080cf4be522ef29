// What a log names and cannot be removed now (a running program, a file another
// program holds open) is removed when Windows next starts: by the NT family's delayed
// delete, or on Windows 95/98 by a "NUL=" line in the [rename] section of wininit.ini,
// which Windows 95/98 carry out for files only.
#pragma once

// Deletes a file that a log names, read-only or not; 1 when it is gone. A file that has
// to stay (in use) keeps its attributes.
int DeleteNamedFile(const char* path);
// Deletes a file a log names as DeleteNamedFile does; a file that has to stay is removed at
// the next restart. 1 when it is gone or will go; 0 when nothing is there or a folder is.
int DeleteNowOrAtRestart(const char* path);
// Removes an empty folder a log names; one that holds nothing but what waits for the
// restart goes then too (where Windows can remove folders at a restart). 1 when it is
// gone or will go.
int RemoveFolderNowOrAtRestart(const char* folder);
// The file of a program still running that the caller deletes itself once it has ended
// (the uninstaller's own): it is never left for the restart.
void DeleteLaterByCaller(const char* path);
// 1 when the folder (with its final backslash) holds anything but the file `except` and
// what waits for the restart (left by this process, or waiting as "<name>~weg"); *any
// is set to 1 when it holds anything but `except` (what waits included).
int FolderHoldsOthers(const char* folder, const char* except, int* any);
// 1 when this process left path (any letter case) for the restart.
int WaitsForRestart(const char* path);
// How many paths this process left for the restart.
int RemovalsWaitingForRestart();
// Once Windows has restarted nothing waits any more: forgets what this process left.
void ForgetRemovalsAtRestart();
