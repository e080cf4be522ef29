#include "base/bounded_text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int CopyBounded(char* destination, size_t capacity, const char* text) {
  size_t length = strlen(text);
  if (length >= capacity) return 0;
  memcpy(destination, text, length + 1);
  return 1;
}

int FormatBounded(char* destination, size_t capacity, const char* format, ...) {
  char scratch[1100];
  va_list args;
  va_start(args, format);
  // The system's own formatter: -1 when the text does not fit, and no end byte when it
  // fills the buffer exactly; both are refused below.
  int length = _vsnprintf(scratch, sizeof scratch, format, args);
  va_end(args);
  if (length < 0 || (size_t)length >= sizeof scratch || (size_t)length >= capacity) return 0;
  memcpy(destination, scratch, (size_t)length + 1);
  return 1;
}
