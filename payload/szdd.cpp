#include "payload/szdd.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const unsigned char SzddMagic[8] = {0x53, 0x5A, 0x44, 0x44, 0x88, 0xF0, 0x27, 0x33};

namespace {

enum {
  InputChunk = 64 * 1024,
  OutputChunk = 64 * 1024,
  // Room behind the decoding limit: a match is copied as 18 bytes at once.
  Slack = 32,
  MaxOpenStreams = 8,
};

// The decoder keeps the last 4096 expanded bytes in front of the new ones, so the
// ring position of a match becomes a distance back into one linear buffer.
struct SzddStream {
  FILE* File;                      // null when decoding from memory
  const unsigned char* Input;      // next compressed bytes: InputBuffer or the caller's image
  size_t InputPos, InputEnd;
  int InputAtEnd;
  unsigned Control, ControlBits;   // the current control byte and its unused items
  unsigned Produced;               // expanded bytes decoded so far (modulo 2^32)
  int StreamEnded;
  unsigned ExpandedLength;         // from the header
  unsigned Delivered;              // expanded bytes handed out
  unsigned Position;               // where the next read begins (set by seeking)
  size_t WindowPos, ReadPos;       // decoded end and next byte to hand out, in Window
  unsigned char Window[SzddRingSize + OutputChunk + Slack];
  unsigned char InputBuffer[InputChunk];
};

SzddStream* OpenStreams[MaxOpenStreams];

void ResetDecoder(SzddStream* s) {
  memset(s->Window, 0x20, SzddRingSize);
  s->WindowPos = s->ReadPos = SzddRingSize;
  s->Control = s->ControlBits = 0;
  s->Produced = 0;
  s->StreamEnded = 0;
  s->Delivered = 0;
  s->Position = 0;
}

// Keeps the unread input and appends more from the file. Gives the bytes available.
size_t RefillInput(SzddStream* s) {
  size_t left = s->InputEnd - s->InputPos;
  if (s->File && !s->InputAtEnd) {
    memmove(s->InputBuffer, s->InputBuffer + s->InputPos, left);
    size_t got = fread(s->InputBuffer + left, 1, InputChunk - left, s->File);
    if (got == 0) s->InputAtEnd = 1;
    s->InputPos = 0;
    s->InputEnd = left + got;
    left += got;
  }
  return left;
}

// Decodes items until the window holds `limit` bytes or the compressed stream ends.
void DecodeUntil(SzddStream* s, size_t limit) {
  unsigned char* w = s->Window;
  size_t o = s->WindowPos;
  while (!s->StreamEnded && o + SzddMaxMatch <= limit) {
    if (s->InputEnd - s->InputPos < 3 && RefillInput(s) == 0) {
      s->StreamEnded = 1;
      break;
    }
    const unsigned char* in = s->Input;
    if (s->ControlBits == 0) {
      s->Control = in[s->InputPos++];
      s->ControlBits = 8;
      continue;
    }
    if (s->Control & 1) {
      w[o++] = in[s->InputPos++];
    } else {
      if (s->InputEnd - s->InputPos < 2) {  // a match cut off by the end of the input
        s->InputPos = s->InputEnd;
        s->StreamEnded = 1;
        break;
      }
      unsigned b1 = in[s->InputPos], b2 = in[s->InputPos + 1];
      s->InputPos += 2;
      unsigned ring = b1 | ((b2 & 0xF0u) << 4);
      unsigned length = (b2 & 0x0Fu) + SzddMinMatch;
      unsigned writeRing = (SzddRingStart + s->Produced + (unsigned)(o - s->WindowPos)) & (SzddRingSize - 1);
      size_t distance = (writeRing - ring) & (SzddRingSize - 1);
      if (distance == 0) distance = SzddRingSize;
      const unsigned char* from = w + o - distance;
      if (distance >= SzddMaxMatch) {
        memcpy(w + o, from, 16);
        memcpy(w + o + 16, from + 16, 2);
      } else {
        for (unsigned k = 0; k < length; ++k) w[o + k] = from[k];
      }
      o += length;
    }
    s->Control >>= 1;
    --s->ControlBits;
  }
  s->Produced += (unsigned)(o - s->WindowPos);
  s->WindowPos = o;
}

// Hands out up to count bytes; the window slides when it is used up.
size_t Deliver(SzddStream* s, unsigned char* out, size_t count) {
  size_t done = 0;
  while (done < count && s->Delivered < s->ExpandedLength) {
    if (s->ReadPos == s->WindowPos) {
      if (s->StreamEnded) break;
      if (s->WindowPos + SzddMaxMatch > SzddRingSize + OutputChunk) {
        memmove(s->Window, s->Window + s->WindowPos - SzddRingSize, SzddRingSize);
        s->WindowPos = s->ReadPos = SzddRingSize;
      }
      DecodeUntil(s, SzddRingSize + OutputChunk);
      continue;
    }
    size_t n = s->WindowPos - s->ReadPos;
    if (n > count - done) n = count - done;
    if (n > s->ExpandedLength - s->Delivered) n = s->ExpandedLength - s->Delivered;
    memcpy(out + done, s->Window + s->ReadPos, n);
    s->ReadPos += n;
    s->Delivered += (unsigned)n;
    done += n;
  }
  return done;
}

SzddStream* StreamOf(int handle) {
  if (handle < 0 || handle >= MaxOpenStreams) return nullptr;
  return OpenStreams[handle];
}

// Positions a file stream on its first compressed byte with a fresh decoder.
int RewindFileStream(SzddStream* s) {
  if (fseek(s->File, SzddHeaderSize, SEEK_SET) != 0) return 0;
  s->InputPos = s->InputEnd = 0;
  s->InputAtEnd = 0;
  ResetDecoder(s);
  return 1;
}

// Brings the decoder to the position a seek asked for: from the start again when it
// lies behind, decoding and dropping the bytes in between when it lies ahead.
int ReachPosition(SzddStream* s) {
  if (s->Position < s->Delivered) {
    unsigned position = s->Position;
    if (!RewindFileStream(s)) return 0;
    s->Position = position;
  }
  unsigned char skip[4096];
  while (s->Delivered < s->Position) {
    size_t want = s->Position - s->Delivered;
    if (want > sizeof skip) want = sizeof skip;
    if (Deliver(s, skip, want) == 0) return 0;
  }
  return 1;
}

}  // namespace

