// The install log "deinst.log": one record a line, a two-letter code, a blank and an
// argument. Written while installing, read backwards by the rollback and the uninstaller.
#pragma once
#include <stddef.h>
#include <stdio.h>

enum { LogLineCapacity = 500 };

// Appends "CODE argument\n" to the open log; nothing when no log is open.
void AppendLogRecord(const char* code, const char* argument);
// Appends the ID record: the level count, then one flag per level.
void AppendLevelRecord(const int* flags, int count);

// Lines of an open log (read with at most 499 characters each).
int CountLogLines(FILE* log);
// Fetches line number PendingLogLines of `log` into line (500 bytes) and counts it off.
int ReadLogLine(FILE* log, int* pending, char* line);
// The same on the installer's LogFile and PendingLogLines.
int ReadPendingLogLine(char* line);
// Cuts a line: the code is its first two characters; the argument (500 bytes) follows
// the code and its blank, without the line's last character.
void CutLogLine(const char* line, char* code, char* argument);
// Decodes an ID argument: gives the level count, and stores up to `capacity` flags.
int DecodeLevelRecord(const char* argument, int* flags, int capacity, int* flagCount);
