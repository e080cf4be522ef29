#include "base/product_names.h"
#include "system/shortcuts.h"

#include <windows.h>
#include <ddeml.h>
#include <shlobj.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "system/install_log.h"
#include "system/kept_aside.h"
#include "system/pending_messages.h"
#include "system/profile_folders.h"

namespace {

enum { ProgramFolderCapacity = 200, LinkPathCapacity = 1000, CommandCapacity = 260 };

HDDEDATA CALLBACK ProgmanDdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

// The shortcut's working folder: the target path up to and with its last backslash.
void WorkingFolderOf(const char* targetPath, char* folder) {
  CopyBounded(folder, PathCapacity, targetPath);
  size_t length = strlen(folder);
  if (length > 0) folder[--length] = 0;
  while (length > 0 && folder[length - 1] != '\\') folder[--length] = 0;
}

int SetTargetFile(const char* fileName) {
  return FormatBounded(InstallState.ScratchPath, PathCapacity, "%s%s", InstallState.TargetFolder, fileName);
}

}  // namespace

int CreateProgramFolder(const char* name) {
  char programs[ProgramsCapacity];
  char folder[ProgramFolderCapacity];
  if (!ReadProgramsFolder(programs)) return 0;
  if (!FormatBounded(folder, sizeof folder, "%s\\%s", programs, name)) return 0;
  // CI goes before the folder is made; its removal only ever takes an empty folder.
  if (!AppendLogRecord(RecordMenuFolder, folder)) return 0;
  CreateDirectoryA(folder, nullptr);
  return 1;
}

int CreateShellLink(const char* linkSubPath, const char* targetPath) {
  char programs[ProgramsCapacity];
  char linkPath[LinkPathCapacity];
  WCHAR widePath[MAX_PATH];
  if (!ReadProgramsFolder(programs)) return 0;
  // A path that does not fit the wide buffer is refused before anything is made.
  if (!FormatBounded(linkPath, sizeof linkPath, "%s\\%s.lnk", programs, linkSubPath) || strlen(linkPath) >= MAX_PATH)
    return 0;
  if (!MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH)) return 0;

  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link)))
    return 0;
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
    link->Release();
    return 0;
  }
  char workingFolder[PathCapacity];
  WorkingFolderOf(targetPath, workingFolder);
  link->SetPath(targetPath);
  link->SetWorkingDirectory(workingFolder);
  // A shortcut of an earlier installation is kept aside, and CL goes to the log, before
  // the new one is saved.
  int recorded = KeepFileAside(linkPath, 1) && AppendLogRecord(RecordMenuLink, linkPath);
  // A shortcut that was not saved whole is no shortcut: what was written of it goes.
  int saved = recorded && SUCCEEDED(file->Save(widePath, FALSE));
  if (recorded && !saved) DeleteFileA(linkPath);
  file->Release();
  link->Release();
  return saved;
}

int ShellLinkBelongsTo(const char* linkPath, const char* folder) {
  WCHAR widePath[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH)) return 1;
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link)))
    return 1;
  IPersistFile* file = nullptr;
  char target[MAX_PATH] = "";
  int read = 0;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
    read = SUCCEEDED(file->Load(widePath, STGM_READ)) && link->GetPath(target, MAX_PATH, nullptr, 0) == S_OK;
    file->Release();
  }
  link->Release();
  size_t length = strlen(folder);
  return !read || _strnicmp(target, folder, length) == 0;
}

int SendProgmanCommand(const char* command) {
  int result = 0;
  DWORD instance = 0;
  if (DdeInitializeA(&instance, ProgmanDdeCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) return 0;
  HSZ service = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  // Without its name handle a conversation would go to whichever server answers.
  HCONV conversation = service ? DdeConnect(instance, service, service, nullptr) : nullptr;
  if (conversation) {
    if (DdeClientTransaction((BYTE*)command, lstrlenA(command) + 1, conversation, nullptr, CF_TEXT, XTYP_EXECUTE,
                             1000, nullptr))
      result = 1;
    DdeDisconnect(conversation);
  }
  if (service) DdeFreeStringHandle(instance, service);
  DdeUninitialize(instance);
  return result;
}

// Sends one command with its arguments filled in; 0 when it does not fit or fails.
// Program Manager's commands enclose every argument in double quotes.
int SendProgmanCommandOf(const char* format, const char* first, const char* second = "") {
  char command[CommandCapacity];
  return FormatBounded(command, sizeof command, format, first, second) && SendProgmanCommand(command);
}

int CreateProgmanGroup(const char* name) { return SendProgmanCommandOf("[CreateGroup(\"%s\")]", name); }

int DeleteProgmanGroup(const char* name) { return SendProgmanCommandOf("[DeleteGroup(\"%s\")]", name); }

int AddProgmanItem(const char* groupName, const char* commandLine, const char* itemName) {
  SendProgmanCommandOf("[ShowGroup(\"%s\",1)]", groupName);
  return SendProgmanCommandOf("[AddItem(\"%s\",\"%s\")]", commandLine, itemName);
}

int CreateShortcuts() {
  if (InstallState.PlatformKind == PlatformWindows9x || InstallState.PlatformKind == PlatformNt) {
    if (!CreateProgramFolder(ProgramFolderName)) return 0;
    char subPath[LinkPathCapacity];
    FormatBounded(subPath, sizeof subPath, "%s\\%s", ProgramFolderName, GameLinkName);
    if (!SetTargetFile(GameFile) || !CreateShellLink(subPath, InstallState.ScratchPath)) return 0;
    AnswerPendingMessagesIfDue();  // the first link can take long: the shell's link object loads
    FormatBounded(subPath, sizeof subPath, "%s\\%s", ProgramFolderName, UninstallLinkName);
    if (!SetTargetFile(UninstallerFile) || !CreateShellLink(subPath, InstallState.ScratchPath)) return 0;
    return 1;
  }
  // PG goes before the group is made; deleting a group that was never made does nothing.
  if (!AppendLogRecord(RecordGroup, GroupName)) return 0;
  DeleteProgmanGroup(GroupName);
  CreateProgmanGroup(GroupName);
  if (SetTargetFile(GameFile)) AddProgmanItem(GroupName, InstallState.ScratchPath, GameLinkName);
  if (SetTargetFile(UninstallerFile)) AddProgmanItem(GroupName, InstallState.ScratchPath, UninstallLinkName);
  return 1;
}
