// The install log "deinst.log": one record a line, a two-letter code, a blank and an
// argument. Written while installing, read backwards by the rollback and the uninstaller.
// Each record that an undoing needs is on disk (flushed to the system) before the
// installer goes on, so a log that a killed run leaves names what that run made.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include "base/install_state.h"
#include "system/log_records.h"

// Ends a step that failed: sets the run's FailureCode to code and gives 0.
inline int FailWith(int code) {
  InstallState.FailureCode = code;
  return 0;
}

// Appends "CODE argument\n" (the kind's code) to the open log and flushes it. 1 when
// written or when no log is open; 0 when the write failed, which fails the installation
// (FailureCode 19).
int AppendLogRecord(int kind, const char* argument);
// Flushes what AppendChecksumRecord left in the stream; results as above.
int FlushInstallLog();
// Closes a stream written to (the log, an entry, a temporary file); 1 when all it was
// given reached the file. The buffer is flushed first: a C runtime may not report a flush
// that fails inside fclose.
int CloseWrittenFile(FILE* stream);
// Appends the ID record: the level count, then one flag per level; results as above.
int AppendLevelRecord(const int* flags, int count);
// Appends the CS record of an entry written whole, which no undoing needs, without
// flushing it: the next record's flush, or FlushInstallLog, or the close takes it to the
// disk, in its place in the order. A log cut off before it is undone the same.
int AppendChecksumRecord(uint32_t crc, const char* entryName);
// Appends the PN end marker, after FA <FailureCode> for a run that failed, and closes
// the log; 0 when a write or the close failed (FailureCode 19).
int CloseInstallLog(const char* productName);
