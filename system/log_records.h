// The kinds of record an install log holds, in one table (log_records.cpp): each kind's
// two-letter code (the log's bytes: a code never changes), the places the trust rule lets
// its argument name, what undoing it does, what it kept aside, and how a later
// installation carries it over. A new kind is one enum value and one row. Portable.
#pragma once

enum { LogLineCapacity = 500 };

// NC SD CI CL PG RK KR KA PI EA CS PN FA ID, and any other code.
enum LogRecordKind {
  RecordNewFile, RecordEntryFolder, RecordMenuFolder, RecordMenuLink, RecordGroup, RecordUninstallKey, RecordKeyAside,
  RecordKeptAside, RecordEarlierFolder, RecordCarried, RecordChecksum, RecordEnd, RecordFailure, RecordLevels,
  RecordUnknown, RecordKinds
};

// Where the trust rule (record_trust.cpp) lets a record's argument point.
enum RecordTrust {
  TrustNever, TrustAlways, TrustEntryName, TrustBelowTarget, TrustMenuFolder, TrustBelowMenu, TrustBelowEither,
  TrustUninstallKey, TrustGroup, TrustOtherInstallation
};
// What undoing a trusted record does (rollback.cpp).
enum RecordUndo {
  UndoNothing, UndoDeleteEntry, UndoRemoveFolder, UndoDeleteLink, UndoDeleteGroup, UndoRemoveKey, UndoRestoreKey,
  UndoRestoreAside, UndoNoteEarlierFolder, UndoMergeLevels
};
// What a record kept aside, for the drop after a finished run (kept_aside.cpp) and the
// check for files in use (files_in_use.cpp).
enum RecordAside { AsideNone, AsideFile, AsideKey };
// How a later installation carries the record into its own log (staging.cpp): as
// "EA <the whole line>" when it fits a line; already carried, as "EA <its argument>";
// or not at all (the end marker: the carrying log has its own).
enum RecordCarry { CarryLine, CarryArgument, CarryNot };

struct LogRecordKindRow {
  LogRecordKind Kind;
  char Code[3];
  RecordTrust Trust;
  RecordUndo Undo;
  RecordAside Aside;
  RecordCarry Carry;
};

// The row of a kind; RecordUnknown's (refused, undoes nothing) for a kind out of range.
const LogRecordKindRow& LogRecordKindOf(int kind);
// The kind a code (the first two characters of a line) names; RecordUnknown when none.
int LogRecordKindOfCode(const char* code);
