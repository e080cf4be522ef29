#include "uninstaller/self_delete.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "system/profile_folders.h"
#include "system/restart_removal.h"

namespace {

const char HelperSwitch[] = "/entfernen ";
// The copy's file, alone in its folder "frbXXXXXXXX.tmp".
const char HelperFileName[] = "uninst.exe";
// "/entfernen <original> <own file> <install folder>"; unattended:
// "/entfernen-still <original> <own file> <report> <original's file>" (handle numbers).
const char UnattendedHelperSwitch[] = "/entfernen-still ";

// The access list of the copy's folder when the uninstaller runs elevated: administrators
// and SYSTEM may do anything, users read and run (and so nobody else may put a DLL there).
const char HelperFolderAccess[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;GRGX;;;BU)";
const char AdministratorsSid[] = "S-1-5-32-544";

// Another program reading the copy or its folder (a virus scanner) holds it for a moment:
// what it refuses is tried again every pause, for up to the patience.
const DWORD ReaderPause = 100, ReaderPatience = 5000;

// FILE_RENAME_INFO of SetFileInformationByHandle (Windows Vista and later), with room
// for a path.
struct RenameInfo {
  DWORD Flags;
  HANDLE RootDirectory;
  DWORD FileNameLength;
  WCHAR FileName[PathCapacity];
};
const int FileRenameInfoClass = 3;
typedef BOOL(WINAPI* SetFileInformationByHandleCall)(HANDLE, int, LPVOID, DWORD);

// Renames the copy's own file through the handle it inherited, which deletes it as the
// process ends (so that the deletion follows the new name everywhere), else by its name.
int MoveOwnFile(HANDLE ownFile, const char* self, const char* moved) {
  SetFileInformationByHandleCall rename = (SetFileInformationByHandleCall)(void*)GetProcAddress(
      GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle");
  RenameInfo info = {};
  int characters = MultiByteToWideChar(CP_ACP, 0, moved, -1, info.FileName, PathCapacity);
  info.FileNameLength = characters > 0 ? (DWORD)(characters - 1) * sizeof(WCHAR) : 0;
  if (rename && characters > 0 && rename(ownFile, FileRenameInfoClass, &info, sizeof info)) return 1;
  return MoveFileA(self, moved);
}

typedef BOOL(WINAPI* CheckTokenMembershipCall)(HANDLE, PSID, PBOOL);
typedef BOOL(WINAPI* StringToSidCall)(LPCSTR, PSID*);
typedef BOOL(WINAPI* StringToDescriptorCall)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);

// The descriptor of HelperFolderAccess when this process runs with the Administrators
// group (the NT family from Windows 2000 on: the calls are looked up, NT 4 and Windows
// 95/98 lack them); null otherwise. Freed with LocalFree.
PSECURITY_DESCRIPTOR ElevatedFolderAccess() {
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  if (!advapi) return nullptr;
  CheckTokenMembershipCall isMember = (CheckTokenMembershipCall)(void*)GetProcAddress(advapi, "CheckTokenMembership");
  StringToSidCall toSid = (StringToSidCall)(void*)GetProcAddress(advapi, "ConvertStringSidToSidA");
  StringToDescriptorCall toDescriptor = (StringToDescriptorCall)(void*)GetProcAddress(
      advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorA");
  PSID administrators = nullptr;
  BOOL member = FALSE;
  if (!isMember || !toSid || !toDescriptor || !toSid(AdministratorsSid, &administrators)) return nullptr;
  if (!isMember(nullptr, administrators, &member)) member = FALSE;
  LocalFree(administrators);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!member || !toDescriptor(HelperFolderAccess, 1 /* SDDL_REVISION_1 */, &descriptor, nullptr)) return nullptr;
  return descriptor;
}

// Makes a new folder "frbXXXXXXXX.tmp" under a random name in parent (with its final
// backslash) and writes its path, with the final backslash, to folder. A name that
// stands already (a folder, a file, a link) is never used: another is tried.
int MakeHelperFolderIn(const char* parent, SECURITY_ATTRIBUTES* access, char* folder) {
  static unsigned long mixed = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    mixed = (mixed ^ GetTickCount() ^ (GetCurrentProcessId() << 7)) * 2654435761UL + (unsigned long)attempt;
    if (!FormatBounded(folder, PathCapacity, "%sfrb%08lX.tmp\\", parent, mixed)) return 0;
    if (CreateDirectoryA(folder, access)) return 1;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return 0;
  }
  return 0;
}

