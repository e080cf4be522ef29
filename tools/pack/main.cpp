// pack MANIFEST OUTPUT [--archive ARCHIVE]
// Reads the manifest (one entry a line: the entry name, a tab, the source file; paths
// relative to the manifest's folder; blank lines and lines starting with # are passed
// over), builds the archive, SZDD-compresses it and writes the payload file, and beside
// it OUTPUT.crc, the payload's checksum record (payload/payload_checksum.h) that
// setup.rc embeds with the payload.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "payload/payload_checksum.h"
#include "tools/pack/archive_writer.h"
#include "tools/pack/cp1252.h"
#include "tools/pack/progress.h"
#include "tools/pack/szdd_compress.h"

namespace {

int ReadWholeFile(const std::string& path, std::vector<uint8_t>& data) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return 0;
  uint8_t buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + got);
  int ok = !ferror(f);
  fclose(f);
  return ok;
}

int WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  int ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}

int ReadManifest(const std::string& path, std::vector<PackEntry>& entries) {
  std::vector<uint8_t> text;
  if (!ReadWholeFile(path, text)) {
    fprintf(stderr, "pack: cannot read manifest %s\n", path.c_str());
    return 0;
  }
  std::string folder = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/'));
  std::string all(text.begin(), text.end());
  size_t lineNumber = 0;
  for (size_t start = 0; start < all.size();) {
    size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    if (tab == std::string::npos) {
      fprintf(stderr, "pack: %s:%zu: expected NAME<TAB>FILE\n", path.c_str(), lineNumber);
      return 0;
    }
    PackEntry entry;
    entry.Line = lineNumber;
    if (!Utf8ToCp1252(line.substr(0, tab), entry.Name)) {
      fprintf(stderr, "pack: %s:%zu: name has a character code page 1252 cannot hold: %s\n", path.c_str(), lineNumber,
              line.substr(0, tab).c_str());
      return 0;
    }
    std::string source = line.substr(tab + 1);
    if (source.empty() || source[0] != '/') source = folder + "/" + source;
    if (!ReadWholeFile(source, entry.Data)) {
      fprintf(stderr, "pack: %s:%zu: cannot read %s\n", path.c_str(), lineNumber, source.c_str());
      return 0;
    }
    entries.push_back(std::move(entry));
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 5 && !strcmp(argv[3], "--archive"))) {
    fprintf(stderr, "usage: pack MANIFEST OUTPUT [--archive ARCHIVE]\n");
    return 2;
  }
  std::vector<PackEntry> entries;
  if (!ReadManifest(argv[1], entries)) return 1;
  std::string error;
  std::vector<uint8_t> archive = BuildArchive(entries, error);
  if (archive.empty()) {
    fprintf(stderr, "pack: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  if (argc == 5 && !WriteWholeFile(argv[4], archive)) {
    fprintf(stderr, "pack: cannot write %s\n", argv[4]);
    return 1;
  }
  BeginPackProgress(archive.size());
  std::vector<uint8_t> payload = SzddCompress(archive.data(), archive.size());
  EndPackProgress(payload.size());
  std::vector<uint8_t> checksum(PayloadChecksumSize);
  FormPayloadChecksum(payload.data(), payload.size(), checksum.data());
  std::string checksumPath = std::string(argv[2]) + ".crc";
  if (!WriteWholeFile(argv[2], payload)) {
    fprintf(stderr, "pack: cannot write %s\n", argv[2]);
    return 1;
  }
  if (!WriteWholeFile(checksumPath, checksum)) {
    fprintf(stderr, "pack: cannot write %s\n", checksumPath.c_str());
    return 1;
  }
  return 0;
}
