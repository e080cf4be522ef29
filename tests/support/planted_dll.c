// A DLL planted where Windows looks first (beside setup.exe, in the temporary folder)
// under the name of version.dll or comctl32.dll: when a program loads it, it notes so in
// C:\planted-dll-ran.txt and passes the calls on to the system folder's real DLL.
#include <windows.h>

static void Note(HINSTANCE self) {
  char line[2 * MAX_PATH + 8] = "";
  DWORD length = GetModuleFileNameA(self, line, MAX_PATH), written = 0;
  lstrcatA(line + length, " in ");
  GetModuleFileNameA(NULL, line + lstrlenA(line), MAX_PATH);
  lstrcatA(line, "\r\n");
  HANDLE note = CreateFileA("C:\\planted-dll-ran.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, 0, NULL);
  SetFilePointer(note, 0, NULL, FILE_END);
  WriteFile(note, line, lstrlenA(line), &written, NULL);
  CloseHandle(note);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) Note(self);
  return TRUE;
}

static FARPROC Real(const char* dll, const char* name) {
  char path[MAX_PATH + 20];
  GetSystemDirectoryA(path, MAX_PATH);
  lstrcatA(lstrcatA(path, "\\"), dll);
  return GetProcAddress(LoadLibraryA(path), name);
}

__declspec(dllexport) void WINAPI InitCommonControls(void) { ((void(WINAPI*)(void))Real("comctl32.dll", __func__))(); }
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
  return ((DWORD(WINAPI*)(LPCSTR, LPDWORD))Real("version.dll", __func__))(file, handle);
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
  return ((BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID))Real("version.dll", __func__))(file, handle, size, data);
}
__declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR query, LPVOID* value, PUINT length) {
  return ((BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT))Real("version.dll", __func__))(block, query, value, length);
}
