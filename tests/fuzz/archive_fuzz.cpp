// Any bytes as an archive: opening, lookups and the rule check stay in bounds.

#include "fuzz_input.h"
#include "payload/resource_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  char path[FuzzPathCapacity];
  if (!WriteFuzzInput("archive-fuzz", data, size, path)) return 0;
  ArchiveReader* reader = OpenArchive(path);
  if (!reader) return 0;
  for (unsigned i = 0; i < reader->EntryCount && i < 64; ++i) {
    char name[ArchiveNameCapacity + 1] = {};
    for (int k = 0; k < ArchiveNameCapacity; ++k) name[k] = reader->Directory[i].Name[k];
    FindEntryOffset(reader, name);
    FindEntrySize(reader, name);
    ArchiveNameIsSafe(name);
  }
  ArchiveIsWellFormed(reader, (unsigned)size);
  CloseArchive();
  return 0;
}
