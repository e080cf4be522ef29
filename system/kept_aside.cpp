#include "system/kept_aside.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include "base/bounded_text.h"
#include "base/entry_names.h"
#include "base/install_state.h"
#include "system/install_log.h"
#include "system/log_reader.h"
#include "system/record_trust.h"
#include "system/restart_removal.h"
#include "system/uninstall_registration.h"

namespace {

int Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

FILE* CreateNewFile(const char* path, const char* mode, DWORD* error) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return nullptr;
  }
  int descriptor = _open_osfhandle((intptr_t)file, mode[1] == 't' ? _O_TEXT : _O_BINARY);
  FILE* stream = descriptor < 0 ? nullptr : _fdopen(descriptor, mode);
  if (!stream) {
    if (descriptor < 0) CloseHandle(file);
    else _close(descriptor);
    DeleteFileA(path);
    *error = ERROR_OPEN_FAILED;
  }
  return stream;
}

int KeptAsidePath(char* aside, const char* path) {
  return FormatBounded(aside, PathCapacity, "%s%s", path, KeptAsideSuffix);
}

// KA goes before the move: a log that names a file kept aside that never moved restores
// nothing.
int KeepFileAside(const char* path, int staleMayGo) {
  DWORD attributes = GetFileAttributesA(path);
  // Nothing there, or a folder: the file's creation then succeeds or fails on its own.
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 1;
  char aside[PathCapacity];
  if (!KeptAsidePath(aside, path)) return 0;
  // An aside name already taken is never overwritten, unless what holds it is only an
  // older copy of what this run writes anew (a shortcut).
  if (Exists(aside) && (!staleMayGo || !DeleteNamedFile(aside))) return 0;
  return AppendLogRecord(RecordKeptAside, path) && MoveFileA(path, aside);
}

int RestoreKeptAside(const char* path) {
  char aside[PathCapacity];
  if (!KeptAsidePath(aside, path) || !Exists(aside)) return 1;
  return !Exists(path) && MoveFileA(aside, path);
}

void DropRecordedAside(int kind, const char* argument) {
  char aside[PathCapacity];
  RecordAside what = LogRecordKindOf(kind).Aside;
  if (what == AsideFile && KeptAsidePath(aside, argument)) DeleteNowOrAtRestart(aside);
  if (what == AsideKey) DropUninstallKeyAside(argument);
}

void DropKeptAsides(const char* logPath) {
  FILE* log = OpenLogForReading(logPath);
  if (!log) return;
  LoadTrustedPlaces();
  LogRecord record;
  // Only its own records: what it carried over belongs to the installation it replaced.
  while (ReadNextLogRecord(log, &record))
    if (!record.Carried && RecordIsTrusted(record.Kind, record.Argument)) DropRecordedAside(record.Kind, record.Argument);
  CloseLogRead(log);
}
