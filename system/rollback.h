// Undoing an installation from its log, last record first.
#pragma once

int RollBackInstallation();
int ResetScreenSaver();
int RemoveIniEntry(const char* argument);

// Decides whether one record may be carried out; records it refuses are passed over.
typedef int (*LogRecordFilter)(const char* code, const char* argument);

// Undoes the records of the open LogFile from line PendingLogLines back to the first,
// each one `accept` lets through (all of them when it is null). Gives 1 when the first
// line was reached, 0 on an early stop; levelCount receives the ID record's level
// count, its flags go to CreatedDirFlags.
int UndoLogRecords(int* levelCount, LogRecordFilter accept);
// Removes the levels of TargetFolder that CreatedDirFlags marks as created, deepest first.
void RemoveCreatedLevels(int levelCount);
