// Resource modules with payloads of a test's own: copies of the test pages module
// whose TEMPLATE/144 resource (and the checksum record TEMPLATE/145 beside it) is
// replaced (or removed) before loading.
#pragma once
#include <windows.h>

#include "support/test_support.h"

// The payload with its own checksum record, as the packer would write it.
HMODULE LoadPayloadModule(const Bytes& payload);
// The payload with the checksum record given; without one when `checksum` is null.
HMODULE LoadPayloadModuleWithChecksum(const Bytes& payload, const Bytes* checksum);
// The checksum record the packer writes for a payload.
Bytes PayloadChecksum(const Bytes& payload);
HMODULE LoadModuleWithoutPayload();
// Packs entries into an archive and SZDD-compresses it, as the packer does.
Bytes PackArchive(const std::vector<std::pair<std::string, Bytes>>& entries);
Bytes Compress(const Bytes& data);
