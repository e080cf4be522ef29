#include "support/payload_module.h"

#include <stdio.h>

#include "payload/payload_checksum.h"
#include "resources/resource_ids.h"
#include "tools/pack/archive_writer.h"
#include "tools/pack/szdd_compress.h"

namespace {

std::string CopyPagesModule(const char* module) {
  static int serial;
  char path[MAX_PATH];
  CreateDirectoryA("C:\\frelby-modules", nullptr);
  snprintf(path, sizeof path, "C:\\frelby-modules\\pages-%lu-%d.dll", GetCurrentProcessId(), ++serial);
  CopyFileA(HostPath(module).c_str(), path, FALSE);
  return path;
}

}  // namespace

Bytes PayloadChecksum(const Bytes& payload) {
  Bytes record(PayloadChecksumSize);
  FormPayloadChecksum(payload.data(), payload.size(), record.data());
  return record;
}

HMODULE LoadPayloadModule(const Bytes& payload) {
  if (payload.empty()) return LoadLibraryA(HostPath(TEST_EMPTY_PAYLOAD_MODULE).c_str());
  Bytes checksum = PayloadChecksum(payload);
  return LoadPayloadModuleWithChecksum(payload, &checksum);
}

HMODULE LoadPayloadModuleWithChecksum(const Bytes& payload, const Bytes* checksum) {
  // Without a record: a copy of the module built without one.
  std::string path = CopyPagesModule(checksum ? TEST_PAGES_MODULE : TEST_NO_CHECKSUM_MODULE);
  HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
  if (!update) return nullptr;
  WORD language = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
  UpdateResourceA(update, "TEMPLATE", MAKEINTRESOURCEA(IDR_PAYLOAD), language, (void*)payload.data(),
                  (DWORD)payload.size());
  if (checksum)
    UpdateResourceA(update, "TEMPLATE", MAKEINTRESOURCEA(IDR_PAYLOAD_CHECKSUM), language, (void*)checksum->data(),
                    (DWORD)checksum->size());
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
