#include "system/uninstall_registration.h"

#include <windows.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/entry_names.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "system/dll_loading.h"
#include "system/install_log.h"

namespace {

int OpenParentKey(HKEY* parent) {
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersionKey, 0, KEY_READ | KEY_WRITE, parent) == ERROR_SUCCESS;
}

int CreateSubkey(HKEY parent, const char* subkey, HKEY* key, DWORD* disposition) {
  return RegCreateKeyExA(parent, subkey, 0, (LPSTR) "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key,
                         disposition) == ERROR_SUCCESS;
}

int SetTextValue(HKEY key, const char* name, const char* text) {
  return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text) + 1) == ERROR_SUCCESS;
}

// The entry's subkey, or with KeptAsideSuffix that of its aside copy.
int EntrySubkey(char* subkey, const char* keyName, const char* suffix = "") {
  return FormatBounded(subkey, PathCapacity, "Uninstall\\%s%s", keyName, suffix);
}

int KeyExists(HKEY parent, const char* subkey) {
  HKEY key;
  if (RegOpenKeyExA(parent, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  RegCloseKey(key);
  return 1;
}

// Copies every value of one key into another; 0 when one cannot be copied whole.
int CopyKeyValues(HKEY from, HKEY to) {
  for (DWORD index = 0;; ++index) {
    char name[256];
    BYTE data[4096];
    DWORD nameLength = sizeof name, dataLength = sizeof data, type = 0;
    LONG read = RegEnumValueA(from, index, name, &nameLength, nullptr, &type, data, &dataLength);
    if (read == ERROR_NO_MORE_ITEMS) return 1;
    if (read != ERROR_SUCCESS || RegSetValueExA(to, name, 0, type, data, dataLength) != ERROR_SUCCESS) return 0;
  }
}

// Copies the values of Uninstall\<from> into a new Uninstall\<to>; 1 when all arrived.
int CopyEntryKey(HKEY parent, const char* from, const char* to) {
  HKEY source, copy;
  DWORD disposition = 0;
  if (RegOpenKeyExA(parent, from, 0, KEY_READ, &source) != ERROR_SUCCESS) return 0;
  int copied = CreateSubkey(parent, to, &copy, &disposition);
  if (copied) {
    copied = CopyKeyValues(source, copy);
    RegCloseKey(copy);
  }
  RegCloseKey(source);
  return copied;
}

// An entry of an earlier installation is copied aside before it is replaced (the KR
// record goes first), so that a failed run can put it back as it was.
int KeepEntryAside(HKEY parent, const char* keyName, const char* subkey) {
  char aside[PathCapacity];
  if (!EntrySubkey(aside, keyName, KeptAsideSuffix)) return 0;
  // An aside copy left from before is only an older entry of the same installation.
  RegDeleteKeyA(parent, aside);
  if (!AppendLogRecord(RecordKeyAside, keyName)) return 0;
  if (CopyEntryKey(parent, subkey, aside)) return 1;
  RegDeleteKeyA(parent, aside);
  return 0;
}

// The entry's "UninstallString" (PathCapacity bytes); 0 when there is none to read.
int ReadUninstallString(const char* keyName, char* text) {
  char path[PathCapacity];
  HKEY key;
  if (!FormatBounded(path, sizeof path, "%s\\Uninstall\\%s", CurrentVersionKey, keyName) ||
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return 0;
  DWORD size = PathCapacity - 1, type = 0;
  LONG read = RegQueryValueExA(key, "UninstallString", nullptr, &type, (BYTE*)text, &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ) return 0;
  text[size < PathCapacity ? size : PathCapacity - 1] = 0;
  return 1;
}

// The uninstaller's path in an "UninstallString" (PathCapacity bytes): the text between
// its quotes, or, as earlier installations wrote it, the whole text without quotes. 0
// when a quote is not closed: a quote never becomes part of a file name.
int UninstallerPathOf(const char* text, char* path) {
  if (text[0] != '"') return CopyBounded(path, PathCapacity, text);
  const char* end = strchr(text + 1, '"');
  size_t length = end ? (size_t)(end - text - 1) : 0;
  if (length == 0 || length >= PathCapacity) return 0;
  memcpy(path, text + 1, length);
  path[length] = 0;
  return 1;
}

// The version information of one program, read whole by LoadVersionInfo.
char VersionInfo[8192];

int LoadVersionInfo(const char* file) {
  DWORD size = SystemFileVersionInfoSize(file);
  return size > 0 && size <= sizeof VersionInfo && SystemFileVersionInfo(file, size, VersionInfo);
}

// One text of the loaded version information, from the block resources/version_info.rc
// writes (German, code page 1252); 0 when there is none or it does not fit.
int VersionText(const char* name, char* text, size_t capacity) {
  char query[64];
  void* value = nullptr;
  UINT length = 0;
  return FormatBounded(query, sizeof query, "\\StringFileInfo\\040704E4\\%s", name) &&
         SystemVerQueryValue(VersionInfo, query, &value, &length) && value && length > 0 &&
         ((const char*)value)[0] && CopyBounded(text, capacity, (const char*)value);
}

int SetNumberValue(HKEY key, const char* name, DWORD number) {
  return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&number, sizeof number) == ERROR_SUCCESS;
}

// The texts of the entry that follow from the install folder; 0 when one does not fit.
struct EntryTexts {
  char Uninstaller[PathCapacity];       // the uninstaller's path
  char UninstallString[PathCapacity];   // that path in quotes, for a folder with blanks
  char QuietUninstall[PathCapacity];    // the same with " /S"
  char Icon[PathCapacity];              // the game's program
};

int FormEntryTexts(EntryTexts* texts, const char* uninstallerFile) {
  const char* folder = InstallState.TargetFolder;
  return FormatBounded(texts->Uninstaller, PathCapacity, "%s%s", folder, uninstallerFile) &&
         FormatBounded(texts->UninstallString, PathCapacity, "\"%s\"", texts->Uninstaller) &&
         FormatBounded(texts->QuietUninstall, PathCapacity, "\"%s\" /S", texts->Uninstaller) &&
         FormatBounded(texts->Icon, PathCapacity, "%s%s", folder, GameFile);
}

// Everything the list of installed programs shows and deployment tools run: the
// uninstaller's version, publisher and URL come from its own version information, which
// make-setup gave it; the size from the archive, when this run extracted one. 1 when
// every value it has was written.
int WriteEntryValues(HKEY key, const char* displayName, const EntryTexts* texts) {
  unsigned bytes = InstallState.ArchiveFilesSize;
  if (!SetTextValue(key, "DisplayName", displayName) || !SetTextValue(key, "UninstallString", texts->UninstallString) ||
      !SetTextValue(key, "QuietUninstallString", texts->QuietUninstall) || !SetTextValue(key, "DisplayIcon", texts->Icon) ||
      !SetTextValue(key, "InstallLocation", InstallState.TargetFolder) || !SetNumberValue(key, "NoModify", 1) ||
      !SetNumberValue(key, "NoRepair", 1) ||
      (bytes > 0 && !SetNumberValue(key, "EstimatedSize", bytes / 1024 + (bytes % 1024 != 0))))
    return 0;
  if (!LoadVersionInfo(texts->Uninstaller)) return 1;
  const char* fromVersion[][2] = {
      {"DisplayVersion", "ProductVersion"}, {"Publisher", "CompanyName"}, {"URLInfoAbout", "URLInfoAbout"}};
  for (const auto& value : fromVersion) {
    char text[PathCapacity];
    if (VersionText(value[1], text, sizeof text) && !SetTextValue(key, value[0], text)) return 0;
  }
  return 1;
}

}  // namespace

int RegisterUninstall(const char* keyName, const char* displayName, const char* uninstallerFile) {
  if (InstallState.PlatformKind == PlatformProgramManager) return 1;
  EntryTexts texts;
  char subkey[PathCapacity];
  if (!FormEntryTexts(&texts, uninstallerFile) || !EntrySubkey(subkey, keyName)) return 0;
  HKEY parent, key;
  DWORD disposition = 0;
  if (!OpenParentKey(&parent)) return 0;
  int replacing = KeyExists(parent, subkey);
  // RK goes before the key is written: a log that names a key never made removes nothing.
  int open = (!replacing || KeepEntryAside(parent, keyName, subkey)) && AppendLogRecord(RecordUninstallKey, keyName) &&
             CreateSubkey(parent, subkey, &key, &disposition);
  if (open && disposition == REG_OPENED_EXISTING_KEY) {
    // A key from an earlier installation starts afresh, without its old values.
    RegCloseKey(key);
    RegDeleteKeyA(parent, subkey);
    open = CreateSubkey(parent, subkey, &key, &disposition);
  }
  // Only a key made new here takes the values; one that could not start afresh is left.
  int fresh = open && disposition == REG_CREATED_NEW_KEY;
  int whole = fresh && WriteEntryValues(key, displayName, &texts);
  if (open) RegCloseKey(key);
  // An entry without all its values would be listed and could not remove the game: what
  // was written of it goes (RK names it, should that fail too).
  if (fresh && !whole) RegDeleteKeyA(parent, subkey);
  RegCloseKey(parent);
  return whole;
}

int RemoveUninstallKey(const char* keyName) {
  char subkey[PathCapacity];
  if (!EntrySubkey(subkey, keyName)) return 0;
  HKEY parent, key;
  DWORD disposition = 0;
  if (!OpenParentKey(&parent)) return 0;
  int removed = CreateSubkey(parent, subkey, &key, &disposition);
  if (removed) {
    RegCloseKey(key);
    removed = RegDeleteKeyA(parent, subkey) == ERROR_SUCCESS;
  }
  RegCloseKey(parent);
  return removed;
}

int RestoreUninstallKey(const char* keyName) {
  char subkey[PathCapacity], aside[PathCapacity];
  if (!EntrySubkey(subkey, keyName) || !EntrySubkey(aside, keyName, KeptAsideSuffix)) return 0;
  HKEY parent;
  if (!OpenParentKey(&parent)) return 0;
  int restored = 1;
  if (KeyExists(parent, aside)) {
    RegDeleteKeyA(parent, subkey);
    restored = CopyEntryKey(parent, aside, subkey);
    if (restored) RegDeleteKeyA(parent, aside);
  }
  RegCloseKey(parent);
  return restored;
}

void DropUninstallKeyAside(const char* keyName) {
  char aside[PathCapacity];
  HKEY parent;
  if (!EntrySubkey(aside, keyName, KeptAsideSuffix) || !OpenParentKey(&parent)) return;
  RegDeleteKeyA(parent, aside);
  RegCloseKey(parent);
}

int ReadRegisteredInstallFolder(const char* keyName, char* folder) {
  char entry[PathCapacity], text[PathCapacity], log[PathCapacity];
  if (!ReadUninstallString(keyName, entry) || !UninstallerPathOf(entry, text)) return 0;
  // "<folder>uninst.exe", quoted as RegisterUninstall writes it or unquoted as it once did.
  size_t length = strlen(text), file = strlen(UninstallerFile);
  if (length <= file + 3 || text[1] != ':' || text[length - file - 1] != '\\' ||
      _stricmp(text + length - file, UninstallerFile) != 0 || length - file >= FolderCapacity)
    return 0;
  text[length - file] = 0;
  if (!FormatBounded(log, sizeof log, "%s%s", text, LogFileName)) return 0;
  DWORD attributes = GetFileAttributesA(log);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  return CopyBounded(folder, FolderCapacity, text);
}

int UninstallEntryBelongsTo(const char* keyName, const char* folder) {
  char entry[PathCapacity], text[PathCapacity], own[PathCapacity];
  if (!ReadUninstallString(keyName, entry)) return 1;
  return UninstallerPathOf(entry, text) && FormatBounded(own, sizeof own, "%s%s", folder, UninstallerFile) &&
         _stricmp(text, own) == 0;
}

int UninstallEntryExists(const char* keyName) {
  char subkey[PathCapacity];
  HKEY parent;
  if (!EntrySubkey(subkey, keyName) || !OpenParentKey(&parent)) return 0;
  int exists = KeyExists(parent, subkey);
  RegCloseKey(parent);
  return exists;
}
