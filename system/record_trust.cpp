#include "system/record_trust.h"

#include <windows.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/entry_names.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "system/log_records.h"
#include "system/programs_folder.h"

namespace {

char ProgramFolder[PathCapacity];       // "<Programs>\Frelby", empty when unknown
char ProgramFolderSlash[PathCapacity];  // the same with its final backslash

// The part of path below folder (which ends with a backslash), or null.
const char* Below(const char* path, const char* folder) {
  size_t length = strlen(folder);
  if (length == 0 || _strnicmp(path, folder, length) != 0) return nullptr;
  return path + length;
}

// path is a safe relative name below folder, and no link lies on the way to it.
int LiesBelow(const char* path, const char* folder) {
  const char* rest = Below(path, folder);
  return rest && RelativePathIsSafe(rest) && PathIsLinkFree(folder, rest, 0);
}

// "X:\", or "X:\" and safe names each ending with a backslash.
int FolderIsAbsolute(const char* folder) {
  char rest[PathCapacity];
  size_t length = strlen(folder);
  if (length < 3 || length >= FolderCapacity || folder[1] != ':' || folder[2] != '\\' || folder[length - 1] != '\\')
    return 0;
  if (length == 3) return 1;
  CopyBounded(rest, sizeof rest, folder + 3);
  rest[length - 4] = 0;
  return RelativePathIsSafe(rest);
}

}  // namespace

int RecordNeedsMenu(int kind) {
  RecordTrust rule = LogRecordKindOf(kind).Trust;
  return rule == TrustMenuFolder || rule == TrustBelowMenu;
}

int LoadTrustedPlaces() {
  char programs[PathCapacity];
  ProgramFolder[0] = ProgramFolderSlash[0] = 0;
  // Without a Programs folder no shortcut record is trusted.
  if (!ReadProgramsFolder(programs) || !FormatBounded(ProgramFolder, sizeof ProgramFolder, "%s\\%s", programs, ProgramFolderName) ||
      !FormatBounded(ProgramFolderSlash, sizeof ProgramFolderSlash, "%s\\", ProgramFolder))
    ProgramFolder[0] = ProgramFolderSlash[0] = 0;
  return ProgramFolder[0] != 0;
}

int PathIsLinkFree(const char* folder, const char* relative, int lastToo) {
  char path[PathCapacity];
  if (!FormatBounded(path, sizeof path, "%s%s", folder, relative)) return 0;
  size_t start = strlen(folder);
  for (size_t i = start;; ++i) {
    char c = path[i];
    if (c != '\\' && c != 0) continue;
    if (c == 0 && !lastToo) return 1;
    path[i] = 0;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return 0;
    if (c == 0) return 1;
    path[i] = c;
  }
}

int RecordIsTrusted(int kind, const char* argument) {
  const char* target = InstallState.TargetFolder;
  int menu = ProgramFolder[0] != 0;
  switch (LogRecordKindOf(kind).Trust) {
    case TrustAlways: return 1;
    case TrustEntryName: return RelativePathIsSafe(argument) && PathIsLinkFree(target, argument, 0);
    case TrustBelowTarget: return LiesBelow(argument, target);
    case TrustMenuFolder: return menu && (_stricmp(argument, ProgramFolder) == 0 || LiesBelow(argument, ProgramFolderSlash));
    case TrustBelowMenu: return menu && LiesBelow(argument, ProgramFolderSlash);
    case TrustBelowEither: return LiesBelow(argument, target) || (menu && LiesBelow(argument, ProgramFolderSlash));
    case TrustUninstallKey: return !strcmp(argument, UninstallKeyName);
    case TrustGroup: return !strcmp(argument, GroupName);
    // The folder of another installation, whose shortcuts and entry an uninstall gives back.
    case TrustOtherInstallation: return FolderIsAbsolute(argument) && _stricmp(argument, target) != 0;
    // The screen saver, files in the Windows folder, ini entries: nothing this installer makes.
    case TrustNever: return 0;
  }
  return 0;
}
