// SZDD expansion: the compressed-file format the payload travels in, and the four
// LZ-library operations the expansion stage uses. Portable: no Windows header.
#pragma once
#include <stddef.h>

enum {
  SzddHeaderSize = 14,
  SzddRingSize = 4096,
  SzddRingStart = 4096 - 16,
  SzddMinMatch = 3,
  SzddMaxMatch = 18,
};
extern const unsigned char SzddMagic[8];

// Failure values of LzOpenFile, as the LZ library has them.
enum { LzErrorBadInHandle = -1, LzErrorGloballoc = -5, LzErrorBadValue = -7 };
enum { LzSeekStart = 0, LzSeekCurrent = 1, LzSeekEnd = 2 };

// Opens an SZDD file; a handle >= 0, or LzErrorBadInHandle when the file cannot be
// opened or is no SZDD file, LzErrorGloballoc when memory runs out.
int LzOpenFile(const char* path);
// Moves the expanded read position; gives the new position (LzSeekEnd with offset 0
// gives the expanded length from the header), or LzErrorBadValue.
long LzSeek(int handle, long offset, int origin);
// Delivers up to count expanded bytes in order; fewer only at the end of the data
// (the header's length, or earlier where the compressed stream ends). -1 on a bad handle.
int LzRead(int handle, void* buffer, int count);
void LzClose(int handle);

// Expands a whole SZDD image held in memory. Gives 1 and the number of bytes written,
// or 0 when the header is not SZDD. Stops at the header's length or at capacity.
int SzddExpandMemory(const unsigned char* image, size_t imageSize,
                     unsigned char* out, size_t capacity, size_t* written);
// The expanded length a header announces, or 0 with a 0 result when it is no header.
int SzddReadHeader(const unsigned char* image, size_t imageSize, unsigned* expandedLength);
