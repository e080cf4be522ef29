#include "self_delete.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "shell/bounded_text.h"
#include "shell/install_state.h"

namespace {

const char HelperSwitch[] = "/entfernen ";

}  // namespace

int StartHelperCopy(const char* installFolder) {
  char self[PathCapacity], temp[PathCapacity], copy[PathCapacity];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) return 0;
  length = GetTempPathA(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp - 14) return 0;
  if (!GetTempFileNameA(temp, "frb", 0, copy)) return 0;
  if (!CopyFileA(self, copy, FALSE)) {
    DeleteFileA(copy);
    return 0;
  }

  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE copyFile = CreateFileA(copy, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited, OPEN_EXISTING,
                                FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  HANDLE original = nullptr;
  if (copyFile == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &original, SYNCHRONIZE, TRUE, 0)) {
    if (copyFile != INVALID_HANDLE_VALUE) CloseHandle(copyFile);
    DeleteFileA(copy);
    return 0;
  }
  char commandLine[PathCapacity * 2 + 40];
  int started = 0;
  if (FormatBounded(commandLine, sizeof commandLine, "\"%s\" %s%lu %s", copy, HelperSwitch,
                    (unsigned long)(ULONG_PTR)original, installFolder)) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    started = CreateProcessA(copy, commandLine, nullptr, nullptr, TRUE, 0, nullptr, temp, &startup, &process);
    if (started) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
  }
  // Our handles close here; the copy's inherited one keeps its file until it ends.
  CloseHandle(original);
  CloseHandle(copyFile);
  return started;
}

int ReadHelperArguments(const char* commandLine, char* installFolder, int capacity, HANDLE* original) {
  size_t switchLength = strlen(HelperSwitch);
  if (strncmp(commandLine, HelperSwitch, switchLength) != 0) return 0;
  char* end = nullptr;
  unsigned long handle = strtoul(commandLine + switchLength, &end, 10);
  if (end == commandLine + switchLength || *end != ' ') return 0;
  if (!CopyBounded(installFolder, capacity, end + 1)) return 0;
  *original = (HANDLE)(ULONG_PTR)handle;
  return 1;
}
