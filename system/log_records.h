// The kinds of record an install log holds, in one table: each kind's two-letter code
// (the log's bytes: a code never changes), the places the trust rule lets its argument
// name, what undoing it does, what the drop of copies kept aside and the in-use check do
// with it, and how a later installation carries it over. A new kind is one enum value
// and one row. Portable: the fuzz target and the benchmarks read logs too.
#pragma once

enum { LogLineCapacity = 500 };

enum LogRecordKind {
  RecordNewFile,        // NC
  RecordEntryFolder,    // SD
  RecordMenuFolder,     // CI
  RecordMenuLink,       // CL
  RecordGroup,          // PG
  RecordUninstallKey,   // RK
  RecordKeyAside,       // KR
  RecordKeptAside,      // KA
  RecordEarlierFolder,  // PI
  RecordCarried,        // EA
  RecordChecksum,       // CS
  RecordEnd,            // PN
  RecordFailure,        // FA
  RecordLevels,         // ID
  RecordUnknown,        // any other code: nothing this installer writes
  RecordKinds
};

// Where the trust rule (record_trust.h) lets a record's argument point.
enum RecordTrust {
  TrustNever,             // refused whatever its argument
  TrustAlways,            // names nothing on the machine
  TrustEntryName,         // a safe relative name below TargetFolder, no link on the way
  TrustBelowTarget,       // a path below TargetFolder
  TrustMenuFolder,        // the Start menu's folder of the game, or a path below it
  TrustBelowMenu,         // a path below the Start menu's folder of the game
  TrustBelowEither,       // a path below TargetFolder or below the Start menu's folder
  TrustUninstallKey,      // the uninstall key's name
  TrustGroup,             // the Program Manager group's name
  TrustOtherInstallation  // an absolute folder other than TargetFolder
};

// What undoing a trusted record does (rollback.cpp).
enum RecordUndo {
  UndoNothing,
  UndoDeleteEntry,       // deletes TargetFolder + argument (or it under its writing name)
  UndoRemoveFolder,      // removes the folder when it is empty
  UndoDeleteLink,        // deletes the shortcut when it still points into TargetFolder
  UndoDeleteGroup,       // deletes the Program Manager group
  UndoRemoveKey,         // removes the uninstall key when it still names TargetFolder
  UndoRestoreKey,        // gives the key kept aside its name again
  UndoRestoreAside,      // moves the copy kept aside back
  UndoNoteEarlierFolder, // remembers the installation to give the shortcuts back to
  UndoMergeLevels        // merges the levels of TargetFolder that were made
};

// What dropping the copies a finished installation kept aside does (kept_aside.cpp),
// and what the in-use check looks at (files_in_use.cpp).
enum RecordAside { AsideNone, AsideFile, AsideKey };
enum RecordInUse { InUseNone, InUseEntry, InUseAsideFile };

// How a later installation carries a record of the one it replaces into its own log.
enum RecordCarry {
  CarryLine,      // "EA <the whole line>", when it fits a log line
  CarryArgument,  // already carried: "EA <its argument>", never carried twice
  CarryNot        // the end marker: the carrying log has its own
};

struct LogRecordKindRow {
  LogRecordKind Kind;
  char Code[3];
  RecordTrust Trust;
  RecordUndo Undo;
  RecordAside Aside;
  RecordInUse InUse;
  RecordCarry Carry;
};

// The row of a kind; RecordUnknown's (refused, undoes nothing) for a kind out of range.
const LogRecordKindRow& LogRecordKindOf(int kind);
// The kind a code (the first two characters of a line) names; RecordUnknown when none.
int LogRecordKindOfCode(const char* code);
