#include "base/install_state.h"

#include <string.h>

InstallStateRecord InstallState;

unsigned char PlatformKindFor(DWORD majorVersion, DWORD platformId) {
  if (majorVersion < 4) return PlatformProgramManager;
  if (platformId == VER_PLATFORM_WIN32_WINDOWS) return PlatformWindows9x;
  if (platformId == VER_PLATFORM_WIN32_NT) return PlatformNt;
  return PlatformProgramManager;
}

unsigned char CurrentPlatformKind() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  return PlatformKindFor(version.dwMajorVersion, version.dwPlatformId);
}
