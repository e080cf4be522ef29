#include "payload/resource_archive.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/entry_names.h"
#include "base/product_names.h"

const unsigned char ArchiveMagic[ArchiveMagicSize] = {
    'G', 'l', 'i', 'm', 'm', 'e', 'r', 's', 't', 'a', 'v', 'e', 'n', ' ',
    'R', 'e', 's', 'F', 'i', 'l', 'e', 0x1A, 0x00};

namespace {

ArchiveReader* CurrentArchive;

unsigned ReadLittleEndian(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | ((unsigned)p[3] << 24);
}

// Compares two names that may lack their 00 byte within the 128-byte field.
int NameFieldEquals(const char* field, const char* name) {
  for (int i = 0; i < ArchiveNameCapacity; ++i) {
    int a = UpperAscii(field[i]);
    if (a != UpperAscii(name[i])) return 0;
    if (a == 0) return 1;
  }
  return 0;  // an unterminated field equals no name
}

const ArchiveEntry* FindEntry(const ArchiveReader* reader, const char* name) {
  for (unsigned i = 0; i < reader->EntryCount; ++i)
    if (NameFieldEquals(reader->Directory[i].Name, name)) return &reader->Directory[i];
  return nullptr;
}

}  // namespace

ArchiveReader* OpenArchive(const char* path) {
  FILE* file = fopen(path, "rb");
  unsigned char header[ArchiveHeaderSize];
  unsigned count = 0;
  int ok = file && fread(header, 1, sizeof header, file) == sizeof header && memcmp(header, "Glimmer", 7) == 0;
  if (ok) {
    // A directory that the file cannot hold is refused before memory is taken for it.
    count = ReadLittleEndian(header + ArchiveMagicSize);
    long fileSize = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    ok = count <= UINT32_MAX / ArchiveEntrySize && fileSize >= 0 &&
         (unsigned long long)ArchiveHeaderSize + (unsigned long long)ArchiveEntrySize * count <=
             (unsigned long long)fileSize &&
         fseek(file, ArchiveHeaderSize, SEEK_SET) == 0;
  }
  // Each directory record is read field by field, so the layout in memory is ours.
  ArchiveEntry* directory = ok ? (ArchiveEntry*)malloc(count ? (size_t)count * sizeof(ArchiveEntry) : 1) : nullptr;
  ArchiveReader* reader = directory ? (ArchiveReader*)malloc(sizeof(ArchiveReader)) : nullptr;
  ok = reader != nullptr;
  for (unsigned i = 0; ok && i < count; ++i) {
    unsigned char record[ArchiveEntrySize];
    ok = fread(record, 1, sizeof record, file) == sizeof record;
    if (ok) {
      memcpy(directory[i].Name, record, ArchiveNameCapacity);
      directory[i].Offset = ReadLittleEndian(record + 128);
      directory[i].Size = ReadLittleEndian(record + 132);
    }
  }
  if (!ok) {
    free(directory);
    free(reader);
    if (file) fclose(file);
    return nullptr;
  }
  reader->ArchiveFile = file;
  reader->EntryCount = count;
  reader->Directory = directory;
  CurrentArchive = reader;
  return reader;
}

unsigned FindEntryOffset(const ArchiveReader* reader, const char* name) {
  const ArchiveEntry* entry = FindEntry(reader, name);
  return entry ? entry->Offset : 0;
}

unsigned FindEntrySize(const ArchiveReader* reader, const char* name) {
  const ArchiveEntry* entry = FindEntry(reader, name);
  return entry ? entry->Size : 0;
}

void CloseArchive() {
  if (!CurrentArchive) return;
  fclose(CurrentArchive->ArchiveFile);
  free(CurrentArchive->Directory);
  free(CurrentArchive);
  CurrentArchive = nullptr;
}

int ArchiveNameIsSafe(const char* name) {
  size_t length = strnlen(name, ArchiveNameCapacity);
  if (length == 0 || length >= ArchiveNameCapacity || !RelativePathIsSafe(name)) return 0;
  // The installer's own files in the target folder, and the names it keeps files aside under.
  static const char* const setupFiles[] = {LogFileName, "temp.un_", "temp.uni"};
  for (const char* own : setupFiles)
    if (NamesEqualFolded(name, own)) return 0;
  static const char* const suffixes[] = {KeptAsideSuffix, WritingSuffix, LeavingSuffix};
  for (const char* suffix : suffixes) {
    size_t suffixLength = strlen(suffix);
    if (length >= suffixLength && NamesEqualFolded(name + length - suffixLength, suffix)) return 0;
  }
  return 1;
}

namespace {

unsigned FoldedNameHash(const char* name) {
  unsigned hash = 2166136261u;
  for (; *name; ++name) hash = (hash ^ FoldCp1252((unsigned char)*name)) * 16777619u;
  return hash;
}

// Where name's slot is in the index: its own, or the empty one it would take.
unsigned FindSlot(const ArchiveReader* reader, const ArchiveNameIndex* index, const char* name) {
  unsigned slot = FoldedNameHash(name) & (index->Size - 1);
  while (index->Slots[slot] && !NamesEqualFolded(reader->Directory[index->Slots[slot] - 1].Name, name))
    slot = (slot + 1) & (index->Size - 1);
  return slot;
}

}  // namespace

int ArchiveIsWellFormed(const ArchiveReader* reader, unsigned fileSize) {
  unsigned long long next = ArchiveHeaderSize + (unsigned long long)ArchiveEntrySize * reader->EntryCount;
  for (unsigned i = 0; i < reader->EntryCount; ++i) {
    const ArchiveEntry* entry = &reader->Directory[i];
    if (!ArchiveNameIsSafe(entry->Name) || entry->Offset != next) return 0;
    next += entry->Size;
  }
  ArchiveNameIndex index;
  if (next != fileSize || !IndexArchiveNames(reader, &index)) return 0;
  FreeArchiveNameIndex(&index);
  return 1;
}

int IndexArchiveNames(const ArchiveReader* reader, ArchiveNameIndex* index) {
  index->Size = 16;
  while (index->Size < 2 * reader->EntryCount) index->Size *= 2;
  index->Slots = (unsigned*)calloc(index->Size, sizeof(unsigned));
  if (!index->Slots) return 0;
  for (unsigned i = 0; i < reader->EntryCount; ++i) {
    unsigned slot = FindSlot(reader, index, reader->Directory[i].Name);
    if (index->Slots[slot]) {
      FreeArchiveNameIndex(index);
      return 0;
    }
    index->Slots[slot] = i + 1;
  }
  return 1;
}

int FindIndexedEntry(const ArchiveReader* reader, const ArchiveNameIndex* index, const char* name) {
  return (int)index->Slots[FindSlot(reader, index, name)] - 1;
}

void FreeArchiveNameIndex(ArchiveNameIndex* index) {
  free(index->Slots);
  index->Slots = nullptr;
}
