#include "system/log_records.h"

#include <string.h>

namespace {

// Each row in its kind's place; the argument each kind's writer gives follows the row.
constexpr LogRecordKindRow Rows[] = {
    // entry name below TargetFolder, as the archive holds it
    {RecordNewFile, "NC", TrustEntryName, UndoDeleteEntry, AsideNone, InUseEntry, CarryLine},
    // the full path of the deepest folder made for an entry
    {RecordEntryFolder, "SD", TrustBelowTarget, UndoRemoveFolder, AsideNone, InUseNone, CarryLine},
    // the full path of the Start menu's folder of the game
    {RecordMenuFolder, "CI", TrustMenuFolder, UndoRemoveFolder, AsideNone, InUseNone, CarryLine},
    // the full path of a shortcut
    {RecordMenuLink, "CL", TrustBelowMenu, UndoDeleteLink, AsideNone, InUseNone, CarryLine},
    // the Program Manager group's name
    {RecordGroup, "PG", TrustGroup, UndoDeleteGroup, AsideNone, InUseNone, CarryLine},
    // the uninstall key's name
    {RecordUninstallKey, "RK", TrustUninstallKey, UndoRemoveKey, AsideNone, InUseNone, CarryLine},
    // the name of the uninstall key kept aside
    {RecordKeyAside, "KR", TrustUninstallKey, UndoRestoreKey, AsideKey, InUseNone, CarryLine},
    // the full path of a file moved to "<path>~alt"
    {RecordKeptAside, "KA", TrustBelowEither, UndoRestoreAside, AsideFile, InUseAsideFile, CarryLine},
    // the folder, with its final backslash, of the installation taken over
    {RecordEarlierFolder, "PI", TrustOtherInstallation, UndoNoteEarlierFolder, AsideNone, InUseNone, CarryLine},
    // a whole line of the installation replaced
    {RecordCarried, "EA", TrustNever, UndoNothing, AsideNone, InUseNone, CarryArgument},
    // eight hex digits (an entry's CRC-32), a blank, the entry's name
    {RecordChecksum, "CS", TrustNever, UndoNothing, AsideNone, InUseNone, CarryLine},
    // the product's name
    {RecordEnd, "PN", TrustAlways, UndoNothing, AsideNone, InUseNone, CarryNot},
    // the failure code
    {RecordFailure, "FA", TrustNever, UndoNothing, AsideNone, InUseNone, CarryLine},
    // the level count of TargetFolder, then a flag for each level: 1 when made
    {RecordLevels, "ID", TrustAlways, UndoMergeLevels, AsideNone, InUseNone, CarryLine},
    {RecordUnknown, "", TrustNever, UndoNothing, AsideNone, InUseNone, CarryLine},
};

constexpr int RowsInOrder() {
  for (int kind = 0; kind < RecordKinds; ++kind)
    if (Rows[kind].Kind != kind) return 0;
  return 1;
}
static_assert(sizeof Rows / sizeof *Rows == RecordKinds && RowsInOrder(), "one row for each record kind, in order");

}  // namespace

const LogRecordKindRow& LogRecordKindOf(int kind) {
  return Rows[kind >= 0 && kind < RecordKinds ? kind : RecordUnknown];
}

int LogRecordKindOfCode(const char* code) {
  for (int kind = 0; kind < RecordUnknown; ++kind)
    if (!strcmp(code, Rows[kind].Code)) return kind;
  return RecordUnknown;
}