int SzddReadHeader(const unsigned char* image, size_t imageSize, unsigned* expandedLength) {
  *expandedLength = 0;
  if (imageSize < SzddHeaderSize || memcmp(image, SzddMagic, 8) != 0 || image[8] != 0x41) return 0;
  *expandedLength = image[10] | (image[11] << 8) | (image[12] << 16) | ((unsigned)image[13] << 24);
  return 1;
}

int LzOpenFile(const char* path) {
  int slot = 0;
  while (slot < MaxOpenStreams && OpenStreams[slot]) ++slot;
  if (slot == MaxOpenStreams) return LzErrorGloballoc;
  FILE* f = fopen(path, "rb");
  if (!f) return LzErrorBadInHandle;
  unsigned char header[SzddHeaderSize];
  unsigned length = 0;
  if (fread(header, 1, sizeof header, f) != sizeof header || !SzddReadHeader(header, sizeof header, &length)) {
    fclose(f);
    return LzErrorBadInHandle;
  }
  SzddStream* s = (SzddStream*)malloc(sizeof(SzddStream));
  if (!s) {
    fclose(f);
    return LzErrorGloballoc;
  }
  s->File = f;
  s->Input = s->InputBuffer;
  s->ExpandedLength = length;
  RewindFileStream(s);
  OpenStreams[slot] = s;
  return slot;
}

long LzSeek(int handle, long offset, int origin) {
  SzddStream* s = StreamOf(handle);
  if (!s) return LzErrorBadInHandle;
  if (origin < LzSeekStart || origin > LzSeekEnd) return LzErrorBadValue;
  long long base = origin == LzSeekStart ? 0 : origin == LzSeekCurrent ? s->Position : s->ExpandedLength;
  long long target = base + offset;
  if (target < 0 || target > (long long)s->ExpandedLength) return LzErrorBadValue;
  // Seeking only moves the position; the next read decodes up to it.
  s->Position = (unsigned)target;
  return (long)target;
}

int LzRead(int handle, void* buffer, int count) {
  SzddStream* s = StreamOf(handle);
  if (!s || count < 0) return LzErrorBadInHandle;
  if (!ReachPosition(s)) return 0;
  size_t done = Deliver(s, (unsigned char*)buffer, (size_t)count);
  s->Position = s->Delivered;
  return (int)done;
}

void LzClose(int handle) {
  SzddStream* s = StreamOf(handle);
  if (!s) return;
  fclose(s->File);
  free(s);
  OpenStreams[handle] = nullptr;
}

int SzddExpandMemory(const unsigned char* image, size_t imageSize,
                     unsigned char* out, size_t capacity, size_t* written) {
  *written = 0;
  unsigned length = 0;
  if (!SzddReadHeader(image, imageSize, &length)) return 0;
  SzddStream* s = (SzddStream*)malloc(sizeof(SzddStream));
  if (!s) return 0;
  s->File = nullptr;
  s->Input = image;
  s->InputPos = SzddHeaderSize;
  s->InputEnd = imageSize;
  s->InputAtEnd = 1;
  s->ExpandedLength = length;
  ResetDecoder(s);
  *written = Deliver(s, out, capacity);
  free(s);
  return 1;
}
