#include "payload/payload_checksum.h"

#include <string.h>

namespace {

const unsigned char PayloadChecksumTag[PayloadChecksumTagSize] = {'F', 'C', 'R', 'C'};

// Slicing by eight: Table[k][b] is the CRC of byte b followed by k zero bytes, so that
// eight bytes are folded in with eight look-ups and no dependency between them. Built
// on first use (8 KB of .bss, no bytes in the program file).
uint32_t Table[8][256];
int TableReady;

void BuildTable() {
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t c = b;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    Table[0][b] = c;
  }
  for (uint32_t b = 0; b < 256; ++b)
    for (int k = 1; k < 8; ++k) Table[k][b] = (Table[k - 1][b] >> 8) ^ Table[0][Table[k - 1][b] & 0xFF];
  TableReady = 1;
}

uint32_t Load32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void Store32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(v >> (8 * i));
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
  if (!TableReady) BuildTable();
  const unsigned char* p = (const unsigned char*)data;
  uint32_t c = ~crc;
  for (; size >= 8; p += 8, size -= 8) {
    uint32_t low = c ^ Load32(p), high = Load32(p + 4);
    c = Table[7][low & 0xFF] ^ Table[6][(low >> 8) & 0xFF] ^ Table[5][(low >> 16) & 0xFF] ^ Table[4][low >> 24] ^
        Table[3][high & 0xFF] ^ Table[2][(high >> 8) & 0xFF] ^ Table[1][(high >> 16) & 0xFF] ^ Table[0][high >> 24];
  }
  for (; size > 0; ++p, --size) c = Table[0][(c ^ *p) & 0xFF] ^ (c >> 8);
  return ~c;
}

void FormPayloadChecksum(const void* payload, size_t size, unsigned char record[PayloadChecksumSize]) {
  memcpy(record, PayloadChecksumTag, PayloadChecksumTagSize);
  Store32(record + 4, (uint32_t)size);
  Store32(record + 8, Crc32Update(0, payload, size));
}

int PayloadMatchesChecksum(const void* payload, size_t size, const void* record, size_t recordSize) {
  if (!record || recordSize != PayloadChecksumSize) return 0;
  const unsigned char* r = (const unsigned char*)record;
  if (memcmp(r, PayloadChecksumTag, PayloadChecksumTagSize) != 0) return 0;
  if (Load32(r + 4) != size || (!payload && size)) return 0;
  return Load32(r + 8) == Crc32Update(0, payload, size);
}
