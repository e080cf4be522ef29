// Files another program holds open (the game still running, a locked data file) cannot
// be replaced or removed now: they are found before anything changes and named to the
// user, who may close that program and try again.
#pragma once

// 1 when the file at path is there and another program holds it: it cannot be opened
// for writing alone (a read-only file: for reading alone).
int FileIsHeld(const char* path);
// 1 when the file at path or its aside copy is held; `held` (PathCapacity) then names it.
int FileOrAsideIsHeld(const char* path, char* held);
// The first file the log at LogPath names (its NC records' files and the copies its KA
// records kept aside, carried-over records included) that is held; 1 when there is one.
int FindHeldFileOfLog(char* held);
// Names the held file and asks to close what holds it: 1 for "Wiederholen", 0 for
// "Abbrechen", whose outcome `cancelText` tells.
int AskToRetryHeldFile(const char* held, const char* caption, const char* cancelText);
