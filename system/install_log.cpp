#include "system/install_log.h"

#include <string.h>

#include "base/bounded_text.h"
#include "base/install_state.h"

namespace {

// A record that does not reach the disk leaves the log unable to undo what follows.
int Checked(int written) {
  if (written) return 1;
  if (InstallState.FailureCode == FailureNone) InstallState.FailureCode = FailureLogWrite;
  return 0;
}

// Appends a record without flushing it.
int AppendLogRecordLater(int kind, const char* argument) {
  if (!InstallState.LogFile) return 1;
  return Checked(fprintf(InstallState.LogFile, "%s %s\n", LogRecordKindOf(kind).Code, argument) >= 0);
}

}  // namespace

int AppendLogRecord(int kind, const char* argument) {
  return AppendLogRecordLater(kind, argument) && FlushInstallLog();
}

int FlushInstallLog() {
  if (!InstallState.LogFile) return 1;
  return Checked(fflush(InstallState.LogFile) == 0);
}

int CloseWrittenFile(FILE* stream) {
  int flushed = fflush(stream) == 0;
  return fclose(stream) == 0 && flushed;
}

int AppendLevelRecord(const int* flags, int count) {
  if (!InstallState.LogFile) return 1;
  // The line is built whole first: a level list longer than a log line would be read
  // back in pieces, and is refused.
  char line[LogLineCapacity - 1];
  int fits = FormatBounded(line, sizeof line, "%s %d", LogRecordKindOf(RecordLevels).Code, count);
  for (int i = 0; fits && i < count; ++i) {
    size_t length = strlen(line);
    fits = FormatBounded(line + length, sizeof line - length, " %d", flags[i]);
  }
  return Checked(fits && fprintf(InstallState.LogFile, "%s\n", line) >= 0 && fflush(InstallState.LogFile) == 0);
}

int AppendChecksumRecord(uint32_t crc, const char* entryName) {
  char sum[LogLineCapacity];
  return Checked(FormatBounded(sum, sizeof sum, "%08X %s", (unsigned)crc, entryName)) &&
         AppendLogRecordLater(RecordChecksum, sum);
}

int CloseInstallLog(const char* productName) {
  if (!InstallState.LogFile) return 1;
  // A failed run says so before its end marker, while the abort message still waits: if
  // it is killed there, the next run undoes it instead of taking it for an installation.
  char failure[16];
  int written = InstallState.FailureCode == FailureNone ||
                (FormatBounded(failure, sizeof failure, "%d", InstallState.FailureCode) &&
                 AppendLogRecord(RecordFailure, failure));
  written = AppendLogRecord(RecordEnd, productName) && written;
  int closed = CloseWrittenFile(InstallState.LogFile);
  InstallState.LogFile = nullptr;
  if (!closed && InstallState.FailureCode == FailureNone) InstallState.FailureCode = FailureLogWrite;
  return written && closed;
}
