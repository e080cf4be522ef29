#include "system/uninstall_registration.h"

#include <windows.h>
#include <string.h>

#include "shell/bounded_text.h"
#include "shell/install_state.h"
#include "system/install_log.h"

namespace {

const char CurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

int OpenParentKey(HKEY* parent) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersionKey, 0, KEY_READ | KEY_WRITE, parent) == ERROR_SUCCESS;
}

int CreateSubkey(HKEY parent, const char* subkey, HKEY* key, DWORD* disposition) {
  return RegCreateKeyExA(parent, subkey, 0, (LPSTR) "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key,
                         disposition) == ERROR_SUCCESS;
}

// Opens the parent key and creates (or opens) the entry's subkey in it; on failure
// nothing stays open.
int OpenEntryKey(const char* subkey, HKEY* parent, HKEY* key, DWORD* disposition) {
  if (!OpenParentKey(parent)) return 0;
  if (CreateSubkey(*parent, subkey, key, disposition)) return 1;
  RegCloseKey(*parent);
  return 0;
}

void SetTextValue(HKEY key, const char* name, const char* text) {
  RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1);
}

}  // namespace

int RegisterUninstall(const char* keyName, const char* displayName, const char* uninstallerFile) {
  if (InstallState.PlatformKind == PlatformProgramManager) return 1;
  char uninstallString[PathCapacity];
  char subkey[PathCapacity];
  if (!FormatBounded(uninstallString, sizeof uninstallString, "%s%s", InstallState.TargetFolder, uninstallerFile) ||
      !FormatBounded(subkey, sizeof subkey, "Uninstall\\%s", keyName))
    return 0;
  HKEY parent, key;
  DWORD disposition = 0;
  if (!OpenEntryKey(subkey, &parent, &key, &disposition)) return 0;
  if (disposition == REG_OPENED_EXISTING_KEY) {
    // A key from an earlier installation starts afresh, without its old values.
    RegCloseKey(key);
    RegDeleteKeyA(parent, subkey);
    if (!CreateSubkey(parent, subkey, &key, &disposition)) {
      RegCloseKey(parent);
      return 0;
    }
    if (disposition != REG_CREATED_NEW_KEY) {
      RegCloseKey(key);
      RegCloseKey(parent);
      return 0;
    }
  }
  SetTextValue(key, "DisplayName", displayName);
  SetTextValue(key, "UninstallString", uninstallString);
  RegCloseKey(key);
  RegCloseKey(parent);
  AppendLogRecord("RK", keyName);
  return 1;
}

int RemoveUninstallKey(const char* keyName) {
  char subkey[PathCapacity];
  if (!FormatBounded(subkey, sizeof subkey, "Uninstall\\%s", keyName)) return 0;
  HKEY parent, key;
  DWORD disposition = 0;
  if (!OpenEntryKey(subkey, &parent, &key, &disposition)) return 0;
  RegCloseKey(key);
  RegDeleteKeyA(parent, subkey);
  RegCloseKey(parent);
  return 1;
}
