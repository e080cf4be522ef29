#include "system/rollback.h"

#include <windows.h>
#include <string.h>

#include "shell/bounded_text.h"
#include "shell/install_state.h"
#include "system/install_log.h"
#include "system/shortcuts.h"
#include "system/uninstall_registration.h"

namespace {

enum { MaxLevelCount = 150 };

void DeleteJoined(const char* format, const char* folder, const char* name) {
  char path[PathCapacity];
  if (FormatBounded(path, sizeof path, format, folder, name)) DeleteFileA(path);
}

// Carries out one record; 0 when the record ends the rollback early.
int UndoRecord(const char* code, const char* argument, int* levelCount) {
  if (!strcmp(code, "RK")) RemoveUninstallKey(argument);
  else if (!strcmp(code, "NC")) DeleteJoined("%s%s", InstallState.TargetFolder, argument);
  else if (!strcmp(code, "WC")) DeleteJoined("%s\\%s", InstallState.WindowsFolder, argument);
  else if (!strcmp(code, "PG")) DeleteProgmanGroup(argument);
  else if (!strcmp(code, "SD") || !strcmp(code, "CI")) RemoveDirectoryA(argument);
  else if (!strcmp(code, "CL")) DeleteFileA(argument);
  else if (!strcmp(code, "IS")) ResetScreenSaver();
  else if (!strcmp(code, "IN")) return RemoveIniEntry(argument);
  else if (!strcmp(code, "ID")) {
    int flags = 0;
    memset(InstallState.CreatedDirFlags, 0, sizeof InstallState.CreatedDirFlags);
    *levelCount = DecodeLevelRecord(argument, InstallState.CreatedDirFlags, CreatedDirCapacity, &flags);
    if (*levelCount > MaxLevelCount) return 0;
  }
  return 1;
}

// Cuts a folder path back to its parent; gives its new length.
size_t CutToParent(char* path) {
  size_t length = strlen(path);
  if (length > 0) path[--length] = 0;
  while (length > 0 && path[length - 1] != '\\') path[--length] = 0;
  if (length > 0) path[--length] = 0;
  return length;
}

}  // namespace

int UndoLogRecords(int* levelCount, LogRecordFilter accept) {
  char line[LogLineCapacity], code[3], argument[LogLineCapacity];
  *levelCount = 0;
  do {
    if (!ReadPendingLogLine(line)) return 0;
    CutLogLine(line, code, argument);
    if (accept && !accept(code, argument)) continue;
    if (!UndoRecord(code, argument, levelCount)) return 0;
  } while (InstallState.PendingLogLines > 0);
  return 1;
}

void RemoveCreatedLevels(int levelCount) {
  char drive[4] = {InstallState.TargetFolder[0], ':', '\\', 0};
  SetCurrentDirectoryA(drive);
  char level[PathCapacity];
  CopyBounded(level, sizeof level, InstallState.TargetFolder);
  size_t length = strlen(level);
  if (length > 0) level[--length] = 0;
  if (levelCount > CreatedDirCapacity) levelCount = CreatedDirCapacity;  // deeper levels have no flag
  for (int k = 0; k < levelCount; ++k) {
    // Levels are created top down, so the deepest one that existed ends the removal:
    // nothing above it was made by this run.
    if (!InstallState.CreatedDirFlags[levelCount - 1 - k]) return;
    RemoveDirectoryA(level);
    if (CutToParent(level) < 3) return;
  }
}

int RollBackInstallation() {
  if (InstallState.StagedPayloadPresent) DeleteFileA(InstallState.StagedPayloadPath);
  InstallState.StagedPayloadPresent = 0;
  if (InstallState.ExpandedPayloadPresent) DeleteFileA(InstallState.ExpandedPayloadPath);
  InstallState.ExpandedPayloadPresent = 0;
  if (!InstallState.LogOpened) return 1;

  InstallState.LogFile = fopen(InstallState.LogPath, "rt");
  if (!InstallState.LogFile) return 0;
  InstallState.PendingLogLines = CountLogLines(InstallState.LogFile);
  int levelCount = 0;
  if (!UndoLogRecords(&levelCount, nullptr)) return 0;
  fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
  DeleteFileA(InstallState.LogPath);
  RemoveCreatedLevels(levelCount);
  return 1;
}

int ResetScreenSaver() {
  HWND properties = FindWindowA(nullptr, "Eigenschaften von Anzeige");
  if (!properties) properties = FindWindowA(nullptr, "Display Properties");
  if (properties) SendMessageA(properties, WM_CLOSE, 0, 0);
  const UINT update = SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE;
  if (!SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, update)) return 0;
  if (!WritePrivateProfileStringA("windows", "ScreenSaverActive", "", "win.ini")) return 0;
  if (!WritePrivateProfileStringA("BOOT", "SCRNSAVE.EXE", "", "system.ini")) return 0;
  if (!SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, update)) return 0;
  return 1;
}

int RemoveIniEntry(const char* argument) {
  char fields[3][LogLineCapacity];
  fields[0][0] = fields[1][0] = fields[2][0] = 0;
  int field = 0;
  size_t start = 0, length = strlen(argument);
  for (size_t i = 0; i < length && field < 3; ++i) {
    if (argument[i] == '[') {
      start = i + 1;
    } else if (argument[i] == ']') {
      size_t count = i > start ? i - start : 0;
      if (count >= LogLineCapacity) count = LogLineCapacity - 1;
      memcpy(fields[field], argument + start, count);
      fields[field][count] = 0;
      ++field;
    }
  }
  return WritePrivateProfileStringA(fields[1], fields[2], nullptr, fields[0]) ? 1 : 0;
}
