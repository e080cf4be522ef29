// The one reader of install logs, for the installer, the uninstaller and the fuzz target
// alike: forwards from the first line, or backwards from the last (the rollback's way,
// through LogFile and PendingLogLines), each line handed as a record already split into
// kind and argument. Portable.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "system/log_records.h"

// One line as read (at most 499 characters): the kind and argument of the record it
// holds. A record carried over from an earlier installation ("EA <its line>") is handed
// as that line's kind and argument, with Carried set.
struct LogRecord {
  int Kind;
  int Carried;
  char Line[LogLineCapacity];      // the line without its line end
  char Argument[LogLineCapacity];  // what follows the code and its blank
};

// Opens a log for reading forwards; null when it cannot be read.
FILE* OpenLogForReading(const char* path);
// The next line of a log opened so; 0 at its end or on a read error.
int ReadNextLogRecord(FILE* log, LogRecord* record);
// Closes it; 1 when no read error came before the end.
int CloseLogRead(FILE* log);
// The kinds of a log's last line and of the line before it (RecordCarried for a carried
// line; RecordUnknown when there is none); 0 when the log has no line.
int LastLogKinds(FILE* log, int* last, int* previous = nullptr);
// 1 when the kinds of a log's last two lines mark a run that ended well: PN closes the
// log, and no FA record before it says that the run failed.
int EndsFinishedRun(int last, int previous);

// Opens the log at LogPath for reading backwards into LogFile and counts its lines into
// PendingLogLines; 0 when it cannot be read.
int OpenLogForUndo();
void CloseLogAfterUndo();
// Fetches line number PendingLogLines of LogFile (with its line end) and counts it off.
int ReadPendingLogLine(char* line);
// The same, split into a record.
int ReadPendingLogRecord(LogRecord* record);

// Lines of an open log (read with at most 499 characters each); also keeps them for
// ReadLogLine.
int CountLogLines(FILE* log);
// Fetches line number *pending of `log` into line (500 bytes) and counts it off: from
// the lines kept when the log was counted last, else by a scan from its start.
int ReadLogLine(FILE* log, int* pending, char* line);
// Cuts a line: the code is its first two characters; the argument (500 bytes) follows
// the code and its blank, without the line end.
void CutLogLine(const char* line, char* code, char* argument);
// Decodes an ID argument: gives the level count, and stores up to `capacity` flags.
int DecodeLevelRecord(const char* argument, int* flags, int capacity, int* flagCount);
// Decodes a CS argument: 1 with the CRC-32 and the entry's name when it has that shape.
int DecodeChecksumRecord(const char* argument, uint32_t* crc, const char** name);
