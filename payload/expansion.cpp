#include "payload/expansion.h"

#include <windows.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "base/schedule_ticks.h"
#include "payload/szdd.h"
#include "system/install_log.h"
#include "system/kept_aside.h"
#include "system/restart_removal.h"

namespace {

int ExpandSource = -1;
FILE* ExpandedFile;
unsigned ExpandRemaining;

// Closes both files; 1 when all that was written reached "temp.uni".
int CloseExpansionFiles() {
  LzClose(ExpandSource);
  ExpandSource = -1;
  int closed = ExpandedFile && CloseWrittenFile(ExpandedFile);
  ExpandedFile = nullptr;
  return closed;
}

}  // namespace

int BeginExpansion() {
  ExpandSource = -1;
  ExpandedFile = nullptr;
  if (!FormatBounded(InstallState.ExpandedPayloadPath, PathCapacity, "%s%s", InstallState.TargetFolder, "temp.uni"))
    return FailWith(FailureExpandedCreate);
  int source = LzOpenFile(InstallState.StagedPayloadPath);
  if (source < 0) return FailWith(FailureLzOpen);
  // NC goes before the temporary file exists: a killed run's log names it too.
  DWORD error = 0;
  if (KeepFileAside(InstallState.ExpandedPayloadPath, 0) && AppendLogRecord(RecordNewFile, "temp.uni"))
    ExpandedFile = CreateNewFile(InstallState.ExpandedPayloadPath, "wb", &error);
  if (!ExpandedFile) {
    LzClose(source);
    if (InstallState.FailureCode == FailureNone) InstallState.FailureCode = FailureExpandedCreate;
    return 0;
  }
  ExpandSource = source;
  InstallState.ExpandedPayloadPresent = 1;
  InstallState.ExpandedSize = (unsigned)LzSeek(ExpandSource, 0, LzSeekEnd);
  ExpandRemaining = InstallState.ExpandedSize;
  LzSeek(ExpandSource, 0, LzSeekStart);
  return 1;
}

int ExpandSlice(int tick) {
  if (ExpandSource < 0) return 1;  // expansion did not begin, or has ended
  int last = tick == ScheduleTable[StageExpansion].Last;
  unsigned slice = last ? ExpandRemaining : InstallState.ExpandedSize / StageSlices(StageExpansion);
  unsigned left = slice;
  do {
    unsigned chunk = left < (unsigned)CopyBufferSize ? left : (unsigned)CopyBufferSize;
    int read = LzRead(ExpandSource, InstallState.CopyBuffer, (int)chunk) == (int)chunk;
    // A short write (a full disk) would leave an incomplete archive.
    if (!read || fwrite(InstallState.CopyBuffer, 1, chunk, ExpandedFile) != chunk) {
      CloseExpansionFiles();
      return FailWith(read ? FailureExpandedCreate : FailureLzRead);
    }
    left -= chunk;
  } while (left > 0);
  ExpandRemaining -= slice;
  if (tick < ScheduleTable[StageExpansion].Last) return 1;

  if (!CloseExpansionFiles()) return FailWith(FailureExpandedCreate);
  // A staged copy that cannot go now goes at the next restart; the run is not held up.
  if (!DeleteNowOrAtRestart(InstallState.StagedPayloadPath)) return FailWith(FailureStagedCreate);
  InstallState.StagedPayloadPresent = 0;
  return 1;
}
