// Resource modules with payloads of a test's own: copies of the test pages module
// whose TEMPLATE/144 resource is replaced (or removed) before loading.
#pragma once
#include <windows.h>

#include "support/test_support.h"

HMODULE LoadPayloadModule(const Bytes& payload);
HMODULE LoadModuleWithoutPayload();
// Packs entries into an archive and SZDD-compresses it, as the packer does.
Bytes PackArchive(const std::vector<std::pair<std::string, Bytes>>& entries);
Bytes Compress(const Bytes& data);
