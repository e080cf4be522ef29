// Fails call number n of the file, registry, shell-link and profile functions and calloc
// the programs call, as Windows and the C runtime fail them: failure value and last error. The import tables of the test
// program (linked with the programs' code) and of msvcrt.dll (whose streams read and write
// through kernel32) point at counting wrappers: the programs' code runs as shipped.
#pragma once

void InstallFaultInjector();          // points the import tables at the wrappers
void StartCountingCalls(long failAt);  // call number failAt fails (none when 0)
long StopCountingCalls();             // the number of calls made
const char* FailedCallName();         // "" when none failed
