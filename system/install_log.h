// The install log "deinst.log": one record a line, a two-letter code, a blank and an
// argument. Written while installing, read backwards by the rollback and the uninstaller.
#pragma once
#include "system/log_format.h"

// Appends "CODE argument\n" to the open log; nothing when no log is open.
void AppendLogRecord(const char* code, const char* argument);
// Appends the ID record: the level count, then one flag per level.
void AppendLevelRecord(const int* flags, int count);

// Fetches line number PendingLogLines of the installer's LogFile and counts it off.
int ReadPendingLogLine(char* line);
