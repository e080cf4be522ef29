#include "payload/staging.h"

#include <windows.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "base/schedule_ticks.h"
#include "resources/resource_ids.h"
#include "system/install_log.h"
#include "system/kept_aside.h"
#include "system/log_reader.h"
#include "system/rollback.h"
#include "system/uninstall_registration.h"

namespace {

HGLOBAL PayloadHandle;
const unsigned char* StageCursor;
unsigned StageTotal;
unsigned StageRemaining;
FILE* StagedFile;

// Walks the levels of TargetFolder below the drive root, top first, creating the
// missing ones. Gives the number of levels handled; stops at the first level it
// cannot create, or that has no flag left to record it in (FailureCode 5).
int WalkTargetLevels() {
  const char* target = InstallState.TargetFolder;
  size_t length = strlen(target);
  int levels = 0;
  for (size_t p = 0; p < length && p + 1 < PathCapacity; ++p) {
    InstallState.ScratchPath[p] = target[p];
    InstallState.ScratchPath[p + 1] = 0;
    if (p < 3 || target[p + 1] != '\\') continue;
    int made = 0;
    // A level that is there is recorded 0, one this run creates 1.
    if (levels == CreatedDirCapacity || (!SetCurrentDirectoryA(InstallState.ScratchPath) &&
                                         !(made = CreateDirectoryA(InstallState.ScratchPath, nullptr) != 0))) {
      InstallState.FailureCode = FailureTargetLevel;
      break;
    }
    InstallState.CreatedDirFlags[levels++] = made;
  }
  return levels;
}

// The earlier installation's log, now kept aside, is carried into the new log as EA
// records ("EA <its line>"), so that one uninstall removes what either run made. A line
// that would not fit a log line with the prefix is left out.
int CarryOverEarlierRecords(const char* earlierLog) {
  FILE* earlier = OpenLogForReading(earlierLog);
  if (!earlier) return 0;
  LogRecord record;
  int written = 1;
  while (written && ReadNextLogRecord(earlier, &record)) {
    size_t length = strlen(record.Line);
    RecordCarry carry = LogRecordKindOf(record.Carried ? RecordCarried : record.Kind).Carry;
    if (carry == CarryArgument) written = AppendLogRecord(RecordCarried, length > 3 ? record.Line + 3 : "");
    else if (carry == CarryLine && length + 4 < LogLineCapacity) written = AppendLogRecord(RecordCarried, record.Line);
  }
  // A read error would leave the earlier installation's records out unseen.
  return CloseLogRead(earlier) && written;
}

// Opens a new log; the log of an earlier installation in the target folder is kept aside
// first (the KA record follows as soon as the new log exists).
int OpenNewLog(int* keptEarlier) {
  char aside[PathCapacity];
  *keptEarlier = 0;
  if (!FormatBounded(InstallState.LogPath, PathCapacity, "%s%s", InstallState.TargetFolder, LogFileName) ||
      !KeptAsidePath(aside, InstallState.LogPath))
    return 0;
  DWORD attributes = GetFileAttributesA(InstallState.LogPath);
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (GetFileAttributesA(aside) != INVALID_FILE_ATTRIBUTES || !MoveFileA(InstallState.LogPath, aside)) return 0;
    *keptEarlier = InstallState.LogKeptAside = 1;
  }
  DWORD error = 0;
  InstallState.LogFile = CreateNewFile(InstallState.LogPath, "wt", &error);
  if (InstallState.LogFile) return 1;
  if (*keptEarlier) MoveFileA(aside, InstallState.LogPath);
  InstallState.LogKeptAside = 0;
  return 0;
}

// The end of level `level` of a folder path (the index of the backslash after it), or 0.
size_t LevelEnd(const char* folder, int level) {
  for (size_t i = 3; folder[i]; ++i)
    if (folder[i] == '\\' && level-- == 0) return i;
  return 0;
}

// A level that the registered installation in another folder made (its log says so)
// counts as made by this run too: whichever of the two is removed last removes it.
void MergeEarlierLevels(const char* earlier, int* flags, int levels) {
  char log[PathCapacity];
  LogRecord record;
  if (!FormatBounded(log, sizeof log, "%s%s", earlier, LogFileName)) return;
  FILE* file = OpenLogForReading(log);
  if (!file) return;
  while (ReadNextLogRecord(file, &record)) {
    if (record.Kind != RecordLevels) continue;
    int made[CreatedDirCapacity] = {}, stored = 0;
    DecodeLevelRecord(record.Argument, made, CreatedDirCapacity, &stored);
    for (int i = 0; i < stored && i < levels; ++i) {
      size_t end = LevelEnd(InstallState.TargetFolder, i);
      if (made[i] && end && end == LevelEnd(earlier, i) && _strnicmp(earlier, InstallState.TargetFolder, end) == 0)
        flags[i] = 1;
    }
  }
  CloseLogRead(file);
}

