#include "payload/staging.h"

#include <windows.h>
#include <string.h>

#include "resources/resource_ids.h"
#include "shell/bounded_text.h"
#include "shell/install_state.h"
#include "system/install_log.h"
#include "system/kept_aside.h"
#include "system/rollback.h"

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
    if (levels == CreatedDirCapacity) {
      InstallState.FailureCode = FailureTargetLevel;
      break;
    }
    if (SetCurrentDirectoryA(InstallState.ScratchPath)) {
      InstallState.CreatedDirFlags[levels++] = 0;
    } else if (CreateDirectoryA(InstallState.ScratchPath, nullptr)) {
      InstallState.CreatedDirFlags[levels++] = 1;
    } else {
      InstallState.FailureCode = FailureTargetLevel;
      break;
    }
  }
  return levels;
}

// The earlier installation's log, now kept aside, is carried into the new log as EA
// records ("EA <its line>"), so that one uninstall removes what either run made. A line
// that would not fit a log line with the prefix is left out.
int CarryOverEarlierRecords(const char* earlierLog) {
  FILE* earlier = fopen(earlierLog, "rt");
  if (!earlier) return 0;
  char line[LogLineCapacity], code[3], argument[LogLineCapacity];
  int written = 1;
  while (written && fgets(line, sizeof line, earlier)) {
    size_t length = strlen(line);
    if (length > 0 && line[length - 1] == '\n') line[--length] = 0;
    CutLogLine(line, code, argument);
    if (!strcmp(code, "PN")) continue;
    if (!strcmp(code, "EA")) written = AppendLogRecord("EA", argument);
    else if (length + 4 < LogLineCapacity) written = AppendLogRecord("EA", line);
  }
  fclose(earlier);
  return written;
}

// Opens a new log; the log of an earlier installation in the target folder is kept aside
// first (the KA record follows as soon as the new log exists).
int OpenNewLog(int* keptEarlier) {
  char aside[PathCapacity];
  *keptEarlier = 0;
  if (!FormatBounded(InstallState.LogPath, PathCapacity, "%sdeinst.log", InstallState.TargetFolder) ||
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
  int levels = WalkTargetLevels();
  InstallState.CreatedDirCount = levels;

  int keptEarlier = 0;
  if (!OpenNewLog(&keptEarlier)) {
    InstallState.FailureCode = FailureLogCreate;
    return 0;
  }
  InstallState.LogOpened = 1;
  // ID follows the levels it names (the log lives in the last of them); KA follows the
  // earlier log's move, which had to come before the new log could take its name.
  char earlierLog[PathCapacity];
  if (!AppendLevelRecord(InstallState.CreatedDirFlags, levels) ||
      (keptEarlier && (!KeptAsidePath(earlierLog, InstallState.LogPath) || !AppendLogRecord("KA", InstallState.LogPath) ||
                       !CarryOverEarlierRecords(earlierLog)))) {
    if (InstallState.FailureCode == FailureNone) InstallState.FailureCode = FailureLogWrite;
    return 0;
  }

  HRSRC resource = FindResourceA(InstallState.InstanceHandle, MAKEINTRESOURCEA(IDR_PAYLOAD), PayloadResourceType);
  if (!resource) {
    InstallState.FailureCode = FailureStageResourceMissing;
    return 0;
  }
  PayloadHandle = LoadResource(InstallState.InstanceHandle, resource);
  if (!PayloadHandle) {
    InstallState.FailureCode = FailureStageResourceLoad;
    return 0;
  }
  StageCursor = (const unsigned char*)LockResource(PayloadHandle);
  StageTotal = SizeofResource(InstallState.InstanceHandle, resource);
  if (StageTotal == 0 || !StageCursor) {
    ReleasePayload();
    InstallState.FailureCode = FailureStageResourceEmpty;
    return 0;
  }
  StageRemaining = StageTotal;
  DWORD error = 0;
  // NC goes before the temporary file exists: a killed run's log names it too.
  if (!FormatBounded(InstallState.StagedPayloadPath, PathCapacity, "%s%s", InstallState.TargetFolder, "temp.un_") ||
      !KeepFileAside(InstallState.StagedPayloadPath, 0) || !AppendLogRecord("NC", "temp.un_") ||
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
  unsigned slice = tick == 19 ? StageRemaining : StageTotal / 18;
  int written = fwrite(StageCursor, 1, slice, StagedFile) == slice;
  StageCursor += slice;
  StageRemaining -= slice;
  if (tick == 19 || !written) {
    // A short write (a full disk) or a failed close leaves an incomplete copy.
    if (fclose(StagedFile) != 0) written = 0;
    StagedFile = nullptr;
    ReleasePayload();
    if (!written) InstallState.FailureCode = FailureStagedCreate;
  }
  return 1;
}
