// show_platform: prints the Windows version a program sees and the platform kind
// start-up makes of it, as "major.minor platform-id kind", for the end-to-end rows.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "base/install_state.h"

int main() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return 1;
  printf("%lu.%lu %lu %u\n", version.dwMajorVersion, version.dwMinorVersion, version.dwPlatformId,
         PlatformKindFor(version.dwMajorVersion, version.dwPlatformId));
  return 0;
}
