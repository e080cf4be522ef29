#include "base/entry_names.h"

#include <string.h>

#include "base/bounded_text.h"

const char KeptAsideSuffix[] = "~alt";
const char WritingSuffix[] = "~neu";
const char LeavingSuffix[] = "~weg";

namespace {

// Windows opens a device for these base names, whatever follows a dot and in any case.
int IsDeviceName(const char* component, size_t length) {
  size_t base = 0;
  while (base < length && component[base] != '.') ++base;
  while (base > 0 && component[base - 1] == ' ') --base;
  char upper[8];
  if (base == 0 || base >= sizeof upper) return 0;
  for (size_t i = 0; i < base; ++i) upper[i] = (char)UpperAscii(component[i]);
  upper[base] = 0;
  static const char* const plain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* name : plain)
    if (!strcmp(upper, name)) return 1;
  if (base != 4 || (strncmp(upper, "COM", 3) && strncmp(upper, "LPT", 3))) return 0;
  // COM1 to COM9 and LPT1 to LPT9, the superscript digits 1, 2 and 3 included.
  unsigned char digit = (unsigned char)upper[3];
  return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

// 1 when `length` bytes at `component` are one storable path component: not empty, not
// "." or "..", no control or reserved character, no final dot or blank, no device name.
int PathComponentIsSafe(const char* component, size_t length) {
  if (length == 0) return 0;
  if (component[0] == '.' && (length == 1 || (length == 2 && component[1] == '.'))) return 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = (unsigned char)component[i];
    if (c < 0x20 || c == '\\' || strchr(":/*?\"<>|", c)) return 0;
  }
  // Windows drops a final dot or blank: "a." and "a " are the file "a".
  char last = component[length - 1];
  if (last == '.' || last == ' ') return 0;
  return !IsDeviceName(component, length);
}

}  // namespace

int RelativePathIsSafe(const char* path) {
  size_t start = 0;
  for (size_t i = 0;; ++i) {
    if (path[i] != '\\' && path[i] != 0) continue;
    if (!PathComponentIsSafe(path + start, i - start)) return 0;
    if (path[i] == 0) return 1;
    start = i + 1;
  }
}

unsigned char FoldCp1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return (unsigned char)(c - 'a' + 'A');
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return (unsigned char)(c - 0x20);  // à..þ, not ÷
  switch (c) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
  }
  return c;
}

int NamesEqualFolded(const char* a, const char* b) {
  for (size_t i = 0;; ++i) {
    if (FoldCp1252((unsigned char)a[i]) != FoldCp1252((unsigned char)b[i])) return 0;
    if (a[i] == 0) return 1;
  }
}
