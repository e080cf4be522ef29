// Undoing an installation from its log, last record first. Every record passes the one
// trust rule (record_trust.h) before anything is done for it.
#pragma once

int RollBackInstallation();
int ResetScreenSaver();
int RemoveIniEntry(const char* argument);

// Undoes the records of the open LogFile from line PendingLogLines back to the first.
// A run's own records are always undone; the records it carried over from the earlier
// installation it replaced (EA) only when earlierToo is 1, as an uninstall does, which
// also deletes a copy a finished run's KA kept aside that is still there instead of
// putting it back. Gives 1 when the first line was reached, 0 on an early stop. The ID
// records' level counts and flags are merged into levelCount and levelFlags
// (CreatedDirCapacity entries). What cannot be removed now is left for the next restart.
// A shortcut record while this account's Start menu cannot be read stops a rollback;
// an uninstall (earlierToo 1) passes over one the trust rule refuses and notes whether
// it stays (UndoneLogLeftShortcuts).
int UndoLogRecords(int earlierToo, int* levelCount, int* levelFlags);
// Removes the levels of TargetFolder that levelFlags marks as created, deepest first.
void RemoveCreatedLevels(int levelCount, const int* levelFlags);
// 1 when the undone log had kept an earlier installation's log aside.
int UndoneLogKeptItsPredecessor();
// 1 when a shortcut or Start-menu folder the undone log names is still there because the
// trust rule could not tell it as this installation's (another account's Start menu).
int UndoneLogLeftShortcuts();
// The folder of the installation in another folder whose shortcuts and entry the undone
// log's run took over (its PI record); "" when there was none.
const char* EarlierInstallationOfUndoneLog();

// Before a run begins: when TargetFolder holds the log of a run that never ended (its
// last record is not PN, or FA precedes it), undoes that run quietly, as its failure
// would have. Gives 1 when TargetFolder holds the log of a finished installation
// (LogPath names it); a log that another run holds open is left alone, with
// FailureCode 21; one that cannot be read fails the run with FailureCode 23.
int RecoverInterruptedRun();
