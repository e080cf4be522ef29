#include "system/log_reader.h"

#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include "base/install_state.h"
#endif

namespace {

// The lines of the log counted last, kept so that fetching a line costs no reading and
// undoing a log from its last line to its first stays linear in its length. They belong
// to that stream as long as it keeps the length it had when counted.
FILE* HeldLog;
long HeldLength;
char (*HeldText)[LogLineCapacity];
int HeldLines;

long LengthOf(FILE* log) { return fseek(log, 0, SEEK_END) == 0 ? ftell(log) : -1; }

// Splits a line (its line end, if any, included) into a record; gives 1.
int SplitLogLine(const char* line, LogRecord* record) {
  char code[3];
  strcpy(record->Line, line);  // read with as many bytes
  if (char* end = strchr(record->Line, '\n')) *end = 0;
  CutLogLine(record->Line, code, record->Argument);
  // A carried line's argument is a line of its own.
  if ((record->Carried = LogRecordKindOfCode(code) == RecordCarried))
    CutLogLine(strlen(record->Line) > 3 ? record->Line + 3 : "", code, record->Argument);
  record->Kind = LogRecordKindOfCode(code);
  return 1;
}

}  // namespace

FILE* OpenLogForReading(const char* path) { return fopen(path, "rt"); }

int ReadNextLogRecord(FILE* log, LogRecord* record) {
  char line[LogLineCapacity];
  return fgets(line, LogLineCapacity, log) && SplitLogLine(line, record);
}

int CloseLogRead(FILE* log) {
  int read = !ferror(log);
  fclose(log);
  return read;
}

int CountLogLines(FILE* log) {
  free(HeldText);
  HeldText = nullptr;
  HeldLog = nullptr;
  char line[LogLineCapacity];
  int count = 0, capacity = 0, held = 1;
  while (fgets(line, LogLineCapacity, log)) {
    // Without memory for them the lines are still counted, and fetched by scanning.
    if (held && count == capacity) {
      capacity = capacity ? 2 * capacity : 256;
      void* larger = realloc(HeldText, (size_t)capacity * LogLineCapacity);
      held = larger != nullptr;
      if (held) HeldText = (char(*)[LogLineCapacity])larger;
    }
    if (held) strcpy(HeldText[count], line);
    ++count;
  }
  if (held && count > 0) {
    HeldLog = log;
    HeldLines = count;
    HeldLength = LengthOf(log);
  }
  return count;
}

int ReadLogLine(FILE* log, int* pending, char* line) {
  if (log == HeldLog && *pending >= 1 && *pending <= HeldLines && LengthOf(log) == HeldLength) {
    strcpy(line, HeldText[*pending - 1]);  // read with the same 500 bytes
    --*pending;
    return 1;
  }
  if (fseek(log, 0, SEEK_SET) != 0) return 0;
  int number = 0;
  while (fgets(line, LogLineCapacity, log)) {
    if (++number == *pending) {
      if (*pending > 0) --*pending;
      return 1;
    }
  }
  // End of file, or a read error: either way the line is not there.
  return 0;
}

void CutLogLine(const char* line, char* code, char* argument) {
  size_t length = strlen(line);
  code[0] = length > 0 ? line[0] : 0;
  code[1] = length > 1 ? line[1] : 0;
  code[2] = 0;
  argument[0] = 0;
  if (length <= 3) return;
  // What follows the code and its blank, without the line end. A last line that has no
  // line end (a log cut short by a crash) keeps its last character.
  size_t take = length - 3;
  if (line[length - 1] == '\n') --take;
  memcpy(argument, line + 3, take);
  argument[take] = 0;
}

int LastLogKinds(FILE* log, int* last, int* previous) {
  LogRecord record;
  int before = RecordUnknown, any = 0;
  *last = RecordUnknown;
  if (fseek(log, 0, SEEK_SET) != 0) return 0;
  while (ReadNextLogRecord(log, &record)) {
    before = *last;
    *last = record.Carried ? RecordCarried : record.Kind;
    any = 1;
  }
  if (previous) *previous = before;
  return any;
}

int EndsFinishedRun(int last, int previous) { return last == RecordEnd && previous != RecordFailure; }

int DecodeLevelRecord(const char* argument, int* flags, int capacity, int* flagCount) {
  int count = 0, stored = 0;
  // Each number runs from a blank (the first from the start) to the next blank.
  for (const char *p = argument, *end; *p; p = end) {
    end = strchr(p + 1, ' ');
    if (!end) end = p + strlen(p);
    char text[LogLineCapacity];
    size_t length = (size_t)(end - p) < sizeof text ? (size_t)(end - p) : sizeof text - 1;
    memcpy(text, p, length);
    text[length] = 0;
    if (p == argument) count = atoi(text);
    else if (stored < capacity) flags[stored++] = atoi(text);
  }
  *flagCount = stored;
  return count;
}

int DecodeChecksumRecord(const char* argument, uint32_t* crc, const char** name) {
  char* end = nullptr;
  *crc = (uint32_t)strtoul(argument, &end, 16);
  *name = end + 1;
  return end == argument + 8 && *end == ' ';
}

#ifdef _WIN32
// The rollback's reading: LogFile backwards, from line PendingLogLines to the first.

int OpenLogForUndo() {
  InstallState.LogFile = fopen(InstallState.LogPath, "rt");
  if (!InstallState.LogFile) return 0;
  InstallState.PendingLogLines = CountLogLines(InstallState.LogFile);
  // Lines after a read error would never be undone.
  if (!ferror(InstallState.LogFile)) return 1;
  CloseLogAfterUndo();
  return 0;
}

void CloseLogAfterUndo() {
  if (InstallState.LogFile) fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
}

int ReadPendingLogLine(char* line) {
  return ReadLogLine(InstallState.LogFile, &InstallState.PendingLogLines, line);
}

int ReadPendingLogRecord(LogRecord* record) {
  char line[LogLineCapacity];
  return ReadPendingLogLine(line) && SplitLogLine(line, record);
}
#endif
