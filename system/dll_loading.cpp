#include "system/dll_loading.h"

#include <string.h>

#include "base/bounded_text.h"

namespace {

// The DLLs that Windows' own DLLs (and Wine's) load by name during a run: the shell's
// link object, the folder dialog, message boxes, themes, COM, the registry's security.
// Where SetDefaultDllDirectories is missing they are loaded first from the system folder,
// so that a later load by name finds them loaded. One that a Windows lacks is skipped.
const char* const PreloadedDlls[] = {
    "uxtheme.dll", "userenv.dll", "setupapi.dll", "apphelp.dll", "propsys.dll", "dwmapi.dll",
    "cryptbase.dll", "oleacc.dll", "clbcatq.dll", "ntmarta.dll", "version.dll", "comctl32.dll",
};

const DWORD LoadLibrarySearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

typedef BOOL(WINAPI* SetDefaultDllDirectoriesCall)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryCall)(LPCSTR);
typedef void(WINAPI* InitCommonControlsCall)(void);
typedef DWORD(WINAPI* VersionInfoSizeCall)(LPCSTR, LPDWORD);
typedef BOOL(WINAPI* VersionInfoCall)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* VerQueryValueCall)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// Windows Vista (NT 6.0): its shell link object fails once SetDefaultDllDirectories ran.
int IsVista() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 6 &&
         version.dwMinorVersion == 0;
}

FARPROC VersionFunction(const char* name) {
  static HMODULE versionDll = nullptr;
  static int tried = 0;
  if (!tried) {
    tried = 1;
    versionDll = LoadSystemDll("version.dll");
  }
  return versionDll ? GetProcAddress(versionDll, name) : nullptr;
}

}  // namespace

HMODULE LoadSystemDll(const char* name) {
  char folder[MAX_PATH], path[MAX_PATH + 20];
  UINT length = GetSystemDirectoryA(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return nullptr;
  const char* separator = folder[length - 1] == '\\' ? "" : "\\";
  // A DLL that is not there is not asked for: LoadLibraryA would search no further for
  // a full path, but Windows 95 may ask for a missing file with a box of its own.
  if (!FormatBounded(path, sizeof path, "%s%s%s", folder, separator, name) ||
      GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
    return nullptr;
  return LoadLibraryA(path);
}

void LimitDllSearchToSystemFolder() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  SetDefaultDllDirectoriesCall setDefault =
      (SetDefaultDllDirectoriesCall)(void*)GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (setDefault && !IsVista() && setDefault(LoadLibrarySearchSystem32)) return;
  SetDllDirectoryCall setDirectory = (SetDllDirectoryCall)(void*)GetProcAddress(kernel, "SetDllDirectoryA");
  if (setDirectory) setDirectory("");
  for (const char* name : PreloadedDlls) LoadSystemDll(name);
}

int InitSystemCommonControls() {
  HMODULE comctl = LoadSystemDll("comctl32.dll");
  InitCommonControlsCall init = comctl ? (InitCommonControlsCall)(void*)GetProcAddress(comctl, "InitCommonControls") : nullptr;
  if (!init) return 0;
  init();
  return 1;
}

DWORD SystemFileVersionInfoSize(const char* file) {
  VersionInfoSizeCall call = (VersionInfoSizeCall)(void*)VersionFunction("GetFileVersionInfoSizeA");
  DWORD ignored = 0;
  return call ? call(file, &ignored) : 0;
}

int SystemFileVersionInfo(const char* file, DWORD size, void* data) {
  VersionInfoCall call = (VersionInfoCall)(void*)VersionFunction("GetFileVersionInfoA");
  return call && call(file, 0, size, data);
}

int SystemVerQueryValue(const void* block, const char* query, void** value, UINT* length) {
  VerQueryValueCall call = (VerQueryValueCall)(void*)VersionFunction("VerQueryValueA");
  return call && call(block, query, value, length);
}

void* LoadedFunction(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  return handle ? (void*)GetProcAddress(handle, name) : nullptr;
}
