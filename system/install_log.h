// The install log "deinst.log": one record a line, a two-letter code, a blank and an
// argument. Written while installing, read backwards by the rollback and the uninstaller.
// Each record is on disk (flushed to the system) before the installer goes on, so a log
// that a killed run leaves names what that run made.
#pragma once
#include "system/log_format.h"

// Appends "CODE argument\n" to the open log and flushes it. 1 when written or when no log
// is open; 0 when the write failed, which fails the installation (FailureCode 19).
int AppendLogRecord(const char* code, const char* argument);
// Appends the ID record: the level count, then one flag per level; results as above.
int AppendLevelRecord(const int* flags, int count);
// Appends the PN end marker, after FA <FailureCode> for a run that failed, and closes
// the log; 0 when a write or the close failed (FailureCode 19).
int CloseInstallLog(const char* productName);

// Fetches line number PendingLogLines of the installer's LogFile and counts it off.
int ReadPendingLogLine(char* line);
