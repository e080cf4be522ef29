// szdd compress|expand INPUT OUTPUT: the packer's compressor and the setup's decoder
// on single files, for peer tests and benchmarks.
#include <stdio.h>
#include <string.h>

#include <vector>

#include "payload/szdd.h"
#include "tools/pack/szdd_compress.h"

namespace {

int ReadAll(const char* path, std::vector<uint8_t>& data) {
  FILE* f = fopen(path, "rb");
  if (!f) return 0;
  uint8_t buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + got);
  fclose(f);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (strcmp(argv[1], "compress") && strcmp(argv[1], "expand"))) {
    fprintf(stderr, "usage: szdd compress|expand INPUT OUTPUT\n");
    return 2;
  }
  FILE* out = fopen(argv[3], "wb");
  if (!out) {
    fprintf(stderr, "szdd: cannot write %s\n", argv[3]);
    return 1;
  }
  int ok = 1;
  if (!strcmp(argv[1], "compress")) {
    std::vector<uint8_t> data;
    ok = ReadAll(argv[2], data);
    std::vector<uint8_t> packed = SzddCompress(data.data(), data.size());
    ok = ok && fwrite(packed.data(), 1, packed.size(), out) == packed.size();
  } else {
    int handle = LzOpenFile(argv[2]);
    ok = handle >= 0;
    static unsigned char buffer[10000];
    long length = ok ? LzSeek(handle, 0, LzSeekEnd) : 0;
    if (ok) LzSeek(handle, 0, LzSeekStart);
    long total = 0;
    int got;
    while (ok && (got = LzRead(handle, buffer, sizeof buffer)) > 0) {
      ok = fwrite(buffer, 1, got, out) == (size_t)got;
      total += got;
    }
    if (handle >= 0) LzClose(handle);
    if (ok && total != length) {
      fprintf(stderr, "szdd: %s ends after %ld of %ld bytes\n", argv[2], total, length);
      ok = 0;
    }
  }
  if (fclose(out) != 0) ok = 0;
  if (!ok) fprintf(stderr, "szdd: %s failed\n", argv[1]);
  return ok ? 0 : 1;
}
