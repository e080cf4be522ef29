#include "system/restart_removal.h"

#include <windows.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/entry_names.h"
#include "base/install_state.h"

namespace {

enum { WaitingCapacity = 64, WininitCapacity = 32768 };

char Waiting[WaitingCapacity][PathCapacity];
int WaitingCount;
char DeletedLaterByCaller[PathCapacity];
char WininitText[WininitCapacity];
char WininitUpdated[WininitCapacity + PathCapacity + 32];

// Reads the Windows folder's wininit.ini into WininitText; 1 when it is absent (empty
// text) or read whole.
int ReadWininit(const char* file, DWORD* size) {
  *size = 0;
  HANDLE handle = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  int whole = ReadFile(handle, WininitText, WininitCapacity, size, nullptr) && *size < WininitCapacity;
  CloseHandle(handle);
  return whole;
}

// Puts count bytes at the end of the WininitUpdated text of *used bytes.
void AppendToWininit(DWORD* used, const char* bytes, DWORD count) {
  memcpy(WininitUpdated + *used, bytes, count);
  *used += count;
}

// Appends "NUL=<short path>" to the end of the [rename] section of wininit.ini, so the
// lines run in the order they were left. The section holds many "NUL" keys: the profile
// functions, which keep one value a key, cannot write it.
int LeaveInWininit(const char* path) {
  char shortPath[PathCapacity], file[PathCapacity], line[PathCapacity + 8];
  DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
  UINT folder = GetWindowsDirectoryA(file, sizeof file);
  if (length == 0 || length >= sizeof shortPath || folder == 0 || folder >= sizeof file ||
      !FormatBounded(file + folder, sizeof file - folder, file[folder - 1] == '\\' ? "%s" : "\\%s", "wininit.ini") ||
      !FormatBounded(line, sizeof line, "NUL=%s\r\n", shortPath))
    return 0;
  CharToOemA(line, line);  // read before Windows runs: in the OEM code page
  DWORD size = 0;
  if (!ReadWininit(file, &size)) return 0;
  // Where the line goes: before the section after [rename], or at the end.
  DWORD insert = size, at = 0;
  int inRename = 0, found = 0;
  for (DWORD start = 0; start < size; start = at) {
    for (at = start; at < size && WininitText[at] != '\n'; ++at) {}
    if (at < size) ++at;
    if (WininitText[start] != '[') continue;
    if (inRename) {
      insert = start;
      break;
    }
    inRename = found = size - start >= 8 && !_strnicmp(WininitText + start, "[rename]", 8);
  }
  DWORD used = 0;
  AppendToWininit(&used, WininitText, insert);
  if (used > 0 && WininitUpdated[used - 1] != '\n') AppendToWininit(&used, "\r\n", 2);
  if (!found) AppendToWininit(&used, "[rename]\r\n", 10);
  AppendToWininit(&used, line, (DWORD)strlen(line));
  AppendToWininit(&used, WininitText + insert, size - insert);
  HANDLE handle = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  int whole = WriteFile(handle, WininitUpdated, used, &written, nullptr) && written == used;
  return CloseHandle(handle) && whole;
}

// Leaves path for the next restart; 1 when Windows will remove it then. A file that can
// still be renamed (a running program's, on the NT family) waits as "<name>~weg": its
// own name is free for an installation before the restart, which removes a name.
int RemoveAtRestart(const char* path, int isFolder) {
  char leaving[PathCapacity];
  const char* original = path;
  if (!isFolder && FormatBounded(leaving, sizeof leaving, "%s%s", path, LeavingSuffix) && MoveFileA(path, leaving))
    path = leaving;
  if (WaitsForRestart(path)) return 1;
  if (WaitingCount >= WaitingCapacity) return 0;
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return 0;
  int left = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)
             : version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && !isFolder ? LeaveInWininit(path)
                                                                               : 0;
  if (left) CopyBounded(Waiting[WaitingCount++], PathCapacity, path);
  else if (path == leaving) MoveFileA(leaving, original);  // nothing stays under a name no log knows
  return left ? 1 : 0;
}

void ClearReadOnly(const char* path, DWORD attributes) {
  DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
  SetFileAttributesA(path, writable ? writable : FILE_ATTRIBUTE_NORMAL);
}

}  // namespace

int DeleteNamedFile(const char* path) {
  if (DeleteFileA(path)) return 1;
  DWORD error = GetLastError(), attributes = GetFileAttributesA(path);
  if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    ClearReadOnly(path, attributes);
    if (DeleteFileA(path)) return 1;
    SetFileAttributesA(path, attributes);
  }
  SetLastError(error);
  return 0;
}

int DeleteNowOrAtRestart(const char* path) {
  if (DeleteNamedFile(path)) return 1;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      !_stricmp(path, DeletedLaterByCaller))
    return 0;
  // Windows does not remove a read-only file at the restart either.
  if (attributes & FILE_ATTRIBUTE_READONLY) ClearReadOnly(path, attributes);
  return RemoveAtRestart(path, 0);
}

int RemoveFolderNowOrAtRestart(const char* folder) {
  char within[PathCapacity];
  int any = 0;
  if (RemoveDirectoryA(folder)) return 1;
  DWORD attributes = GetFileAttributesA(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !FormatBounded(within, sizeof within, "%s\\", folder) ||
      FolderHoldsOthers(within, "", &any))
    return 0;
  return RemoveAtRestart(folder, 1);
}

int FolderHoldsOthers(const char* folder, const char* except, int* any) {
  char pattern[PathCapacity], path[PathCapacity];
  *any = 0;
  if (!FormatBounded(pattern, sizeof pattern, "%s*", folder)) return 1;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int holds = 0;
  do {
    // What waits as "<name>~weg" was left for the restart by an earlier run.
    size_t length = strlen(found.cFileName), suffix = strlen(LeavingSuffix);
    if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..") || !_stricmp(found.cFileName, except)) continue;
    *any = 1;
    if (length > suffix && !_stricmp(found.cFileName + length - suffix, LeavingSuffix)) continue;
    size_t end = strlen(folder) + length;
    int inner = 0;
    holds = !FormatBounded(path, sizeof path, "%s%s\\", folder, found.cFileName);
    if (holds) break;
    path[end] = 0;
    if (WaitsForRestart(path)) continue;
    // A folder that holds only what waits is no one else's, though Windows 95/98 leave no
    // folder for the restart.
    path[end] = '\\';
    holds = !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            FolderHoldsOthers(path, "", &inner) || !inner;
  } while (!holds && FindNextFileA(search, &found));
  FindClose(search);
  return holds;
}

void DeleteLaterByCaller(const char* path) { CopyBounded(DeletedLaterByCaller, sizeof DeletedLaterByCaller, path); }

int WaitsForRestart(const char* path) {
  for (int i = 0; i < WaitingCount; ++i)
    if (!_stricmp(Waiting[i], path)) return 1;
  return 0;
}

int RemovalsWaitingForRestart() { return WaitingCount; }

void ForgetRemovalsAtRestart() { WaitingCount = 0; }
