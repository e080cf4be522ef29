#include "tools/pack/progress.h"

#include <stdint.h>
#include <stdio.h>
#include <unistd.h>

#include <chrono>

#include "payload/szdd.h"
#include "tools/pack/szdd_compress.h"

namespace {

typedef std::chrono::steady_clock Clock;

Clock::time_point Started, LastShown;
size_t Total;
// A greedy parse of the matches found so far: the optimal parse the compressor makes
// in the end is never longer, so its ratio is at most this one.
size_t GreedyAt;
uint64_t GreedyBits;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void PrintTime(char* out, size_t capacity, double seconds) {
  unsigned long s = (unsigned long)(seconds + 0.5);
  if (s >= 3600) snprintf(out, capacity, "%lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
  else snprintf(out, capacity, "%lu:%02lu", s / 60, s % 60);
}

void Show(size_t done, size_t, const uint8_t* matchLengths) {
  while (GreedyAt < done) {
    unsigned length = matchLengths[GreedyAt];
    if (length >= SzddMinMatch) {
      GreedyBits += 17;
      GreedyAt += length;
    } else {
      GreedyBits += 9;
      GreedyAt += 1;
    }
  }
  Clock::time_point now = Clock::now();
  if (done > 0 && Seconds(now - LastShown) < 0.25) return;
  LastShown = now;
  double elapsed = Seconds(now - Started);
  char left[32] = "?";
  if (done > 0 && elapsed > 0.5) PrintTime(left, sizeof left, elapsed / done * (Total - done));
  char ratio[32] = "";
  if (GreedyAt > 0) snprintf(ratio, sizeof ratio, ", ratio <=%.0f%%", 100.0 * GreedyBits / 8 / GreedyAt);
  fprintf(stderr, "\rpack: %.1f of %.1f MB%s, %s left\033[K", done / 1e6, Total / 1e6, ratio, left);
  fflush(stderr);
}

}  // namespace

void BeginPackProgress(size_t size) {
  if (!isatty(STDERR_FILENO)) return;
  Started = LastShown = Clock::now();
  Total = size;
  GreedyAt = 0;
  GreedyBits = 0;
  SzddCompressProgress = Show;
  fprintf(stderr, "pack: %.1f MB to compress", size / 1e6);
  fflush(stderr);
}

void EndPackProgress(size_t packed) {
  if (!SzddCompressProgress) return;
  SzddCompressProgress = nullptr;
  char took[32];
  PrintTime(took, sizeof took, Seconds(Clock::now() - Started));
  fprintf(stderr, "\rpack: %.1f MB packed to %.1f MB (%.1f%%) in %s\033[K\n", Total / 1e6, packed / 1e6,
          Total ? 100.0 * packed / Total : 100.0, took);
}
