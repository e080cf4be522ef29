// SZDD compressor with optimal parsing: every choice between a literal (9 bits) and
// a match (17 bits) is made to give the fewest bits for the whole input.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

std::vector<uint8_t> SzddCompress(const uint8_t* data, size_t size);

// When set, called now and then while the matches are searched (most of the time a
// compression takes): bytes searched so far, of all, and the longest match found at
// each position searched so far.
typedef void (*SzddProgressHook)(size_t done, size_t size, const uint8_t* matchLengths);
extern SzddProgressHook SzddCompressProgress;
