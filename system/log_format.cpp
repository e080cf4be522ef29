#include "system/log_format.h"

#include <stdlib.h>
#include <string.h>

int CountLogLines(FILE* log) {
  char line[LogLineCapacity];
  int count = 0;
  while (fgets(line, LogLineCapacity, log)) ++count;
  return count;
}

int ReadLogLine(FILE* log, int* pending, char* line) {
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

int LastLogLineCode(FILE* log, char* code) {
  char line[LogLineCapacity], argument[LogLineCapacity];
  code[0] = 0;
  if (fseek(log, 0, SEEK_SET) != 0) return 0;
  int any = 0;
  while (fgets(line, LogLineCapacity, log)) {
    CutLogLine(line, code, argument);
    any = 1;
  }
  return any;
}

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
