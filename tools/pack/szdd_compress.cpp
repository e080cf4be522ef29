#include "tools/pack/szdd_compress.h"

#include <string.h>

#include "payload/szdd.h"

SzddProgressHook SzddCompressProgress;

namespace {

enum {
  HashBits = 16,
  MaxChainSteps = 2048,
  // Matches reach back at most a whole ring.
  MaxDistance = SzddRingSize,
};

unsigned HashAt(const uint8_t* p) {
  return ((p[0] << 10) ^ (p[1] << 5) ^ p[2]) & ((1u << HashBits) - 1);
}

// Longest match at every position of `text` (the ring's initial spaces, then the
// data); a match's source starts at most MaxDistance bytes back.
void FindLongestMatches(const std::vector<uint8_t>& text, size_t start, std::vector<uint8_t>& length,
                        std::vector<uint16_t>& distance) {
  size_t n = text.size();
  std::vector<int32_t> head(1u << HashBits, -1);
  std::vector<int32_t> previous(n, -1);
  for (size_t i = 0; i + 2 < n; ++i) {
    unsigned h = HashAt(&text[i]);
    if (SzddCompressProgress && i >= start && ((i - start) & 0xFFFF) == 0)
      SzddCompressProgress(i - start, n - start, length.data());
    if (i >= start) {
      size_t limit = n - i < (size_t)SzddMaxMatch ? n - i : (size_t)SzddMaxMatch;
      size_t best = 0, bestDistance = 0;
      int steps = 0;
      for (int32_t candidate = head[h]; candidate >= 0 && i - candidate <= MaxDistance && steps < MaxChainSteps;
           candidate = previous[candidate], ++steps) {
        const uint8_t* a = &text[candidate];
        const uint8_t* b = &text[i];
        if (a[best] != b[best] && best < limit) continue;
        size_t l = 0;
        while (l < limit && a[l] == b[l]) ++l;
        if (l > best) {
          best = l;
          bestDistance = i - candidate;
          if (best == limit) break;
        }
      }
      if (best >= SzddMinMatch) {
        length[i - start] = (uint8_t)best;
        distance[i - start] = (uint16_t)(bestDistance & 0xFFFF);  // 4096 is stored as 0
      }
    }
    previous[i] = head[h];
    head[h] = (int32_t)i;
  }
}

}  // namespace

std::vector<uint8_t> SzddCompress(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out(SzddHeaderSize);
  memcpy(out.data(), SzddMagic, 8);
  out[8] = 0x41;
  out[9] = 0;
  for (int i = 0; i < 4; ++i) out[10 + i] = (uint8_t)(size >> (8 * i));

  // The ring starts as 4096 spaces: matches may reach into them.
  std::vector<uint8_t> text(SzddRingSize, 0x20);
  text.insert(text.end(), data, data + size);
  std::vector<uint8_t> length(size, 0);
  std::vector<uint16_t> distance(size, 0);
  FindLongestMatches(text, SzddRingSize, length, distance);

  // cost[i]: fewest bits to code data from i to the end; every shorter match at the
  // same distance is a match too.
  std::vector<uint32_t> cost(size + 1, 0);
  std::vector<uint8_t> choice(size, 1);
  for (size_t i = size; i-- > 0;) {
    cost[i] = 9 + cost[i + 1];
    choice[i] = 1;
    for (unsigned l = SzddMinMatch; l <= length[i]; ++l) {
      uint32_t c = 17 + cost[i + l];
      if (c < cost[i]) {
        cost[i] = c;
        choice[i] = (uint8_t)l;
      }
    }
  }

  size_t controlAt = 0;
  int items = 8;
  for (size_t i = 0; i < size;) {
    if (items == 8) {
      controlAt = out.size();
      out.push_back(0);
      items = 0;
    }
    if (choice[i] == 1) {
      out[controlAt] |= (uint8_t)(1u << items);
      out.push_back(data[i]);
      i += 1;
    } else {
      unsigned d = distance[i] ? distance[i] : (unsigned)SzddRingSize;
      unsigned ring = (SzddRingStart + (unsigned)i - d) & (SzddRingSize - 1);
      out.push_back((uint8_t)(ring & 0xFF));
      out.push_back((uint8_t)(((ring >> 4) & 0xF0) | (choice[i] - SzddMinMatch)));
      i += choice[i];
    }
    ++items;
  }
  return out;
}
