// Texts in fixed buffers that fit whole or not at all: nothing is ever cut short.
#pragma once
#include <stddef.h>

// Copies text into a fixed buffer only when it fits whole; 1 when copied.
int CopyBounded(char* destination, size_t capacity, const char* text);
// Formats into a fixed buffer only when the result fits whole; 1 when it fits.
int FormatBounded(char* destination, size_t capacity, const char* format, ...);
// 1 for a blank of a command line: space, tab, carriage return, line feed.
inline int IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// Upper case of the letters a to z only; every other byte stays as it is.
inline int UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : (unsigned char)c; }
