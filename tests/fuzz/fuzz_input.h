// The readers under test take files: each target writes its input to a file of its
// own process first.
#pragma once
#include <stdio.h>
#include <unistd.h>

enum { FuzzPathCapacity = 64 };

// Writes data to /tmp/<name>-<pid> and gives that path in `path`; 0 when it cannot.
inline int WriteFuzzInput(const char* name, const unsigned char* data, size_t size, char* path) {
  snprintf(path, FuzzPathCapacity, "/tmp/%s-%d", name, (int)getpid());
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  return fclose(f) == 0;
}
