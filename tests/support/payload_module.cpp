#include "support/payload_module.h"

#include <stdio.h>

#include "tools/pack/archive_writer.h"
#include "tools/pack/szdd_compress.h"

namespace {

std::string CopyPagesModule() {
  static int serial;
  char path[MAX_PATH];
  CreateDirectoryA("C:\\frelby-modules", nullptr);
  snprintf(path, sizeof path, "C:\\frelby-modules\\pages-%lu-%d.dll", GetCurrentProcessId(), ++serial);
  CopyFileA(HostPath(TEST_PAGES_MODULE).c_str(), path, FALSE);
  return path;
}

}  // namespace

HMODULE LoadPayloadModule(const Bytes& payload) {
  if (payload.empty()) return LoadLibraryA(HostPath(TEST_EMPTY_PAYLOAD_MODULE).c_str());
  std::string path = CopyPagesModule();
  HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
  if (!update) return nullptr;
  UpdateResourceA(update, "TEMPLATE", MAKEINTRESOURCEA(144), MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN),
                  (void*)payload.data(), (DWORD)payload.size());
  if (!EndUpdateResourceA(update, FALSE)) return nullptr;
  return LoadLibraryA(path.c_str());
}

HMODULE LoadModuleWithoutPayload() {
  return LoadLibraryA(HostPath(TEST_NO_PAYLOAD_MODULE).c_str());
}

Bytes PackArchive(const std::vector<std::pair<std::string, Bytes>>& entries) {
  std::vector<PackEntry> packEntries;
  for (const auto& entry : entries) packEntries.push_back(PackEntry{entry.first, entry.second});
  std::string error;
  return BuildArchive(packEntries, error);
}

Bytes Compress(const Bytes& data) {
  return SzddCompress(data.data(), data.size());
}
