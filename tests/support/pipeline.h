// Running the install schedule's steps directly, and archives built byte by byte.
#pragma once
#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

// Runs the steps of ticks from..to as the schedule does.
void RunTicks(int from, int to);
// The log as it stands (the open stream is flushed first).
std::string LogText();
void CloseLog();
// An archive of the given entries exactly as listed, names unchecked.
Bytes RawArchive(const std::vector<std::pair<std::string, Bytes>>& entries);
// A stream for writing whose writes the system refuses (its file opened for reading
// only): every record written to it fails as on a full or failing disk.
FILE* OpenUnwritable(const std::string& path);