// The Windows folder's "Temp", with its final backslash.
int WindowsTempFolder(char* folder, unsigned capacity) {
  UINT length = GetWindowsDirectoryA(folder, capacity);
  if (length == 0 || length >= capacity) return 0;
  const char* separator = folder[length - 1] == '\\' ? "" : "\\";
  char windows[PathCapacity];
  return CopyBounded(windows, sizeof windows, folder) && FormatBounded(folder, capacity, "%s%sTemp\\", windows, separator);
}

// The copy's folder: in the temporary folder, or, where that cannot be reached or used,
// in the Windows folder's "Temp", which every account may reach.
int MakeHelperFolder(char* folder) {
  char parent[PathCapacity];
  PSECURITY_DESCRIPTOR descriptor = ElevatedFolderAccess();
  SECURITY_ATTRIBUTES access = {sizeof access, descriptor, FALSE};
  SECURITY_ATTRIBUTES* attributes = descriptor ? &access : nullptr;
  int made = ReadTempFolder(parent, sizeof parent) && MakeHelperFolderIn(parent, attributes, folder);
  if (!made) made = WindowsTempFolder(parent, sizeof parent) && MakeHelperFolderIn(parent, attributes, folder);
  if (descriptor) LocalFree(descriptor);
  return made;
}

// Reads "<number> " at *text; 1 when there was one.
int ReadHandleNumber(const char** text, HANDLE* handle) {
  char* end = nullptr;
  unsigned long value = strtoul(*text, &end, 10);
  if (end == *text || *end != ' ') return 0;
  *handle = (HANDLE)(ULONG_PTR)value;
  *text = end + 1;
  return 1;
}

// Opens the copy so that it goes as its last handle closes, waiting out a reader.
HANDLE OpenDeletedOnClose(const char* copy, SECURITY_ATTRIBUTES* inherited) {
  for (DWORD waited = 0;; waited += ReaderPause) {
    HANDLE file = CreateFileA(copy, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, inherited, OPEN_EXISTING,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION || waited >= ReaderPatience) return file;
    Sleep(ReaderPause);
  }
}

}  // namespace

int StartHelperCopy(const char* installFolder, HANDLE* report) {
  char self[PathCapacity], folder[PathCapacity], copy[PathCapacity];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) return 0;
  if (!MakeHelperFolder(folder)) return 0;
  if (!FormatBounded(copy, sizeof copy, "%s%s", folder, HelperFileName)) {
    RemoveDirectoryA(folder);
    return 0;
  }
  if (!CopyFileA(self, copy, TRUE)) {
    DeleteFileA(copy);
    RemoveDirectoryA(folder);
    return 0;
  }

  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE copyFile = OpenDeletedOnClose(copy, &inherited);
  // Windows 95/98 refuse sharing for deletion and know no deletion on close: there the
  // copy is opened plainly and left in wininit.ini once it runs, for the next restart.
  int deletedOnClose = copyFile != INVALID_HANDLE_VALUE;
  if (!deletedOnClose)
    copyFile = CreateFileA(copy, GENERIC_READ, FILE_SHARE_READ, &inherited, OPEN_EXISTING, 0, nullptr);
  HANDLE original = nullptr;
  if (copyFile == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &original,
                       SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, 0)) {
    if (copyFile != INVALID_HANDLE_VALUE) CloseHandle(copyFile);
    DeleteFileA(copy);
    RemoveDirectoryA(folder);
    return 0;
  }
  // Unattended: a pipe whose writing end only the copy holds, so that reading ends
  // when the copy has reported or has ended without a report. The reading end is made
  // uninheritable by duplicating it (SetHandleInformation fails on Windows 95/98).
  // DUPLICATE_CLOSE_SOURCE closes the inheritable end whether or not the duplicate is made.
  HANDLE inheritable = nullptr, reading = nullptr, writing = nullptr;
  if (report && (!CreatePipe(&inheritable, &writing, &inherited, 0) ||
                 !DuplicateHandle(GetCurrentProcess(), inheritable, GetCurrentProcess(), &reading, 0, FALSE,
                                  DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS))) {
    if (writing) CloseHandle(writing);
    CloseHandle(original);
    CloseHandle(copyFile);
    DeleteFileA(copy);  // opened without deletion on close on Windows 95/98
    RemoveDirectoryA(folder);
    return 0;
  }
  char commandLine[PathCapacity * 2 + 60];
  int started = 0;
  int formed = report ? FormatBounded(commandLine, sizeof commandLine, "\"%s\" %s%lu %lu %lu %s", copy,
                                      UnattendedHelperSwitch, (unsigned long)(ULONG_PTR)original,
                                      (unsigned long)(ULONG_PTR)copyFile, (unsigned long)(ULONG_PTR)writing, self)
                      : FormatBounded(commandLine, sizeof commandLine, "\"%s\" %s%lu %lu %s", copy, HelperSwitch,
                                      (unsigned long)(ULONG_PTR)original, (unsigned long)(ULONG_PTR)copyFile,
                                      installFolder);
  if (formed) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    started = CreateProcessA(copy, commandLine, nullptr, nullptr, TRUE, 0, nullptr, folder, &startup, &process);
    if (started) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      if (!deletedOnClose) DeleteNowOrAtRestart(copy);
    }
  }
  // Our handles close here; the copy's inherited one keeps its file until it ends.
  CloseHandle(original);
  CloseHandle(copyFile);
  if (!started) {
    DeleteFileA(copy);
    RemoveDirectoryA(folder);
  }
  if (report) {
    CloseHandle(writing);
    if (started) *report = reading;
    else CloseHandle(reading);
  }
  return started;
}

