// SZDD compressor with optimal parsing: every choice between a literal (9 bits) and
// a match (17 bits) is made to give the fewest bits for the whole input.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

std::vector<uint8_t> SzddCompress(const uint8_t* data, size_t size);
