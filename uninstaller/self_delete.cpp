#include "uninstaller/self_delete.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "system/profile_folders.h"

namespace {

const char HelperSwitch[] = "/entfernen ";
// Unattended: "/entfernen-still <original> <report> <original's file>".
const char UnattendedHelperSwitch[] = "/entfernen-still ";

// Reads "<number> " at *text; 1 when there was one.
int ReadHandleNumber(const char** text, HANDLE* handle) {
  char* end = nullptr;
  unsigned long value = strtoul(*text, &end, 10);
  if (end == *text || *end != ' ') return 0;
  *handle = (HANDLE)(ULONG_PTR)value;
  *text = end + 1;
  return 1;
}

// The temporary folder; where it cannot be reached (a name outside the code page and no
// short path), the Windows folder's "Temp", which every account may reach.
int HelperParentFolder(char* folder, unsigned capacity) {
  if (ReadTempFolder(folder, capacity)) return 1;
  UINT length = GetWindowsDirectoryA(folder, capacity);
  if (length == 0 || length >= capacity) return 0;
  const char* separator = folder[length - 1] == '\\' ? "" : "\\";
  char windows[PathCapacity];
  return CopyBounded(windows, sizeof windows, folder) && FormatBounded(folder, capacity, "%s%sTemp\\", windows, separator);
}

}  // namespace

int StartHelperCopy(const char* installFolder, HANDLE* report) {
  char self[PathCapacity], temp[PathCapacity], copy[PathCapacity];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) return 0;
  if (!HelperParentFolder(temp, sizeof temp - 14)) return 0;
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
  // Unattended: a pipe whose writing end only the copy holds, so that reading ends
  // when the copy has reported or has ended without a report. The reading end is made
  // uninheritable by duplicating it (SetHandleInformation fails on Windows 95/98).
  // DUPLICATE_CLOSE_SOURCE closes the inheritable end whether or not the duplicate is made.
  HANDLE inheritable = nullptr, reading = nullptr, writing = nullptr;
  if (report && (!CreatePipe(&inheritable, &writing, &inherited, 0) ||
                 !DuplicateHandle(GetCurrentProcess(), inheritable, GetCurrentProcess(), &reading, 0, FALSE,
                                  DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS))) {
    if (writing) CloseHandle(writing);
    CloseHandle(original);
    CloseHandle(copyFile);
    return 0;
  }
  char commandLine[PathCapacity * 2 + 60];
  int started = 0;
  int formed = report ? FormatBounded(commandLine, sizeof commandLine, "\"%s\" %s%lu %lu %s", copy,
                                      UnattendedHelperSwitch, (unsigned long)(ULONG_PTR)original,
                                      (unsigned long)(ULONG_PTR)writing, self)
                      : FormatBounded(commandLine, sizeof commandLine, "\"%s\" %s%lu %s", copy, HelperSwitch,
                                      (unsigned long)(ULONG_PTR)original, installFolder);
  if (formed) {
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
  if (report) {
    CloseHandle(writing);
    if (started) *report = reading;
    else CloseHandle(reading);
  }
  return started;
}

int ReadHelperArguments(const char* commandLine, HelperArguments* arguments) {
  memset(arguments, 0, sizeof *arguments);
  const char* rest;
  if (!strncmp(commandLine, HelperSwitch, strlen(HelperSwitch))) {
    rest = commandLine + strlen(HelperSwitch);
    if (!ReadHandleNumber(&rest, &arguments->Original)) return 0;
    return CopyBounded(arguments->InstallFolder, sizeof arguments->InstallFolder, rest);
  }
  if (strncmp(commandLine, UnattendedHelperSwitch, strlen(UnattendedHelperSwitch))) return 0;
  rest = commandLine + strlen(UnattendedHelperSwitch);
  if (!ReadHandleNumber(&rest, &arguments->Original) || !ReadHandleNumber(&rest, &arguments->Report)) return 0;
  if (!CopyBounded(arguments->OriginalFile, sizeof arguments->OriginalFile, rest)) return 0;
  // The install folder is the original's, with its final backslash.
  CopyBounded(arguments->InstallFolder, sizeof arguments->InstallFolder, rest);
  char* cut = strrchr(arguments->InstallFolder, '\\');
  if (!cut) return 0;
  cut[1] = 0;
  return 1;
}
