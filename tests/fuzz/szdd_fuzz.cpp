// Any bytes as an SZDD image: the decoder never reads or writes out of bounds, and
// reading through the LZ operations in odd chunks, or after seeking anywhere, gives
// the same bytes.
#include <string.h>

#include <vector>

#include "fuzz_input.h"
#include "payload/szdd.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  static unsigned char out[1 << 20];
  size_t written = 0;
  if (!SzddExpandMemory(data, size, out, sizeof out, &written)) return 0;
  unsigned length = 0;
  SzddReadHeader(data, size, &length);
  char path[FuzzPathCapacity];
  if (!WriteFuzzInput("szdd-fuzz", data, size, path)) return 0;
  int handle = LzOpenFile(path);
  if (handle < 0) __builtin_trap();
  std::vector<unsigned char> again;
  unsigned char chunk[777];
  int got;
  while (again.size() < sizeof out && (got = LzRead(handle, chunk, 1 + (int)(again.size() % 700))) > 0)
    again.insert(again.end(), chunk, chunk + got);
  if (again.size() > sizeof out) again.resize(sizeof out);
  if (again.size() != written || (written > 0 && memcmp(again.data(), out, written) != 0)) __builtin_trap();

  // Seeks to positions taken from the input itself, backwards and forwards.
  for (size_t k = 0; k + 2 <= size && k < 16; k += 2) {
    long target = (long)(((data[k] << 8) | data[k + 1]) % (written + 2));
    long at = LzSeek(handle, target, LzSeekStart);
    if (target > (long)written) {
      // Past the decoded bytes: refused beyond the header's length, else reached and
      // (when the whole stream was decoded) nothing more to read.
      if (target > (long)length ? at != LzErrorBadValue : at != target) __builtin_trap();
      if (at == target && written < sizeof out && LzRead(handle, chunk, 1) != 0) __builtin_trap();
      continue;
    }
    if (at != target) continue;  // beyond the header's length: refused
    int want = (int)(written - (size_t)target < 300 ? written - (size_t)target : 300);
    if (LzRead(handle, chunk, want) != want || (want > 0 && memcmp(chunk, out + target, want) != 0)) __builtin_trap();
    if (LzSeek(handle, 0, LzSeekCurrent) != target + want) __builtin_trap();
  }
  LzClose(handle);
  return 0;
}
