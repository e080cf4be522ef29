// The one reader of install logs: forwards from the first line, or backwards from the
// last (the rollback's way, through LogFile and PendingLogLines), each line (at most 499
// characters) handed as a record split into kind and argument. Portable but for the
// backward reading of LogFile.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include "system/log_records.h"

// A record carried over from an earlier installation ("EA <its line>") is handed as the
// kind and argument of that line, with Carried set.
struct LogRecord {
  int Kind;
  int Carried;
  char Line[LogLineCapacity];      // the line without its line end
  char Argument[LogLineCapacity];  // what follows the code and its blank
};

// Reading forwards: null when the log cannot be opened; 0 at its end or on a read error;
// the close gives 1 when no read error came before the end.
FILE* OpenLogForReading(const char* path);
int ReadNextLogRecord(FILE* log, LogRecord* record);
int CloseLogRead(FILE* log);
// The kinds of the last line and of the one before it (RecordCarried for a carried line,
// RecordUnknown when there is none); 0 when the log has no line.
int LastLogKinds(FILE* log, int* last, int* previous = nullptr);
// 1 when a log's last two kinds mark a run that ended well: PN closes it, no FA before it.
int EndsFinishedRun(int last, int previous);

// Opens LogPath backwards into LogFile, its line count in PendingLogLines; 0 when it
// cannot be read. ReadPendingLogLine fetches line PendingLogLines (with its line end)
// and counts it off; ReadPendingLogRecord splits it too.
int OpenLogForUndo();
void CloseLogAfterUndo();
int ReadPendingLogLine(char* line);
int ReadPendingLogRecord(LogRecord* record);

// Counts an open log's lines and keeps them for ReadLogLine, which fetches line *pending
// into line (500 bytes) and counts it off: from the lines kept, else by a scan.
int CountLogLines(FILE* log);
int ReadLogLine(FILE* log, int* pending, char* line);
// Cuts a line: the code is its first two characters; the argument (500 bytes) follows
// the code and its blank, without the line end.
void CutLogLine(const char* line, char* code, char* argument);
// Decodes an ID argument: gives the level count, and stores up to `capacity` flags.
int DecodeLevelRecord(const char* argument, int* flags, int capacity, int* flagCount);
// Decodes a CS argument: 1 with the CRC-32 and the entry's name when it has that shape.
int DecodeChecksumRecord(const char* argument, uint32_t* crc, const char** name);
