// SZDD benchmark on one 20 MB archive-like input: packer size against mscompress, and
// decode speed of our decoder against libmspack's and msexpand. One run, ratios printed.
#include <mspack.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <string>
#include <vector>

#include "payload/szdd.h"
#include "tools/pack/szdd_compress.h"

namespace {

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

std::vector<uint8_t> MakeInput(size_t size) {
  // German-like text, level grids and noisy binary, as a game's data files are.
  std::vector<uint8_t> data;
  const char* words[] = {"Frelby ", "Stern ", "fangen ", "der ", "die ", "Korb ", "Punkte ", "Spiel ", "\r\n"};
  unsigned x = 1;
  while (data.size() < size) {
    x = x * 1103515245u + 12345u;
    int kind = (x >> 28) % 4;
    for (int i = 0; i < 4096 && data.size() < size; ++i) {
      x = x * 1103515245u + 12345u;
      if (kind <= 1) {
        for (const char* p = words[(x >> 16) % 9]; *p; ++p) data.push_back(*p);
      } else if (kind == 2) {
        data.push_back((x >> 20) % 5 ? '.' : '#');
      } else {
        data.push_back((uint8_t)(x >> 24));
      }
    }
  }
  data.resize(size);
  return data;
}

int WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(data.data(), 1, data.size(), f);
  return fclose(f) == 0;
}

long FileSize(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return -1;
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  fclose(f);
  return size;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work = argc > 1 ? argv[1] : "/tmp";
  const size_t size = 20 * 1000 * 1000;
  std::vector<uint8_t> input = MakeInput(size);
  std::string raw = work + "/bench.dat", ours = work + "/bench.ours", theirs = raw + "_";
  WriteFile(raw, input);

  double t0 = Now();
  std::vector<uint8_t> packed = SzddCompress(input.data(), input.size());
  double packSeconds = Now() - t0;
  WriteFile(ours, packed);
  t0 = Now();
  if (system(("mscompress '" + raw + "' >/dev/null 2>&1").c_str()) != 0) return 1;
  double mscompressSeconds = Now() - t0;
  long theirSize = FileSize(theirs);
  printf("packer: ours %zu bytes in %.2f s, mscompress %ld bytes in %.2f s, size ratio %.3f\n", packed.size(),
         packSeconds, theirSize, mscompressSeconds, (double)packed.size() / theirSize);

  // Decoding the same file (ours), each from the file to memory or a file.
  std::vector<uint8_t> out(size);
  t0 = Now();
  int handle = LzOpenFile(ours.c_str());
  size_t total = 0;
  int got;
  while ((got = LzRead(handle, out.data() + total, 10000 < size - total ? 10000 : (int)(size - total))) > 0) total += got;
  LzClose(handle);
  double oursSeconds = Now() - t0;
  if (total != size || out != input) return 1;

  msszdd_decompressor* mspack = mspack_create_szdd_decompressor(nullptr);
  t0 = Now();
  msszddd_header* header = mspack->open(mspack, (char*)ours.c_str());
  mspack->extract(mspack, header, (char*)(work + "/bench.mspack").c_str());
  mspack->close(mspack, header);
  double mspackSeconds = Now() - t0;
  mspack_destroy_szdd_decompressor(mspack);

  t0 = Now();
  if (system(("msexpand < '" + ours + "' > '" + work + "/bench.msexpand' 2>/dev/null").c_str()) != 0) return 1;
  double msexpandSeconds = Now() - t0;

  double mb = size / 1e6;
  double fastestPeer = mspackSeconds < msexpandSeconds ? mspackSeconds : msexpandSeconds;
  printf("decode: ours %.0f MB/s, libmspack %.0f MB/s, msexpand %.0f MB/s, ours / fastest peer %.2f\n",
         mb / oursSeconds, mb / mspackSeconds, mb / msexpandSeconds, fastestPeer / oursSeconds);
  return 0;
}
