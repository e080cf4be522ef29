// The rules for names the installer writes below a folder it owns: relative paths whose
// components Windows stores exactly as spelled, never a device, never a name Windows takes
// for another one. Portable: the packer and the fuzz targets use them too.
#pragma once
#include <stddef.h>

// Suffix of a file kept aside while a new one takes its name (".../x" -> ".../x~alt").
extern const char KeptAsideSuffix[];
// Suffix of an entry's file while it is written; it takes its own name once whole.
extern const char WritingSuffix[];
// Suffix a file in use takes while it waits to be removed at the next restart.
extern const char LeavingSuffix[];

// 1 when path is one or more storable components joined by single backslashes: none
// empty, "." or "..", with a control or reserved character, a final dot or blank, or a
// device's name.
int RelativePathIsSafe(const char* path);
// Windows' upper case of a code page 1252 byte.
unsigned char FoldCp1252(unsigned char c);
// 1 when Windows takes the two names for the same file (code page 1252 letter case).
int NamesEqualFolded(const char* a, const char* b);
