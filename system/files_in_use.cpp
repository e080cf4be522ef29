#include "system/files_in_use.h"

#include <windows.h>
#include <stdio.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "system/kept_aside.h"
#include "system/log_reader.h"
#include "system/record_trust.h"

int FileIsHeld(const char* path) {
  // A running program's file and a file opened by another program refuse to be shared
  // for writing (a read-only one: for reading); a missing or folder name gives another error.
  const DWORD accesses[] = {GENERIC_WRITE, GENERIC_READ};
  for (DWORD access : accesses) {
    HANDLE file = CreateFileA(path, access, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return 1;
    if (file != INVALID_HANDLE_VALUE || error != ERROR_ACCESS_DENIED) return 0;
  }
  return 0;
}

int FileOrAsideIsHeld(const char* path, char* held) {
  char aside[PathCapacity];
  const char* found = FileIsHeld(path) ? path : KeptAsidePath(aside, path) && FileIsHeld(aside) ? aside : nullptr;
  return found && CopyBounded(held, PathCapacity, found);
}

int FindHeldFileOfLog(char* held) {
  FILE* log = OpenLogForReading(InstallState.LogPath);
  if (!log) return 0;
  LoadTrustedPlaces();
  LogRecord record;
  char path[PathCapacity];
  int found = 0;
  while (!found && ReadNextLogRecord(log, &record)) {
    if (!RecordIsTrusted(record.Kind, record.Argument)) continue;
    // The files a record made, and the copies it kept aside.
    const LogRecordKindRow& row = LogRecordKindOf(record.Kind);
    int named = row.Undo == UndoDeleteEntry
                    ? FormatBounded(path, sizeof path, "%s%s", InstallState.TargetFolder, record.Argument)
                    : row.Aside == AsideFile && KeptAsidePath(path, record.Argument);
    found = named && FileIsHeld(path) && CopyBounded(held, PathCapacity, path);
  }
  CloseLogRead(log);
  return found;
}

int AskToRetryHeldFile(const char* held, const char* caption, const char* cancelText) {
  char text[PathCapacity + 400];
  if (!FormatBounded(text, sizeof text,
                     "Die Datei\n\n%s\n\nwird gerade von einem anderen Programm verwendet, vielleicht von Frelby "
                     "selbst. Bitte beenden Sie dieses Programm und klicken Sie dann auf „Wiederholen“.\n\n%s",
                     held, cancelText))
    CopyBounded(text, sizeof text, "Eine Datei von Frelby wird gerade von einem anderen Programm verwendet.");
  return MessageBoxExA(nullptr, text, caption, MB_RETRYCANCEL | MB_ICONWARNING,
                       MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)) == IDRETRY;
}
