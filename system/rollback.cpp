#include "system/rollback.h"

#include <windows.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/entry_names.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "system/install_log.h"
#include "system/kept_aside.h"
#include "system/log_reader.h"
#include "system/record_trust.h"
#include "system/restart_removal.h"
#include "system/shortcuts.h"
#include "system/uninstall_registration.h"

namespace {

enum { MaxLevelCount = 150 };

int PredecessorLogKept;  // the log being undone named an earlier log kept aside
int ShortcutsLeft;       // a shortcut its records name stays: the trust rule refused it
int DroppingAsides;      // the log being undone is a finished installation's
char EarlierInstallation[FolderCapacity];  // the folder its PI record named, "" when none
// The path of the KA record undone last, when the record before it in the log may be the
// NC of the same entry: an entry whose rename met another program's file.
char AsideBeforeUndone[PathCapacity];

int DeleteJoined(const char* format, const char* folder, const char* name) {
  char path[PathCapacity];
  return FormatBounded(path, sizeof path, format, folder, name) && DeleteNowOrAtRestart(path);
}

// Merges one ID record into the levels seen so far; 0 when its count is out of range.
int MergeLevelRecord(const char* argument, int* levelCount, int* levelFlags) {
  int flags[CreatedDirCapacity], stored = 0;
  int count = DecodeLevelRecord(argument, flags, CreatedDirCapacity, &stored);
  if (count > MaxLevelCount) return 0;
  if (count > *levelCount) *levelCount = count;
  for (int i = 0; i < stored; ++i) levelFlags[i] |= flags[i];
  return 1;
}

// Undoes an entry's NC: deletes its name, or its writing name when it never got its name
// (whatever holds the name then is another program's: its rename met that file, and
// keeping it aside failed). When the entry's KA was undone just before, the name holds
// the entry only while that file still waits aside; then the file comes back.
void DeleteEntry(const char* argument, const char* keptFor) {
  const char* target = InstallState.TargetFolder;
  char path[PathCapacity], writing[PathCapacity], aside[PathCapacity];
  int named = FormatBounded(writing, sizeof writing, "%s%s", argument, WritingSuffix);
  if (keptFor[0] && FormatBounded(path, sizeof path, "%s%s", target, argument) && !_stricmp(path, keptFor)) {
    if (KeptAsidePath(aside, path) && GetFileAttributesA(aside) != INVALID_FILE_ATTRIBUTES && DeleteNowOrAtRestart(path))
      RestoreKeptAside(path);
    if (named) DeleteJoined("%s%s", target, writing);
  } else if (!(named && DeleteJoined("%s%s", target, writing))) {
    DeleteJoined("%s%s", target, argument);
  }
}

// Carries out one trusted record; 0 when the record ends the rollback early.
int UndoRecord(int kind, const char* argument, int* levelCount, int* levelFlags) {
  // The shortcuts and the entry belong to the newest installation: one that points at
  // another folder by now stays.
  const char* target = InstallState.TargetFolder;
  char keptFor[PathCapacity];
  CopyBounded(keptFor, sizeof keptFor, AsideBeforeUndone);
  AsideBeforeUndone[0] = 0;
  switch (LogRecordKindOf(kind).Undo) {
    // A key that stays would stay unnoticed: the undoing stops, and the log with it.
    case UndoRemoveKey: return !UninstallEntryBelongsTo(argument, target) || RemoveUninstallKey(argument);
    case UndoRestoreKey: RestoreUninstallKey(argument); break;
    case UndoDeleteEntry: DeleteEntry(argument, keptFor); break;
    case UndoDeleteGroup: DeleteProgmanGroup(argument); break;
    case UndoRemoveFolder: RemoveFolderNowOrAtRestart(argument); break;
    case UndoDeleteLink: if (ShellLinkBelongsTo(argument, target)) DeleteNowOrAtRestart(argument); break;
    case UndoNoteEarlierFolder: CopyBounded(EarlierInstallation, sizeof EarlierInstallation, argument); break;
    case UndoRestoreAside:
      // The earlier log can only come back once the log being read is gone.
      if (!_stricmp(argument, InstallState.LogPath)) PredecessorLogKept = 1;
      else if (DroppingAsides) DropRecordedAside(kind, argument);  // it was in use when its run ended
      else {
        RestoreKeptAside(argument);
        CopyBounded(AsideBeforeUndone, sizeof AsideBeforeUndone, argument);
      }
      break;
    case UndoMergeLevels: return MergeLevelRecord(argument, levelCount, levelFlags);
    case UndoNothing: break;
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

// Removes the levels that levelFlags marks as created, from `level` (the level numbered
// levelCount - 1, without its final backslash) upwards.
void RemoveLevelsUpFrom(char* level, int levelCount, const int* levelFlags) {
  char drive[4] = {InstallState.TargetFolder[0], ':', '\\', 0};
  SetCurrentDirectoryA(drive);
  if (levelCount > CreatedDirCapacity) levelCount = CreatedDirCapacity;  // deeper levels have no flag
  for (int k = 0; k < levelCount; ++k) {
    // Levels are created top down, so the deepest one that existed ends the removal:
    // nothing above it was made by this run.
    if (!levelFlags[levelCount - 1 - k]) return;
    RemoveFolderNowOrAtRestart(level);
    if (CutToParent(level) < 3) return;
  }
}

// The levels this run's own walk made, when no log tells: a walk that stopped part-way
// counted fewer levels than the target has, so the removal starts at the deepest level
// it walked.
void RemoveWalkedLevels() {
  char level[PathCapacity];
  int count = InstallState.CreatedDirCount;
  if (!CopyBounded(level, sizeof level, InstallState.TargetFolder)) return;
  size_t length = 3;
  for (int seen = 0; level[length] && seen < count; ++length)
    if (level[length] == '\\') ++seen;
  level[length - 1] = 0;
  RemoveLevelsUpFrom(level, count, InstallState.CreatedDirFlags);
}

}  // namespace

int UndoLogRecords(int earlierToo, int* levelCount, int* levelFlags) {
  LogRecord record;
  int read = 0, last = RecordUnknown;
  DroppingAsides = 0;
  *levelCount = 0;
  memset(levelFlags, 0, sizeof(int) * CreatedDirCapacity);
  PredecessorLogKept = 0;
  ShortcutsLeft = 0;
  EarlierInstallation[0] = 0;
  AsideBeforeUndone[0] = 0;
  int menu = LoadTrustedPlaces();
  do {
    if (!ReadPendingLogRecord(&record)) return 0;
    int kind = record.Kind, lineKind = record.Carried ? RecordCarried : kind;
    // The log's last two lines come first. A finished run's copies kept aside that are
    // still there were in use when it ended: an uninstall drops them.
    if (++read == 1) last = lineKind;
    else if (read == 2) DroppingAsides = earlierToo && EndsFinishedRun(last, lineKind);
    // A record of the installation this run replaced ("EA <its own line>"), never one
    // carried twice.
    if (record.Carried && (!earlierToo || kind == RecordCarried)) continue;
    // A shortcut record while the Start menu could not be read stops a rollback, and an
    // uninstall whose reading failed: passed over, its shortcut would stay unnoticed. An
    // uninstall by an account without a Start menu of its own goes on and tells it.
    int shortcut = RecordNeedsMenu(kind);
    if (menu != MenuKnown && shortcut && (!earlierToo || menu == MenuUnreadable)) return 0;
    if (!RecordIsTrusted(kind, record.Argument)) {
      // One of this installation's shortcuts stays: the uninstall must say so.
      if (shortcut && NamesOwnShortcut(kind, record.Argument) && GetFileAttributesA(record.Argument) != INVALID_FILE_ATTRIBUTES &&
          (kind == RecordMenuFolder || ShellLinkBelongsTo(record.Argument, InstallState.TargetFolder)))
        ShortcutsLeft = 1;
      continue;
    }
    if (!UndoRecord(kind, record.Argument, levelCount, levelFlags)) return 0;
  } while (InstallState.PendingLogLines > 0);
  return 1;
}

int UndoneLogKeptItsPredecessor() { return PredecessorLogKept; }

int UndoneLogLeftShortcuts() { return ShortcutsLeft; }

const char* EarlierInstallationOfUndoneLog() { return EarlierInstallation; }

void RemoveCreatedLevels(int levelCount, const int* levelFlags) {
  char level[PathCapacity];
  if (!CopyBounded(level, sizeof level, InstallState.TargetFolder)) return;
  size_t length = strlen(level);
  if (length > 0) level[--length] = 0;
  RemoveLevelsUpFrom(level, levelCount, levelFlags);
}

int RollBackInstallation() {
  if (InstallState.StagedPayloadPresent) DeleteFileA(InstallState.StagedPayloadPath);
  InstallState.StagedPayloadPresent = 0;
  if (InstallState.ExpandedPayloadPresent) DeleteFileA(InstallState.ExpandedPayloadPath);
  InstallState.ExpandedPayloadPresent = 0;
  // Levels made before the log could be created are known only to this run's own walk.
  if (!InstallState.LogOpened) {
    if (InstallState.CreatedDirCount > 0) RemoveWalkedLevels();
    return 1;
  }

  if (!OpenLogForUndo()) return 0;
  int levelCount = 0, levelFlags[CreatedDirCapacity];
  if (!UndoLogRecords(0, &levelCount, levelFlags)) return 0;
  CloseLogAfterUndo();
  DeleteFileA(InstallState.LogPath);
  // The earlier installation's log that the failed run kept aside takes its name again.
  if (PredecessorLogKept || InstallState.LogKeptAside) RestoreKeptAside(InstallState.LogPath);
  // A level goes only when the log and this run's own walk both say it was created: the
  // log on disk may have been changed since it was written. When this run's ID record
  // did not reach the log, the walk alone tells.
  if (InstallState.LevelRecordLost) {
    levelCount = InstallState.CreatedDirCount;
    memcpy(levelFlags, InstallState.CreatedDirFlags, sizeof levelFlags);
  }
  if (levelCount > InstallState.CreatedDirCount) levelCount = InstallState.CreatedDirCount;
  for (int i = 0; i < CreatedDirCapacity; ++i) levelFlags[i] = levelFlags[i] && InstallState.CreatedDirFlags[i];
  RemoveCreatedLevels(levelCount, levelFlags);
  return 1;
}

int RecoverInterruptedRun() {
  if (!FormatBounded(InstallState.LogPath, PathCapacity, "%s%s", InstallState.TargetFolder, LogFileName)) return 0;
  // A run that still goes holds its log open: only a log that can be had alone is one
  // that nobody writes any more.
  HANDLE alone = CreateFileA(InstallState.LogPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (alone == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) return FailWith(FailureLogInUse);
  if (alone != INVALID_HANDLE_VALUE) CloseHandle(alone);
  int last = RecordUnknown, previous = RecordUnknown;
  FILE* log = OpenLogForReading(InstallState.LogPath);
  int hasLines = log && LastLogKinds(log, &last, &previous);
  int unreadable = log && !CloseLogRead(log);
  // A log that cannot be read is neither empty nor finished: nothing is decided from it.
  if (unreadable) return FailWith(FailureLogUnreadable);
  // A failed run that was killed while its message waited ended its log with FA and PN:
  // it is undone like any other run that did not end well.
  if (log && hasLines && EndsFinishedRun(last, previous)) return 1;  // a finished installation
  if (log && hasLines) {
    if (!OpenLogForUndo()) return 0;
    int levelCount = 0, levelFlags[CreatedDirCapacity];
    int reachedFirst = UndoLogRecords(0, &levelCount, levelFlags);
    CloseLogAfterUndo();
    if (!reachedFirst) return 0;  // a log it cannot read through stays as it is
    DeleteFileA(InstallState.LogPath);
    RemoveCreatedLevels(levelCount, levelFlags);
  } else if (log) {
    DeleteFileA(InstallState.LogPath);  // created, but killed before its first record
  }
  // A run killed before its log named the earlier log it had kept aside.
  RestoreKeptAside(InstallState.LogPath);
  PredecessorLogKept = 0;
  return 0;
}

int ResetScreenSaver() {
  HWND properties = FindWindowA(nullptr, "Eigenschaften von Anzeige");
  if (!properties) properties = FindWindowA(nullptr, "Display Properties");
  if (properties) SendMessageA(properties, WM_CLOSE, 0, 0);
  const UINT update = SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE;
  return SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, update) &&
         WritePrivateProfileStringA("windows", "ScreenSaverActive", "", "win.ini") &&
         WritePrivateProfileStringA("BOOT", "SCRNSAVE.EXE", "", "system.ini") &&
         SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, update);
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
