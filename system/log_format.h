// Reading the install log's lines: counting, fetching a line by number, cutting a line
// into code and argument, decoding the ID record. Portable: used by the installer, the
// uninstaller and the fuzz target alike.
#pragma once
#include <stddef.h>
#include <stdio.h>

enum { LogLineCapacity = 500 };

// Lines of an open log (read with at most 499 characters each); also keeps them for
// ReadLogLine.
int CountLogLines(FILE* log);
// Fetches line number *pending of `log` into line (500 bytes) and counts it off: from
// the lines kept when the log was counted last, else by a scan from its start.
int ReadLogLine(FILE* log, int* pending, char* line);
// Cuts a line: the code is its first two characters; the argument (500 bytes) follows
// the code and its blank, without the line end.
void CutLogLine(const char* line, char* code, char* argument);
// Cuts a line as CutLogLine does, and a record carried over from an earlier installation
// ("EA <its line>") into that line's code and argument; 1 when it was carried over.
int CutCarriedLogLine(const char* line, char* code, char* argument);
// The code of the last line of an open log (3 bytes), and of the line before it when
// `previous` is given ("" when there is none); 0 when the log has no line.
int LastLogLineCode(FILE* log, char* code, char* previous = nullptr);
// 1 when the codes of a log's last two lines mark a run that ended well: PN closes the
// log, and no FA record before it says that the run failed.
int EndsFinishedRun(const char* last, const char* previous);
// Decodes an ID argument: gives the level count, and stores up to `capacity` flags.
int DecodeLevelRecord(const char* argument, int* flags, int capacity, int* flagCount);
