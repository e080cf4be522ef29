#include "tools/pack/archive_writer.h"

#include <string.h>

#include <map>

#include "base/entry_names.h"
#include "payload/resource_archive.h"

namespace {

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = (uint8_t)(v >> (8 * i));
}

std::string Where(const PackEntry& entry) {
  return entry.Line ? "line " + std::to_string(entry.Line) + ": " : std::string();
}

}  // namespace

std::vector<uint8_t> BuildArchive(const std::vector<PackEntry>& entries, std::string& error) {
  uint64_t total = ArchiveHeaderSize + (uint64_t)ArchiveEntrySize * entries.size();
  std::map<std::string, size_t> folded;  // the names as Windows compares them
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].Name;
    if (name.size() > ArchiveNameCapacity - 1) {
      error = Where(entries[i]) + "name longer than 127 characters: " + name;
      return {};
    }
    if (name.find('\0') != std::string::npos || !ArchiveNameIsSafe(name.c_str())) {
      error = Where(entries[i]) + "name not allowed in the target folder: " + name;
      return {};
    }
    std::string key;
    for (char c : name) key += (char)FoldCp1252((unsigned char)c);
    if (!folded.emplace(key, i).second) {
      error = Where(entries[i]) + "the same file name for Windows as " + entries[folded[key]].Name + ": " + name;
      return {};
    }
    total += entries[i].Data.size();
  }
  if (total > UINT32_MAX) {
    error = "archive larger than 4 GiB";
    return {};
  }
  std::vector<uint8_t> out(ArchiveHeaderSize + ArchiveEntrySize * entries.size(), 0);
  memcpy(out.data(), ArchiveMagic, ArchiveMagicSize);
  Put32(out, ArchiveMagicSize, (uint32_t)entries.size());
  uint32_t offset = (uint32_t)out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t record = ArchiveHeaderSize + ArchiveEntrySize * i;
    memcpy(&out[record], entries[i].Name.data(), entries[i].Name.size());
    Put32(out, record + 128, offset);
    Put32(out, record + 132, (uint32_t)entries[i].Data.size());
    offset += (uint32_t)entries[i].Data.size();
  }
  for (const PackEntry& entry : entries) out.insert(out.end(), entry.Data.begin(), entry.Data.end());
  return out;
}
