#include "system/profile_folders.h"

#include <windows.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "system/dll_loading.h"

// Windows 2000's flag; NT 4 refuses it, and the reading back below stands in for it there.
#ifndef WC_NO_BEST_FIT_CHARS
#define WC_NO_BEST_FIT_CHARS 0x400
#endif

namespace {

const char ShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char ProfileListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

enum { WideCapacity = 1024, KeyNameCapacity = 200 };

typedef LONG(WINAPI* QueryValueWideCall)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
typedef DWORD(WINAPI* ExpandWideCall)(LPCWSTR, LPWSTR, DWORD);
typedef DWORD(WINAPI* TempPathWideCall)(DWORD, LPWSTR);
typedef DWORD(WINAPI* ShortPathWideCall)(LPCWSTR, LPWSTR, DWORD);

int UnicodeCallsUsed() { return CurrentPlatformKind() == PlatformNt; }

// `wide` in the ANSI code page, whole and every letter as it is; 1 when it could be spelt.
int SpellExactly(const WCHAR* wide, char* text, unsigned capacity) {
  BOOL lost = FALSE;
  int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, text, (int)capacity, nullptr, &lost);
  if (length == 0 && GetLastError() == ERROR_INVALID_FLAGS)
    length = WideCharToMultiByte(CP_ACP, 0, wide, -1, text, (int)capacity, nullptr, &lost);
  if (length == 0 || lost) return 0;
  // A best fit ("l" for "ł") reads back as another name.
  WCHAR back[WideCapacity];
  if (!MultiByteToWideChar(CP_ACP, 0, text, -1, back, WideCapacity)) return 0;
  for (int i = 0;; ++i) {
    if (back[i] != wide[i]) return 0;
    if (!wide[i]) return 1;
  }
}

// The short (8.3) path of the existing `wide`, spelt; 0 when there is none or it cannot be.
int SpellShort(const WCHAR* wide, char* folder, unsigned capacity) {
  ShortPathWideCall shortPath = (ShortPathWideCall)LoadedFunction("kernel32.dll", "GetShortPathNameW");
  WCHAR shortened[WideCapacity];
  DWORD length = shortPath ? shortPath(wide, shortened, WideCapacity) : 0;
  return length > 0 && length < WideCapacity && SpellExactly(shortened, folder, capacity);
}

// `wide` as it is where every letter can be spelt, else its short path; 0 when neither.
int SpellFolder(const WCHAR* wide, char* folder, unsigned capacity) {
  if (SpellExactly(wide, folder, capacity) || SpellShort(wide, folder, capacity)) return 1;
  folder[0] = 0;
  return 0;
}

// The last folder value read was not there (its key or the value), or named a folder
// that cannot be spelt: the account has no such folder to reach, and no call failed.
int ValueAbsent;

// 1 for a registry call's success; a key or value that is not there is noted as absent.
int Opened(LONG result) {
  if (result == ERROR_FILE_NOT_FOUND) ValueAbsent = 1;
  return result == ERROR_SUCCESS;
}

// The string value `name` of root\keyName with the "W" call, expanded; 0 when it cannot be
// read, is no string, or does not fit; -1 when the "W" calls are not there.
int ReadWideValue(HKEY root, const char* keyName, const char* name, WCHAR* expanded) {
  QueryValueWideCall query = (QueryValueWideCall)LoadedFunction("advapi32.dll", "RegQueryValueExW");
  ExpandWideCall expand = (ExpandWideCall)LoadedFunction("kernel32.dll", "ExpandEnvironmentStringsW");
  WCHAR wideName[KeyNameCapacity], value[WideCapacity];
  if (!query || !expand) return -1;
  if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, KeyNameCapacity)) return 0;
  HKEY key;
  if (!Opened(RegOpenKeyExA(root, keyName, 0, KEY_QUERY_VALUE, &key))) return 0;
  DWORD size = (WideCapacity - 1) * sizeof(WCHAR), type = 0;
  LONG read = query(key, wideName, nullptr, &type, (BYTE*)value, &size);
  RegCloseKey(key);
  if (!Opened(read) || (type != REG_SZ && type != REG_EXPAND_SZ)) return 0;
  value[size / sizeof(WCHAR) < WideCapacity ? size / sizeof(WCHAR) : WideCapacity - 1] = 0;
  if (type == REG_SZ) {
    memcpy(expanded, value, sizeof value);
    return 1;
  }
  // "%USERPROFILE%\..." names a folder only once expanded; a result that does not fit is refused.
  DWORD length = expand(value, expanded, WideCapacity);
  return length > 0 && length <= WideCapacity;
}

