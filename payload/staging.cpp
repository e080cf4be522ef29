#include "payload/staging.h"

#include <windows.h>
#include <string.h>

#include "resources/resource_ids.h"
#include "shell/bounded_text.h"
#include "shell/install_state.h"
#include "system/install_log.h"

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

void ReleasePayload() {
  if (PayloadHandle) FreeResource(PayloadHandle);
  PayloadHandle = nullptr;
  StageCursor = nullptr;
}

}  // namespace

int BeginStaging() {
  StagedFile = nullptr;
  PayloadHandle = nullptr;
  int levels = WalkTargetLevels();

  if (!FormatBounded(InstallState.LogPath, PathCapacity, "%sdeinst.log", InstallState.TargetFolder) ||
      !(InstallState.LogFile = fopen(InstallState.LogPath, "wt"))) {
    InstallState.FailureCode = FailureLogCreate;
    return 0;
  }
  InstallState.LogOpened = 1;
  AppendLevelRecord(InstallState.CreatedDirFlags, levels);

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
  if (!FormatBounded(InstallState.StagedPayloadPath, PathCapacity, "%s%s", InstallState.TargetFolder, "temp.un_") ||
      !(StagedFile = fopen(InstallState.StagedPayloadPath, "wb"))) {
    ReleasePayload();
    InstallState.FailureCode = FailureStagedCreate;
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
