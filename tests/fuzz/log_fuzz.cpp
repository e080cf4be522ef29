// Any bytes as an install log: counting, reading backwards, cutting and ID decoding
// stay inside their buffers.
#include <stdio.h>
#include <string.h>

#include "fuzz_input.h"
#include "system/log_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  char path[FuzzPathCapacity];
  if (!WriteFuzzInput("log-fuzz", data, size, path)) return 0;
  FILE* log = fopen(path, "rb");
  if (!log) return 0;
  int pending = CountLogLines(log);
  char line[LogLineCapacity], code[3], argument[LogLineCapacity];
  int flags[120];
  for (int read = 0; pending > 0 && read < 200; ++read) {
    if (!ReadLogLine(log, &pending, line)) break;
    CutLogLine(line, code, argument);
    if (!strcmp(code, "ID")) {
      int stored = 0;
      DecodeLevelRecord(argument, flags, 120, &stored);
      if (stored < 0 || stored > 120) __builtin_trap();
    }
  }
  fclose(log);
  return 0;
}