// The folder named by the string value `name` of root\keyName (ProgramsCapacity bytes).
int ReadFolderValue(HKEY root, const char* keyName, const char* name, char* folder) {
  WCHAR wide[WideCapacity];
  ValueAbsent = 0;
  int read = UnicodeCallsUsed() ? ReadWideValue(root, keyName, name, wide) : -1;
  if (read >= 0) {
    if (read && SpellFolder(wide, folder, ProgramsCapacity)) return 1;
    if (read) ValueAbsent = 1;  // there, but no spelling reaches it
    return 0;
  }
  HKEY key;
  if (!Opened(RegOpenKeyExA(root, keyName, 0, KEY_QUERY_VALUE, &key))) return 0;
  char value[ProgramsCapacity];
  DWORD size = ProgramsCapacity - 1, type = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, &type, (BYTE*)value, &size);
  RegCloseKey(key);
  if (!Opened(result) || (type != REG_SZ && type != REG_EXPAND_SZ)) return 0;
  value[size < ProgramsCapacity ? size : ProgramsCapacity - 1] = 0;
  if (type == REG_SZ) return CopyBounded(folder, ProgramsCapacity, value);
  DWORD expanded = ExpandEnvironmentStringsA(value, folder, ProgramsCapacity);
  return expanded > 0 && expanded <= ProgramsCapacity;
}

}  // namespace

int ReadProgramsFolder(char* programs) {
  return ReadFolderValue(HKEY_CURRENT_USER, ShellFoldersKey, "Programs", programs);
}

int ProgramsFolderAbsent() { return ValueAbsent; }

int ReadCommonProgramsFolder(char* programs) {
  return ReadFolderValue(HKEY_LOCAL_MACHINE, ShellFoldersKey, "Common Programs", programs);
}

int ReadTempFolder(char* temp, unsigned capacity) {
  TempPathWideCall tempPath = UnicodeCallsUsed() ? (TempPathWideCall)LoadedFunction("kernel32.dll", "GetTempPathW") : nullptr;
  if (!tempPath) {
    DWORD length = GetTempPathA(capacity, temp);
    return length > 0 && length < capacity;
  }
  WCHAR wide[WideCapacity];
  DWORD length = tempPath(WideCapacity, wide);
  return length > 0 && length < WideCapacity && SpellFolder(wide, temp, capacity);
}

int ReadProfileFolder(int index, char* folder, char* shortFolder, unsigned capacity) {
  char sid[KeyNameCapacity], keyName[KeyNameCapacity * 2];
  HKEY key;
  folder[0] = shortFolder[0] = 0;
  if (!UnicodeCallsUsed() || RegOpenKeyExA(HKEY_LOCAL_MACHINE, ProfileListKey, 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS)
    return 0;
  DWORD size = sizeof sid;
  LONG listed = RegEnumKeyExA(key, (DWORD)index, sid, &size, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  if (listed != ERROR_SUCCESS) return 0;
  WCHAR wide[WideCapacity];
  if (FormatBounded(keyName, sizeof keyName, "%s\\%s", ProfileListKey, sid) &&
      ReadWideValue(HKEY_LOCAL_MACHINE, keyName, "ProfileImagePath", wide) > 0) {
    if (!SpellFolder(wide, folder, capacity)) folder[0] = 0;
    if (!SpellShort(wide, shortFolder, capacity)) shortFolder[0] = 0;
  }
  return 1;
}
