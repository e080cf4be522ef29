#include "system/install_log.h"

#include "shell/install_state.h"

void AppendLogRecord(const char* code, const char* argument) {
  if (InstallState.LogFile) fprintf(InstallState.LogFile, "%s %s\n", code, argument);
}

void AppendLevelRecord(const int* flags, int count) {
  if (!InstallState.LogFile) return;
  fprintf(InstallState.LogFile, "ID %d", count);
  for (int i = 0; i < count; ++i) fprintf(InstallState.LogFile, " %d", flags[i]);
  fputs("\n", InstallState.LogFile);
}

int ReadPendingLogLine(char* line) {
  return ReadLogLine(InstallState.LogFile, &InstallState.PendingLogLines, line);
}
