#include "system/log_records.h"

#include <string.h>

namespace {

// Each row in its kind's place, with the argument its writer gives.
constexpr LogRecordKindRow Rows[] = {
    {RecordNewFile, "NC", TrustEntryName, UndoDeleteEntry, AsideNone, CarryLine},  // entry name below TargetFolder
    {RecordEntryFolder, "SD", TrustBelowTarget, UndoRemoveFolder, AsideNone, CarryLine},  // deepest folder made
    {RecordMenuFolder, "CI", TrustMenuFolder, UndoRemoveFolder, AsideNone, CarryLine},    // Start-menu folder
    {RecordMenuLink, "CL", TrustBelowMenu, UndoDeleteLink, AsideNone, CarryLine},         // shortcut path
    {RecordGroup, "PG", TrustGroup, UndoDeleteGroup, AsideNone, CarryLine},               // Program Manager group
    {RecordUninstallKey, "RK", TrustUninstallKey, UndoRemoveKey, AsideNone, CarryLine},   // uninstall key name
    {RecordKeyAside, "KR", TrustUninstallKey, UndoRestoreKey, AsideKey, CarryLine},       // key name, kept aside
    {RecordKeptAside, "KA", TrustBelowEither, UndoRestoreAside, AsideFile, CarryLine},    // path moved to "~alt"
    {RecordEarlierFolder, "PI", TrustOtherInstallation, UndoNoteEarlierFolder, AsideNone, CarryLine},  // other folder
    {RecordCarried, "EA", TrustNever, UndoNothing, AsideNone, CarryArgument},  // a line of the replaced installation
    {RecordChecksum, "CS", TrustNever, UndoNothing, AsideNone, CarryLine},     // 8 hex digits (CRC-32), entry name
    {RecordEnd, "PN", TrustAlways, UndoNothing, AsideNone, CarryNot},          // product name
    {RecordFailure, "FA", TrustNever, UndoNothing, AsideNone, CarryLine},      // failure code
    {RecordLevels, "ID", TrustAlways, UndoMergeLevels, AsideNone, CarryLine},  // level count, 1/0 for each made
    {RecordUnknown, "", TrustNever, UndoNothing, AsideNone, CarryLine},
};

constexpr int RowsInOrder() {
  for (int kind = 0; kind < RecordKinds; ++kind)
    if (Rows[kind].Kind != kind) return 0;
  return 1;
}
static_assert(sizeof Rows / sizeof *Rows == RecordKinds && RowsInOrder(), "one row for each record kind, in order");

}  // namespace

const LogRecordKindRow& LogRecordKindOf(int kind) { return Rows[kind >= 0 && kind < RecordKinds ? kind : RecordUnknown]; }

int LogRecordKindOfCode(const char* code) {
  for (int kind = 0; kind < RecordUnknown; ++kind)
    if (!strcmp(code, Rows[kind].Code)) return kind;
  return RecordUnknown;
}
