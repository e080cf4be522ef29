#include "support/pipeline.h"

#include <fcntl.h>
#include <io.h>
#include <string.h>

#include "base/install_state.h"
#include "payload/resource_archive.h"
#include "shell/step_schedule.h"

void RunTicks(int from, int to) {
  for (int tick = from; tick <= to; ++tick) RunScheduledStep(tick);
}

std::string LogText() {
  if (InstallState.LogFile) fflush(InstallState.LogFile);
  return ReadText(InstallState.LogPath);
}

void CloseLog() {
  if (InstallState.LogFile) fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
}

Bytes RawArchive(const std::vector<std::pair<std::string, Bytes>>& entries) {
  Bytes out(ArchiveHeaderSize + ArchiveEntrySize * entries.size(), 0);
  memcpy(out.data(), ArchiveMagic, ArchiveMagicSize);
  auto put32 = [&out](size_t at, unsigned v) {
    for (int i = 0; i < 4; ++i) out[at + i] = (uint8_t)(v >> (8 * i));
  };
  put32(ArchiveMagicSize, (unsigned)entries.size());
  unsigned offset = (unsigned)out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t record = ArchiveHeaderSize + ArchiveEntrySize * i;
    memcpy(&out[record], entries[i].first.data(), entries[i].first.size() < 128 ? entries[i].first.size() : 128);
    put32(record + 128, offset);
    put32(record + 132, (unsigned)entries[i].second.size());
    offset += (unsigned)entries[i].second.size();
  }
  for (const auto& entry : entries) out.insert(out.end(), entry.second.begin(), entry.second.end());
  return out;
}

FILE* OpenUnwritable(const std::string& path) {
  // Shared for deletion, so the run may still delete it: opened past the import table, out
  // of the Windows 95/98 personality's reach (which would refuse the sharing).
  static HANDLE(WINAPI * open)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) =
      (HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE))(void*)GetProcAddress(
          GetModuleHandleA("kernel32.dll"), "CreateFileA");
  HANDLE file = open(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  int descriptor = _open_osfhandle((intptr_t)file, _O_TEXT);
  return descriptor < 0 ? nullptr : _fdopen(descriptor, "at");
}
