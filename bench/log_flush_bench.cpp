// What it costs to have each install-log record on disk before the next action, on Wine:
// records left in the stream's buffer, flushed to the system after each one (what the
// installer does), and forced to the disk after each one as well (FlushFileBuffers).
#include <windows.h>
#include <io.h>
#include <stdio.h>

#include "driver/gui_driver.h"
#include "support/test_support.h"

namespace {

enum { Records = 2000 };

// Milliseconds for writing the records with the given flushing.
double WriteRecords(const std::string& path, int flush, int toDisk) {
  FILE* log = fopen(path.c_str(), "wt");
  if (!log) return -1;
  double start = DriverNow();
  for (int i = 0; i < Records; ++i) {
    fprintf(log, "NC daten\\eintrag%05d.dat\n", i);
    if (flush) fflush(log);
    if (toDisk) FlushFileBuffers((HANDLE)_get_osfhandle(_fileno(log)));
  }
  fclose(log);
  return DriverNow() - start;
}

}  // namespace

int main() {
  std::string folder = ScratchFolder("log-flush-bench");
  double buffered = WriteRecords(folder + "a.log", 0, 0);
  double flushed = WriteRecords(folder + "b.log", 1, 0);
  double synced = WriteRecords(folder + "c.log", 1, 1);
  RemoveTree(folder);
  printf("log records (%d): buffered %.1f ms, flushed after each (as installed) %.1f ms (%.3f ms a record, ratio %.1f), "
         "forced to disk after each %.1f ms (%.3f ms a record, ratio %.1f against flushed)\n",
         Records, buffered, flushed, flushed / Records, flushed / buffered, synced, synced / Records, synced / flushed);
  return 0;
}
