// The payload archive: a flat container of named files with its directory in front,
// and the reader the extraction opens it with. Portable: no Windows header.
#pragma once
#include <stdio.h>

#include "base/entry_names.h"

enum {
  ArchiveMagicSize = 23,
  ArchiveHeaderSize = 27,      // magic and entry count
  ArchiveEntrySize = 136,
  ArchiveNameCapacity = 128,   // at most 127 characters and the 00 byte
};
extern const unsigned char ArchiveMagic[ArchiveMagicSize];

struct ArchiveEntry {
  char Name[ArchiveNameCapacity];
  unsigned Offset;
  unsigned Size;
};

struct ArchiveReader {
  FILE* ArchiveFile;
  unsigned EntryCount;
  ArchiveEntry* Directory;
};

// Opens an archive; none when the file cannot be opened or read, is no archive, its
// directory does not fit in 32 bits or in the file, or memory runs out. Leaves the file at
// the data area.
ArchiveReader* OpenArchive(const char* path);
// The offset / size of the first entry named `name`, letter case ignored; 0 when absent.
unsigned FindEntryOffset(const ArchiveReader* reader, const char* name);
unsigned FindEntrySize(const ArchiveReader* reader, const char* name);
// Closes the archive of the last successful open.
void CloseArchive();

// 1 when the archive obeys the format's rules for `fileSize` bytes: names present,
// terminated, safe and unique for Windows; data contiguous in directory order, filling the data area.
int ArchiveIsWellFormed(const ArchiveReader* reader, unsigned fileSize);
// 1 when an entry name stays inside the target folder and names a file of its own there:
// a safe relative path (entry_names.h) of at most 127 characters, none of the installer's
// own files, not ending in the suffixes files are kept aside or written under.
int ArchiveNameIsSafe(const char* name);
// 1 when Windows takes the two names for the same file (code page 1252 letter case).
inline int ArchiveNamesEqual(const char* a, const char* b) { return NamesEqualFolded(a, b); }

// The directory's indices by name, as Windows compares names: one lookup a name.
struct ArchiveNameIndex {
  unsigned* Slots;  // directory index + 1, 0 for an empty slot
  unsigned Size;    // a power of two, at least twice the entry count
};
// Builds the index; 0 (and nothing to free) when memory runs out or two names of the
// directory are the same file for Windows.
int IndexArchiveNames(const ArchiveReader* reader, ArchiveNameIndex* index);
// The directory index of the entry named `name`; -1 when there is none.
int FindIndexedEntry(const ArchiveReader* reader, const ArchiveNameIndex* index, const char* name);
void FreeArchiveNameIndex(ArchiveNameIndex* index);