int ReadHelperArguments(const char* commandLine, HelperArguments* arguments) {
  memset(arguments, 0, sizeof *arguments);
  DWORD length = GetCurrentDirectoryA(sizeof arguments->Folder, arguments->Folder);
  if (length == 0 || length >= sizeof arguments->Folder) arguments->Folder[0] = 0;
  const char* rest;
  if (!strncmp(commandLine, HelperSwitch, strlen(HelperSwitch))) {
    rest = commandLine + strlen(HelperSwitch);
    if (!ReadHandleNumber(&rest, &arguments->Original) || !ReadHandleNumber(&rest, &arguments->OwnFile)) return 0;
    return CopyBounded(arguments->InstallFolder, sizeof arguments->InstallFolder, rest);
  }
  if (strncmp(commandLine, UnattendedHelperSwitch, strlen(UnattendedHelperSwitch))) return 0;
  rest = commandLine + strlen(UnattendedHelperSwitch);
  if (!ReadHandleNumber(&rest, &arguments->Original) || !ReadHandleNumber(&rest, &arguments->OwnFile) ||
      !ReadHandleNumber(&rest, &arguments->Report))
    return 0;
  if (!CopyBounded(arguments->OriginalFile, sizeof arguments->OriginalFile, rest)) return 0;
  // The install folder is the original's, with its final backslash.
  CopyBounded(arguments->InstallFolder, sizeof arguments->InstallFolder, rest);
  char* cut = strrchr(arguments->InstallFolder, '\\');
  if (!cut) return 0;
  cut[1] = 0;
  return 1;
}

int StartedByUninstaller(const HelperArguments& arguments) {
  DWORD code = 0;
  return GetExitCodeProcess(arguments.Original, &code);
}

void LeaveHelperFolder(const HelperArguments& arguments) {
  char folder[PathCapacity], parent[PathCapacity], self[PathCapacity], moved[PathCapacity];
  CopyBounded(folder, sizeof folder, arguments.Folder);
  size_t length = strlen(folder);
  if (length > 0 && folder[length - 1] == '\\') folder[--length] = 0;
  char* name = strrchr(folder, '\\');
  if (!name || strlen(name + 1) != 15 || strncmp(name + 1, "frb", 3) || strcmp(name + 12, ".tmp")) return;
  CopyBounded(parent, sizeof parent, folder);
  parent[name - folder + 1] = 0;
  // A running program's file may be renamed (not deleted) on the NT family: it moves
  // beside its folder, which then holds nothing and goes; the file goes with the handle
  // the copy inherited, as the process ends.
  if (!FormatBounded(self, sizeof self, "%s\\%s", folder, HelperFileName) ||
      !FormatBounded(moved, sizeof moved, "%s.del", folder) || !SetCurrentDirectoryA(parent) ||
      !MoveOwnFile(arguments.OwnFile, self, moved))
    return;
  // The removal waits out a reader of the folder.
  for (DWORD waited = 0; !RemoveDirectoryA(folder) && waited < ReaderPatience; waited += ReaderPause) Sleep(ReaderPause);
}
