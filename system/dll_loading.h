// DLLs from the system folder only. Windows looks for a DLL that a program names
// without a path in the program's own folder first, and a setup program is run from
// wherever it was downloaded to, where a web page may have left a "version.dll" of its
// own: so neither program imports a DLL that is not one of Windows' KnownDLLs (those
// always come from the system folder), loads version.dll and comctl32.dll by their full
// path in the system folder, and, first of all, takes its own folder and the working
// folder out of the search for the DLLs Windows' own DLLs load later.
#pragma once
#include <windows.h>

// The first thing each program does: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
// where kernel32 has it (but on Vista, where it breaks the shell's link object); else
// SetDllDirectoryA("") where kernel32 has that, and the DLLs that Windows' own DLLs load
// by name loaded first from the system folder. Windows 95 to 2000 have neither call:
// there only the preloading helps.
void LimitDllSearchToSystemFolder();

// A function of a DLL this program has loaded already, looked up at run time (a call
// that older Windows lack); null when the DLL or the function is not there.
void* LoadedFunction(const char* module, const char* name);

// Loads a DLL by its full path in the system folder; null when it is not there.
HMODULE LoadSystemDll(const char* name);

// comctl32's InitCommonControls, from the system folder: registers the progress bar's
// class ("msctls_progress32") for the dialogs. 0 when comctl32.dll or the function is
// missing: start-up then fails (failure code 24), as no progress page could show.
int InitSystemCommonControls();

// version.dll's GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA, from
// the system folder. Without version.dll (or one of the functions) each answers 0, as
// for a file without version information.
DWORD SystemFileVersionInfoSize(const char* file);
int SystemFileVersionInfo(const char* file, DWORD size, void* data);
int SystemVerQueryValue(const void* block, const char* query, void** value, UINT* length);
