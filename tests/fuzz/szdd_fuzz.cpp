// Any bytes as an SZDD image: the decoder never reads or writes out of bounds, and
// reading through the LZ operations in odd chunks gives the same bytes.
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "payload/szdd.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  static unsigned char out[1 << 20];
  size_t written = 0;
  if (!SzddExpandMemory(data, size, out, sizeof out, &written)) return 0;
  char path[64];
  snprintf(path, sizeof path, "/tmp/szdd-fuzz-%d", (int)getpid());
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  int handle = LzOpenFile(path);
  if (handle < 0) __builtin_trap();
  std::vector<unsigned char> again;
  unsigned char chunk[777];
  int got;
  while (again.size() < sizeof out && (got = LzRead(handle, chunk, 1 + (int)(again.size() % 700))) > 0)
    again.insert(again.end(), chunk, chunk + got);
  LzClose(handle);
  if (again.size() > sizeof out) again.resize(sizeof out);
  if (again.size() != written || (written > 0 && memcmp(again.data(), out, written) != 0)) __builtin_trap();
  return 0;
}
