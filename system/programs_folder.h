// The user's "Programs" shell folder, where the Start-menu folder and its shortcuts lie.
#pragma once

enum { ProgramsCapacity = 260 };

// The "Programs" shell folder of the user (ProgramsCapacity bytes); 1 when it was read.
int ReadProgramsFolder(char* programs);
