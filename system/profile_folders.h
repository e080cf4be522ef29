// The folders that come from a user's profile: the Start menu's "Programs" folder, the
// temporary folder, and the profile folders of the machine's accounts.
//
// Every path the programs use, and every path the install log records, is an 8-bit text
// in the ANSI code page (1252 on a German Windows). A profile below a name outside it
// (ł, ş, ř, Cyrillic) cannot be spelt there: the "A" calls hand back a best-fit or '?'
// spelling that names no folder. On the NT family these folders are therefore read
// with the "W" calls (looked up at run time, as NT 4's own exports) and converted
// without best fit; where a letter would be lost, the folder's short (8.3) path is
// taken, whose letters every code page has. Where that too cannot be spelt (a volume
// that makes no short names), the folder is unreachable and the caller is told: no
// cut or '?' path is ever handed out. Windows 95/98 keep the "A" calls: there the code
// page is the system's own.
#pragma once

enum { ProgramsCapacity = 260 };

// The "Programs" shell folder of the user (ProgramsCapacity bytes); 1 when it was read
// and can be spelt.
int ReadProgramsFolder(char* programs);
// Why ReadProgramsFolder, called last, gave 0: 1 when the account has no such folder (no
// value, or one that cannot be spelt), 0 when a call failed on the way.
int ProgramsFolderAbsent();
// The "Common Programs" shell folder of all users (ProgramsCapacity bytes); 1 when read.
int ReadCommonProgramsFolder(char* programs);
// The temporary folder, with its final backslash; 1 when read and it can be spelt.
int ReadTempFolder(char* temp, unsigned capacity);
// The profile folder of the index-th account listed under ProfileList (NT family only),
// without a final backslash: `folder` spelt as the "Programs" folder would be, and
// `shortFolder` its short path (either "" when it cannot be spelt). 0 past the last one.
int ReadProfileFolder(int index, char* folder, char* shortFolder, unsigned capacity);
