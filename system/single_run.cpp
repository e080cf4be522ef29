#include "system/single_run.h"

#include <windows.h>

#include "base/exit_statuses.h"
#include "base/product_names.h"

int ClaimTheOnlyRun() {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  // The handle is never closed: the process's end releases it.
  HANDLE mutex = CreateMutexA(&inherited, FALSE, RunMutexName);
  return mutex && GetLastError() != ERROR_ALREADY_EXISTS;
}

int RefuseSecondRun(int silent) {
  if (!silent)
    MessageBoxA(nullptr,
                "Die Installation oder Deinstallation von Frelby läuft bereits. Bitte warten Sie, bis sie "
                "beendet ist, und versuchen Sie es dann noch einmal.",
                ErrorCaption, MB_OK | MB_ICONSTOP);
  return AnotherRunGoing;
}
