// Fails call number n of the file, registry, shell-link and profile functions that the
// installer and the uninstaller call, as Windows fails them: the function's failure
// value and a fitting last error. The import tables of the test program (linked with
// the programs' code) and of the C runtime (msvcrt.dll, whose streams read and write
// through kernel32) are pointed at counting wrappers, so the programs' code runs as
// shipped. Calls go through unchanged while nothing is counted.
#pragma once

// Points the import tables at the wrappers (once).
void InstallFaultInjector();
// Counts the calls from now on; call number failAt fails (none when 0).
void StartCountingCalls(long failAt);
// Stops counting; gives the number of calls made.
long StopCountingCalls();
// The function whose call failed ("" when none did).
const char* FailedCallName();
