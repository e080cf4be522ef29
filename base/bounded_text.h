// Texts in fixed buffers that fit whole or not at all: nothing is ever cut short.
#pragma once
#include <stddef.h>

// Copies text into a fixed buffer only when it fits whole; 1 when copied.
int CopyBounded(char* destination, size_t capacity, const char* text);
// Formats into a fixed buffer only when the result fits whole; 1 when it fits.
int FormatBounded(char* destination, size_t capacity, const char* format, ...);
