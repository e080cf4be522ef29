#include "system/programs_folder.h"

#include <windows.h>

#include "base/bounded_text.h"

namespace {

const char ShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

}  // namespace

int ReadProgramsFolder(char* programs) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, ShellFoldersKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
  char value[ProgramsCapacity];
  DWORD size = ProgramsCapacity - 1, type = 0;
  LONG read = RegQueryValueExA(key, "Programs", nullptr, &type, (BYTE*)value, &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return 0;
  value[size < ProgramsCapacity ? size : ProgramsCapacity - 1] = 0;
  if (type == REG_SZ) return CopyBounded(programs, ProgramsCapacity, value);
  // "%USERPROFILE%\..." names a folder only once expanded; a result that does not fit is refused.
  DWORD expanded = ExpandEnvironmentStringsA(value, programs, ProgramsCapacity);
  return expanded > 0 && expanded <= ProgramsCapacity;
}
