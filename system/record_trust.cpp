#include "system/record_trust.h"

#include <windows.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/entry_names.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "system/log_records.h"
#include "system/profile_folders.h"

namespace {

char ProgramFolder[PathCapacity];       // "<Programs>\Frelby", empty when unknown
char ProgramFolderSlash[PathCapacity];  // the same with its final backslash

// The profile folders of the machine's accounts (each spelt as it is and short) and all
// users' Programs folder, each with its final backslash: where another account's
// Start-menu folder may lie.
enum { ProfilePlaceCapacity = 129 };  // all users' Programs folder and 64 profiles
char ProfilePlaces[ProfilePlaceCapacity][ProgramsCapacity + 1];
int ProfilePlaceCount;

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

void AddProfilePlace(const char* folder) {
  if (folder[0] && ProfilePlaceCount < ProfilePlaceCapacity &&
      FormatBounded(ProfilePlaces[ProfilePlaceCount], sizeof ProfilePlaces[0], "%s\\", folder))
    ++ProfilePlaceCount;
}

void LoadProfilePlaces() {
  char folder[ProgramsCapacity], shortFolder[ProgramsCapacity];
  ProfilePlaceCount = 0;
  if (ReadCommonProgramsFolder(folder)) AddProfilePlace(folder);
  for (int i = 0; ProfilePlaceCount + 2 <= ProfilePlaceCapacity && ReadProfileFolder(i, folder, shortFolder, sizeof folder); ++i) {
    AddProfilePlace(folder);
    AddProfilePlace(shortFolder);
  }
}

// 1 when the last component of path is `name`.
int NamedAs(const char* path, const char* name) {
  const char* last = strrchr(path, '\\');
  return last && _stricmp(last + 1, name) == 0;
}

// 1 when path lies below a profile folder or all users' Programs folder.
int InProfilePlace(const char* path) {
  for (int i = 0; i < ProfilePlaceCount; ++i)
    if (LiesBelow(path, ProfilePlaces[i])) return 1;
  return 0;
}

// A Start-menu folder "Frelby" or one of its two shortcuts that another account's run
// made: below a profile folder of this machine, or below all users' Programs folder (no
// link on the way, the folder "Frelby" included).
int IsOtherAccountsShortcut(int kind, const char* path) {
  return NamesOwnShortcut(kind, path) && InProfilePlace(path);
}

}  // namespace

int NamesOwnShortcut(int kind, const char* path) {
  char folder[PathCapacity], game[ProgramsCapacity], uninstall[ProgramsCapacity];
  if (LogRecordKindOf(kind).Trust == TrustMenuFolder) return NamedAs(path, ProgramFolderName);
  if (!CopyBounded(folder, sizeof folder, path) || !FormatBounded(game, sizeof game, "%s.lnk", GameLinkName) ||
      !FormatBounded(uninstall, sizeof uninstall, "%s.lnk", UninstallLinkName) ||
      (!NamedAs(folder, game) && !NamedAs(folder, uninstall)))
    return 0;
  *strrchr(folder, '\\') = 0;
  return NamedAs(folder, ProgramFolderName);
}

int RecordNeedsMenu(int kind) {
  RecordTrust rule = LogRecordKindOf(kind).Trust;
  return rule == TrustMenuFolder || rule == TrustBelowMenu;
}

int LoadTrustedPlaces() {
  char programs[PathCapacity];
  ProgramFolder[0] = ProgramFolderSlash[0] = 0;
  // Without a Programs folder no shortcut record is trusted.
  int read = ReadProgramsFolder(programs), absent = !read && ProgramsFolderAbsent();
  if (!read || !FormatBounded(ProgramFolder, sizeof ProgramFolder, "%s\\%s", programs, ProgramFolderName) ||
      !FormatBounded(ProgramFolderSlash, sizeof ProgramFolderSlash, "%s\\", ProgramFolder))
    ProgramFolder[0] = ProgramFolderSlash[0] = 0;
  LoadProfilePlaces();
  return ProgramFolder[0] ? MenuKnown : absent ? MenuAbsent : MenuUnreadable;
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
    // The Start-menu folder and shortcuts: below this account's "Frelby", or those another
    // account's run made (an uninstall by an administrator or SYSTEM).
    case TrustMenuFolder:
      return (menu && (_stricmp(argument, ProgramFolder) == 0 || LiesBelow(argument, ProgramFolderSlash))) ||
             IsOtherAccountsShortcut(kind, argument);
    case TrustBelowMenu: return (menu && LiesBelow(argument, ProgramFolderSlash)) || IsOtherAccountsShortcut(kind, argument);
    case TrustBelowEither:
      return LiesBelow(argument, target) || (menu && LiesBelow(argument, ProgramFolderSlash)) ||
             IsOtherAccountsShortcut(RecordMenuLink, argument);
    case TrustUninstallKey: return !strcmp(argument, UninstallKeyName);
    case TrustGroup: return !strcmp(argument, GroupName);
    // The folder of another installation, whose shortcuts and entry an uninstall gives back.
    case TrustOtherInstallation: return FolderIsAbsolute(argument) && _stricmp(argument, target) != 0;
    // The screen saver, files in the Windows folder, ini entries: nothing this installer makes.
    case TrustNever: return 0;
  }
  return 0;
}
