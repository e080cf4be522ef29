#include "system/log_reader.h"

#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include "base/install_state.h"
#endif

namespace {

// The lines of the log counted last, kept in one block, so that fetching a line costs no
// reading and undoing a log from its last line to its first stays linear in its length.
// They belong to that stream as long as it keeps the length it had when counted.
FILE* HeldLog;
long HeldLength;
char* HeldText;         // the lines one after the other, each with its end byte
unsigned* HeldStarts;   // where each line begins in HeldText
int HeldLines;

long LengthOf(FILE* log) {
  return fseek(log, 0, SEEK_END) == 0 ? ftell(log) : -1;
}

void ForgetLines() {
  free(HeldText);
  free(HeldStarts);
  HeldText = nullptr;
  HeldStarts = nullptr;
  HeldLog = nullptr;
  HeldLines = 0;
}

// Grows a block to hold at least `needed` items of `size` bytes; 0 when memory runs out.
int Reserve(void** block, size_t* capacity, size_t needed, size_t size) {
  if (needed <= *capacity) return 1;
  size_t grown = *capacity ? *capacity : 256;
  while (grown < needed) grown *= 2;
  void* larger = realloc(*block, grown * size);
  if (!larger) return 0;
  *block = larger;
  *capacity = grown;
  return 1;
}

// Splits a line (its line end, if any, included) into a record.
void SplitLogLine(const char* line, LogRecord* record) {
  char code[3];
  size_t length = strlen(line);
  if (length > 0 && line[length - 1] == '\n') --length;
  memcpy(record->Line, line, length);
  record->Line[length] = 0;
  CutLogLine(record->Line, code, record->Argument);
  record->Kind = LogRecordKindOfCode(code);
  record->Carried = record->Kind == RecordCarried;
  if (!record->Carried) return;
  char carried[LogLineCapacity];
  memcpy(carried, record->Argument, strlen(record->Argument) + 1);  // an argument is shorter than its line
  CutLogLine(carried, code, record->Argument);
  record->Kind = LogRecordKindOfCode(code);
}

}  // namespace

FILE* OpenLogForReading(const char* path) { return fopen(path, "rt"); }

int ReadNextLogRecord(FILE* log, LogRecord* record) {
  char line[LogLineCapacity];
  if (!fgets(line, LogLineCapacity, log)) return 0;
  SplitLogLine(line, record);
  return 1;
}

int CloseLogRead(FILE* log) {
  int read = !ferror(log);
  fclose(log);
  return read;
}

int CountLogLines(FILE* log) {
  ForgetLines();
  char line[LogLineCapacity];
  int count = 0, held = 1;
  size_t textUsed = 0, textCapacity = 0, startsCapacity = 0;
  while (fgets(line, LogLineCapacity, log)) {
    size_t length = strlen(line) + 1;
    // Without memory for them the lines are still counted, and fetched by scanning.
    held = held && Reserve((void**)&HeldText, &textCapacity, textUsed + length, 1) &&
           Reserve((void**)&HeldStarts, &startsCapacity, (size_t)count + 1, sizeof(unsigned));
    if (held) {
      memcpy(HeldText + textUsed, line, length);
      HeldStarts[count] = (unsigned)textUsed;
      textUsed += length;
    }
    ++count;
  }
  if (held && count > 0) {
    HeldLog = log;
    HeldLines = count;
    HeldLength = LengthOf(log);
  } else {
    ForgetLines();
  }
  return count;
}

int ReadLogLine(FILE* log, int* pending, char* line) {
  if (log == HeldLog && *pending >= 1 && *pending <= HeldLines && LengthOf(log) == HeldLength) {
    strcpy(line, HeldText + HeldStarts[*pending - 1]);  // read with the same 500 bytes
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
  int count = 0, stored = 0, token = 0;
  const char* p = argument;
  while (*p) {
    const char* end = strchr(p + 1, ' ');
    if (!end) end = p + strlen(p);
    char text[LogLineCapacity];
    size_t length = (size_t)(end - p) < sizeof text ? (size_t)(end - p) : sizeof text - 1;
    memcpy(text, p, length);
    text[length] = 0;
    int value = atoi(text);
    if (token == 0) {
      count = value;
    } else if (stored < capacity) {
      flags[stored++] = value;
    }
    ++token;
    p = end;
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
  if (!ReadPendingLogLine(line)) return 0;
  SplitLogLine(line, record);
  return 1;
}
#endif
