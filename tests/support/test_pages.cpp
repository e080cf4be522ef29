// Resource module for the tests: the pages and a payload, nothing to run.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
