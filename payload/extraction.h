// Extraction, ticks 61-95: every archive entry becomes a file in the target folder,
// one thirty-fourth of the data a tick, missing subfolders created on the way.
#pragma once

int BeginExtraction();
int ExtractSlice(int tick);
// Creates the missing folders of an entry's full output path; 1 when all exist.
int CreateEntryFolders(const char* path);
