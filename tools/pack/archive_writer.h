// Builds a payload archive from named files, refusing names the setup would refuse.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

struct PackEntry {
  std::string Name;            // as the archive holds it, subfolders joined by "\"
  std::vector<uint8_t> Data;
  size_t Line = 0;             // its manifest line, for errors; 0 when none
};

// The archive bytes; on bad input an empty result and the reason in `error`.
std::vector<uint8_t> BuildArchive(const std::vector<PackEntry>& entries, std::string& error);
