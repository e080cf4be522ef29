// What a run would replace (a file of an earlier installation or of the user's, a
// shortcut) is kept aside first under its own name with KeptAsideSuffix, and the KA
// record goes to the log before it moves: a failed or killed run puts it back, a
// successful run drops it once its log is closed.
#pragma once
#include <windows.h>
#include <stdio.h>

// Creates a file that must not exist yet, as a stream for writing ("wb" or "wt"): one
// lookup of the name, and nothing already there (a file, a link) is written through.
// Gives null and the system's error when it cannot.
FILE* CreateNewFile(const char* path, const char* mode, DWORD* error);

// Makes room at path: moves an existing file aside. 1 when the name is free now, 0 when
// the file had to stay (the aside name is taken, the move or its record failed). With
// staleMayGo a file already under the aside name is deleted first.
int KeepFileAside(const char* path, int staleMayGo);
// Puts a file kept aside back, when its name is free again.
int RestoreKeptAside(const char* path);
// After a successful run: deletes what its log says was kept aside (a copy still in use
// at the next restart).
void DropKeptAsides(const char* logPath);
// Deletes what one trusted record says was kept aside (its kind's Aside).
void DropRecordedAside(int kind, const char* argument);
// The aside name of path (500 bytes); 0 when it does not fit.
int KeptAsidePath(char* aside, const char* path);