void ReleasePayload() {
  if (PayloadHandle) FreeResource(PayloadHandle);
  PayloadHandle = nullptr;
  StageCursor = nullptr;
}

}  // namespace

int BeginStaging() {
  StagedFile = nullptr;
  PayloadHandle = nullptr;
  // What a killed earlier run left here goes first, so that the levels below are seen
  // as the machine had them; an earlier installation that ended well may not have come
  // to drop what it kept aside.
  if (RecoverInterruptedRun()) DropKeptAsides(InstallState.LogPath);
  if (InstallState.FailureCode != FailureNone) return 0;
  int levels = WalkTargetLevels();
  InstallState.CreatedDirCount = levels;

  int keptEarlier = 0;
  if (!OpenNewLog(&keptEarlier)) return FailWith(FailureLogCreate);
  InstallState.LogOpened = 1;
  // ID follows the levels it names (the log lives in the last of them); KA follows the
  // earlier log's move, which had to come before the new log could take its name.
  // An installation registered in another folder: PI names it, so that removing this one
  // gives it back the shortcuts and the entry this run takes over.
  char earlierLog[PathCapacity], elsewhere[FolderCapacity];
  int loggedLevels[CreatedDirCapacity];
  memcpy(loggedLevels, InstallState.CreatedDirFlags, sizeof loggedLevels);
  int registered = ReadRegisteredInstallFolder(UninstallKeyName, elsewhere) &&
                   _stricmp(elsewhere, InstallState.TargetFolder) != 0;
  if (registered) MergeEarlierLevels(elsewhere, loggedLevels, levels);
  InstallState.LevelRecordLost = !AppendLevelRecord(loggedLevels, levels);
  if (InstallState.LevelRecordLost ||
      (keptEarlier && (!KeptAsidePath(earlierLog, InstallState.LogPath) ||
                       !AppendLogRecord(RecordKeptAside, InstallState.LogPath) || !CarryOverEarlierRecords(earlierLog))) ||
      (registered && !AppendLogRecord(RecordEarlierFolder, elsewhere))) {
    if (InstallState.FailureCode == FailureNone) InstallState.FailureCode = FailureLogWrite;
    return 0;
  }

  HRSRC resource = FindResourceA(InstallState.InstanceHandle, MAKEINTRESOURCEA(IDR_PAYLOAD), PayloadResourceType);
  if (!resource) return FailWith(FailureStageResourceMissing);
  PayloadHandle = LoadResource(InstallState.InstanceHandle, resource);
  if (!PayloadHandle) return FailWith(FailureStageResourceLoad);
  StageCursor = (const unsigned char*)LockResource(PayloadHandle);
  StageTotal = SizeofResource(InstallState.InstanceHandle, resource);
  if (StageTotal == 0 || !StageCursor) {
    ReleasePayload();
    return FailWith(FailureStageResourceEmpty);
  }
  StageRemaining = StageTotal;
  DWORD error = 0;
  // NC goes before the temporary file exists: a killed run's log names it too.
  if (!FormatBounded(InstallState.StagedPayloadPath, PathCapacity, "%s%s", InstallState.TargetFolder, "temp.un_") ||
      !KeepFileAside(InstallState.StagedPayloadPath, 0) || !AppendLogRecord(RecordNewFile, "temp.un_") ||
      !(StagedFile = CreateNewFile(InstallState.StagedPayloadPath, "wb", &error))) {
    ReleasePayload();
    if (InstallState.FailureCode == FailureNone) InstallState.FailureCode = FailureStagedCreate;
    return 0;
  }
  InstallState.StagedPayloadPresent = 1;
  return 1;
}

int StageSlice(int tick) {
  if (!StagedFile) return 1;  // staging did not begin, or has ended
  int last = tick == ScheduleTable[StageStaging].Last;
  unsigned slice = last ? StageRemaining : StageTotal / StageSlices(StageStaging);
  int written = fwrite(StageCursor, 1, slice, StagedFile) == slice;
  StageCursor += slice;
  StageRemaining -= slice;
  if (last || !written) {
    // A short write (a full disk) or a failed close leaves an incomplete copy.
    if (!CloseWrittenFile(StagedFile)) written = 0;
    StagedFile = nullptr;
    ReleasePayload();
    if (!written) InstallState.FailureCode = FailureStagedCreate;
  }
  return 1;
}
