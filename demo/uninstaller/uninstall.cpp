#include "uninstall.h"

#include <windows.h>
#include <string.h>

#include "shell/bounded_text.h"
#include "shell/install_state.h"
#include "system/install_log.h"
#include "system/rollback.h"
#include "system/kept_aside.h"

int FolderHoldsOthers(const char* folder, const char* except) {
  char pattern[PathCapacity];
  if (!FormatBounded(pattern, sizeof pattern, "%s*", folder)) return 1;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int holds = 0;
  do {
    if (strcmp(found.cFileName, ".") && strcmp(found.cFileName, "..") && _stricmp(found.cFileName, except)) holds = 1;
  } while (!holds && FindNextFileA(search, &found));
  FindClose(search);
  return holds;
}

int SetInstallFolder(const char* installFolder) {
  // A drive root ("C:\") is an install folder too.
  size_t length = strlen(installFolder);
  if (length < 3 || installFolder[1] != ':' || installFolder[length - 1] != '\\') return 0;
  return CopyBounded(InstallState.TargetFolder, sizeof InstallState.TargetFolder, installFolder) &&
         FormatBounded(InstallState.LogPath, sizeof InstallState.LogPath, "%sdeinst.log", InstallState.TargetFolder);
}

int UninstallFrom(const char* installFolder) {
  if (!SetInstallFolder(installFolder)) return UninstallNoLog;
  // What the logs say the installer created, merged over every log undone.
  InstallState.CreatedDirCount = 0;
  memset(InstallState.CreatedDirFlags, 0, sizeof InstallState.CreatedDirFlags);
  // A run that was killed while it replaced an earlier installation kept that one's log
  // aside: once its own log is undone, the earlier one is undone as well.
  for (int round = 0; round < 4; ++round) {
    if (!OpenLogForUndo()) {
      if (round == 0) return UninstallNoLog;
      break;
    }
    int count = 0, flags[CreatedDirCapacity];
    int reachedFirst = UndoLogRecords(1, &count, flags);
    CloseLogAfterUndo();
    if (!reachedFirst) return UninstallStopped;
    if (count > InstallState.CreatedDirCount) InstallState.CreatedDirCount = count;
    for (int i = 0; i < CreatedDirCapacity; ++i) InstallState.CreatedDirFlags[i] |= flags[i];
    DeleteFileA(InstallState.LogPath);
    if (!UndoneLogKeptItsPredecessor() || !RestoreKeptAside(InstallState.LogPath)) break;
  }
  RemoveCreatedLevels(InstallState.CreatedDirCount, InstallState.CreatedDirFlags);
  return FolderHoldsOthers(InstallState.TargetFolder, "") ? UninstallFolderKept : UninstallComplete;
}
