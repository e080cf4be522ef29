#include "uninstall.h"

#include <windows.h>
#include <string.h>

#include "payload/resource_archive.h"
#include "shell/bounded_text.h"
#include "shell/install_state.h"
#include "system/install_log.h"
#include "system/rollback.h"
#include "system/shortcuts.h"

namespace {

const char UninstallKeyName[] = "FrelbyKey";
const char GroupName[] = "Frelby";

char ProgramFolder[PathCapacity];  // "<Programs>\Frelby"

// The part of path after `folder`, or null when path does not begin with it.
const char* InsideOf(const char* path, const char* folder) {
  size_t length = strlen(folder);
  if (length == 0 || _strnicmp(path, folder, length) != 0) return nullptr;
  return path + length;
}

// path is folder itself (when folderItself), or a safe relative name below it.
int LiesInFolder(const char* path, const char* folder, int folderItself) {
  const char* rest = InsideOf(path, folder);
  if (!rest) return 0;
  if (*rest == 0) return folderItself;
  return *rest == '\\' && ArchiveNameIsSafe(rest + 1);
}

// 1 when the folder (with its final backslash) holds anything.
int FolderHoldsFiles(const char* folder) {
  char pattern[PathCapacity];
  if (!FormatBounded(pattern, sizeof pattern, "%s*", folder)) return 1;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int holds = 0;
  do {
    if (strcmp(found.cFileName, ".") && strcmp(found.cFileName, "..")) holds = 1;
  } while (!holds && FindNextFileA(search, &found));
  FindClose(search);
  return holds;
}

}  // namespace

int SetTrustedPlaces(const char* installFolder) {
  char programs[PathCapacity];
  ProgramFolder[0] = 0;
  size_t length = strlen(installFolder);
  if (length < 4 || installFolder[length - 1] != '\\') return 0;
  if (!CopyBounded(InstallState.TargetFolder, sizeof InstallState.TargetFolder, installFolder)) return 0;
  // Without a Programs folder no shortcut record is trusted.
  if (ReadProgramsFolder(programs) &&
      !FormatBounded(ProgramFolder, sizeof ProgramFolder, "%s\\%s", programs, GroupName))
    ProgramFolder[0] = 0;
  return 1;
}

int RecordIsTrusted(const char* code, const char* argument) {
  if (!strcmp(code, "NC")) return ArchiveNameIsSafe(argument);
  if (!strcmp(code, "SD")) {
    const char* rest = InsideOf(argument, InstallState.TargetFolder);
    return rest && ArchiveNameIsSafe(rest);
  }
  if (!strcmp(code, "CI")) return LiesInFolder(argument, ProgramFolder, 1);
  if (!strcmp(code, "CL")) return LiesInFolder(argument, ProgramFolder, 0);
  if (!strcmp(code, "RK")) return !strcmp(argument, UninstallKeyName);
  if (!strcmp(code, "PG")) return !strcmp(argument, GroupName);
  // Files in the Windows folder and ini entries are nothing this installer makes.
  if (!strcmp(code, "WC") || !strcmp(code, "IN")) return 0;
  return 1;
}

int UninstallFrom(const char* installFolder) {
  if (!SetTrustedPlaces(installFolder) ||
      !FormatBounded(InstallState.LogPath, sizeof InstallState.LogPath, "%sdeinst.log", InstallState.TargetFolder))
    return UninstallNoLog;
  InstallState.LogFile = fopen(InstallState.LogPath, "rt");
  if (!InstallState.LogFile) return UninstallNoLog;
  InstallState.PendingLogLines = CountLogLines(InstallState.LogFile);
  int levelCount = 0;
  int reachedFirst = UndoLogRecords(&levelCount, RecordIsTrusted);
  fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
  if (!reachedFirst) return UninstallStopped;
  DeleteFileA(InstallState.LogPath);
  RemoveCreatedLevels(levelCount);
  return FolderHoldsFiles(InstallState.TargetFolder) ? UninstallFolderKept : UninstallComplete;
}
