#include "uninstaller/uninstall.h"

#include <windows.h>
#include <objbase.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "system/files_in_use.h"
#include "system/log_reader.h"
#include "system/kept_aside.h"
#include "system/profile_folders.h"
#include "system/restart_removal.h"
#include "system/rollback.h"
#include "system/shortcuts.h"
#include "system/uninstall_registration.h"

namespace {

// 1 when folder holds a finished installation: its log ends with PN, and its game and
// uninstaller are there.
int FinishedInstallationIn(const char* folder) {
  const char* files[] = {GameFile, UninstallerFile, LogFileName};
  char path[PathCapacity];
  int last = RecordUnknown, previous = RecordUnknown;
  for (const char* file : files)
    if (!FormatBounded(path, sizeof path, "%s%s", folder, file) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
      return 0;
  FILE* log = OpenLogForReading(path);  // the last of them
  if (!log) return 0;
  int finished = LastLogKinds(log, &last, &previous) && EndsFinishedRun(last, previous);
  CloseLogRead(log);
  return finished;
}

// The installation removed here had taken the shortcuts and the uninstall entry over from
// the one in `earlier`: they go back to it when it is still there and nobody newer has
// taken them since, made exactly as its own run made them, so its own log removes them.
void GiveBackToEarlierInstallation(const char* earlier) {
  char own[FolderCapacity], programs[ProgramsCapacity], link[PathCapacity];
  if (!earlier[0] || !FinishedInstallationIn(earlier) || !ReadProgramsFolder(programs) ||
      !FormatBounded(link, sizeof link, "%s\\%s\\%s.lnk", programs, ProgramFolderName, GameLinkName))
    return;
  if (UninstallEntryExists(UninstallKeyName) || GetFileAttributesA(link) != INVALID_FILE_ATTRIBUTES) return;
  InstallState.PlatformKind = CurrentPlatformKind();
  CopyBounded(own, sizeof own, InstallState.TargetFolder);
  CopyBounded(InstallState.TargetFolder, sizeof InstallState.TargetFolder, earlier);
  CreateShortcuts();
  RegisterUninstall(UninstallKeyName, UninstallDisplayName, UninstallerFile);
  CopyBounded(InstallState.TargetFolder, sizeof InstallState.TargetFolder, own);
}

int EndUninstall(HRESULT com, int outcome) {
  if (SUCCEEDED(com)) CoUninitialize();
  return outcome;
}

}  // namespace

int SetInstallFolder(const char* installFolder) {
  // A drive root ("C:\") is an install folder too.
  size_t length = strlen(installFolder);
  if (length < 3 || installFolder[1] != ':' || installFolder[length - 1] != '\\') return 0;
  return CopyBounded(InstallState.TargetFolder, sizeof InstallState.TargetFolder, installFolder) &&
         FormatBounded(InstallState.LogPath, sizeof InstallState.LogPath, "%s%s", InstallState.TargetFolder, LogFileName);
}

int UninstallFrom(const char* installFolder) {
  if (!SetInstallFolder(installFolder)) return UninstallNoLog;
  // What the logs say the installer created, merged over every log undone.
  InstallState.CreatedDirCount = 0;
  memset(InstallState.CreatedDirFlags, 0, sizeof InstallState.CreatedDirFlags);
  // Shortcuts are read to tell whose they are, and may be made for an earlier installation.
  HRESULT com = CoInitialize(nullptr);
  char earlier[FolderCapacity] = "";
  int shortcutsLeft = 0;
  // A run that was killed while it replaced an earlier installation kept that one's log
  // aside: once its own log is undone, the earlier one is undone as well.
  for (int round = 0; round < 4; ++round) {
    if (!OpenLogForUndo()) {
      if (round == 0) return EndUninstall(com, UninstallNoLog);
      break;
    }
    int count = 0, flags[CreatedDirCapacity];
    int reachedFirst = UndoLogRecords(1, &count, flags);
    CloseLogAfterUndo();
    if (!reachedFirst) return EndUninstall(com, UninstallStopped);
    shortcutsLeft |= UndoneLogLeftShortcuts();
    if (!earlier[0]) CopyBounded(earlier, sizeof earlier, EarlierInstallationOfUndoneLog());
    if (count > InstallState.CreatedDirCount) InstallState.CreatedDirCount = count;
    for (int i = 0; i < CreatedDirCapacity; ++i) InstallState.CreatedDirFlags[i] |= flags[i];
    DeleteFileA(InstallState.LogPath);
    if (!UndoneLogKeptItsPredecessor() || !RestoreKeptAside(InstallState.LogPath)) break;
  }
  RemoveCreatedLevels(InstallState.CreatedDirCount, InstallState.CreatedDirFlags);
  GiveBackToEarlierInstallation(earlier);
  return EndUninstall(com, shortcutsLeft ? UninstallShortcutsKept : OutcomeOfFolder(InstallState.TargetFolder, ""));
}

int OutcomeOfFolder(const char* folder, const char* except) {
  int left = 0;  // the folder is still there: it holds only what waits for the restart
  return FolderHoldsOthers(folder, except, &left) ? UninstallFolderKept
         : RemovalsWaitingForRestart() || left     ? UninstallAtRestart
                                                   : UninstallComplete;
}

int NoFileOfLogHeld(const char* installFolder) {
  char held[PathCapacity];
  if (!SetInstallFolder(installFolder)) return 1;
  while (FindHeldFileOfLog(held))
    if (!AskToRetryHeldFile(held, UninstallerCaption, "Mit „Abbrechen“ wird die Deinstallation beendet. Es wird nichts entfernt."))
      return 0;
  return 1;
}
