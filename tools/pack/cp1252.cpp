#include "tools/pack/cp1252.h"

#include <stdint.h>

namespace {

// The characters of bytes 0x80 to 0x9F; 0 where the code page has none.
const uint16_t HighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int ToByte(uint32_t code, char* byte) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
    *byte = (char)code;
    return 1;
  }
  for (int i = 0; i < 32; ++i)
    if (HighControls[i] && HighControls[i] == code) {
      *byte = (char)(0x80 + i);
      return 1;
    }
  return 0;
}

}  // namespace

int Utf8ToCp1252(const std::string& utf8, std::string& out) {
  out.clear();
  for (size_t i = 0; i < utf8.size();) {
    unsigned char lead = (unsigned char)utf8[i];
    int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + extra >= utf8.size()) return 0;
    uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      unsigned char next = (unsigned char)utf8[i + k];
      if ((next & 0xC0) != 0x80) return 0;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms spell a character with more bytes than it needs.
    static const uint32_t least[4] = {0, 0x80, 0x800, 0x10000};
    if (code < least[extra]) return 0;
    char byte;
    if (!ToByte(code, &byte)) return 0;
    out += byte;
    i += extra + 1;
  }
  return 1;
}
