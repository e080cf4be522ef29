// Start-up of setup.exe: fills the installer state before any page shows.
#pragma once

// Start-up: platform, payload and its checksum, Windows folder, default target. 1
// when ready.
int InitInstallState();
// Default TargetFolder from a "ProgramFilesDir" text; 0 when it would not fit.
int FormDefaultTargetFolder(const char* programFilesDir);
