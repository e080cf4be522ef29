#include "support/test_support.h"

#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include "base/install_state.h"
#include "payload/szdd.h"
#include "shell/backdrop_window.h"
#include "shell/step_schedule.h"

void ResetInstallState() {
  memset(&InstallState, 0, sizeof InstallState);
  InstallState.InstanceHandle = GetModuleHandleA(nullptr);
  InstallState.PlatformKind = CurrentPlatformKind();  // 2 on Wine, 1 as on Windows 95/98
  GetWindowsDirectoryA(InstallState.WindowsFolder, FolderCapacity);
  TickCount = 0;
  StepBusy = 0;
  // Start-up must find COM uninitialised, as in a fresh process.
  for (HRESULT r = CoInitialize(nullptr); SUCCEEDED(r); r = CoInitialize(nullptr)) {
    CoUninitialize();
    if (r == S_OK) break;
    CoUninitialize();
  }
}

void RemoveTree(const std::string& path) {
  std::string folder = path;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {  // a link goes, never what it points to
    RemoveHostLink(folder);
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(folder.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..")) continue;
      RemoveTree(folder + "\\" + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

int CarryOutWininit() {
  char windows[MAX_PATH];
  UINT length = GetWindowsDirectoryA(windows, sizeof windows);
  std::string file = std::string(windows, length) + "\\wininit.ini", text = ReadText(file), line;
  bool rename = false, done = true;
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = std::min(text.find('\n', at), text.size());
    line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') rename = !_stricmp(line.c_str(), "[rename]");
    if (!rename || _strnicmp(line.c_str(), "NUL=", 4)) continue;
    OemToCharA(&line[0], &line[0]);
    done = (DeleteFileA(line.c_str() + 4) || GetFileAttributesA(line.c_str() + 4) == INVALID_FILE_ATTRIBUTES) && done;
  }
  return done && (text.empty() || DeleteFileA(file.c_str()));
}

std::string ScratchFolder(const std::string& name) {
  CreateDirectoryA("C:\\frelby-tests", nullptr);
  std::string folder = "C:\\frelby-tests\\" + name;
  SetCurrentDirectoryA("C:\\");
  RemoveTree(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "\\";
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, Bytes(text.begin(), text.end()));
}

Bytes ReadBytes(const std::string& path) {
  Bytes bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  unsigned char buffer[65536];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  fclose(f);
  return bytes;
}

std::string ReadText(const std::string& path) {
  Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string HostPath(const char* unixPath) {
  std::string path = std::string("Z:") + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

Bytes DemoPayload() {
  return ReadBytes(HostPath(FRELBY_HOST_PAYLOAD));
}

Bytes DemoArchive() {
  Bytes payload = DemoPayload();
  unsigned length = 0;
  SzddReadHeader(payload.data(), payload.size(), &length);
  Bytes archive(length);
  size_t written = 0;
  SzddExpandMemory(payload.data(), payload.size(), archive.data(), archive.size(), &written);
  archive.resize(written);
  return archive;
}

std::vector<std::string> DemoEntryNames() {
  Bytes archive = DemoArchive();
  std::vector<std::string> names;
  if (archive.size() < 27) return names;
  unsigned count = archive[23] | (archive[24] << 8) | (archive[25] << 16) | (archive[26] << 24);
  for (unsigned i = 0; i < count && 27 + 136 * (i + 1) <= archive.size(); ++i)
    names.push_back(std::string((const char*)&archive[27 + 136 * i]));
  return names;
}

Bytes DemoEntrySource(const std::string& entryName) {
  Bytes archive = DemoArchive();
  unsigned count = archive[23] | (archive[24] << 8) | (archive[25] << 16) | (archive[26] << 24);
  for (unsigned i = 0; i < count; ++i) {
    const unsigned char* record = &archive[27 + 136 * i];
    if (entryName != (const char*)record) continue;
    unsigned offset = record[128] | (record[129] << 8) | (record[130] << 16) | (record[131] << 24);
    unsigned size = record[132] | (record[133] << 8) | (record[134] << 16) | (record[135] << 24);
    return Bytes(archive.begin() + offset, archive.begin() + offset + size);
  }
  return Bytes();
}

void SetTarget(const std::string& folder) {
  snprintf(InstallState.TargetFolder, sizeof InstallState.TargetFolder, "%s", folder.c_str());
}

std::set<std::string> SnapshotTree(const std::string& folder) {
  std::set<std::string> entries;
  std::string base = folder;
  while (!base.empty() && base.back() == '\\') base.pop_back();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((base + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..")) continue;
    std::string path = base + "\\" + found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      entries.insert(path + "\\");
      std::set<std::string> inner = SnapshotTree(path);
      entries.insert(inner.begin(), inner.end());
    } else {
      Bytes content = ReadBytes(path);
      unsigned sum = 2166136261u;
      for (uint8_t b : content) sum = (sum ^ b) * 16777619u;
      char line[64];
      snprintf(line, sizeof line, " %zu %08x", content.size(), sum);
      entries.insert(path + line);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return entries;
}

std::set<std::string> SnapshotRegistry(HKEY root, const std::string& path) {
  std::set<std::string> entries;
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
  entries.insert(path + "\\");
  for (DWORD i = 0;; ++i) {
    char name[256], data[1024];
    DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, (BYTE*)data, &dataSize) != ERROR_SUCCESS) break;
    data[dataSize] = 0;
    entries.insert(path + "\\" + name + "=" + std::to_string(type) + ":" + std::string(data, dataSize));
  }
  std::vector<std::string> subkeys;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof name;
    if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.push_back(name);
  }
  RegCloseKey(key);
  for (const std::string& subkey : subkeys) {
    std::set<std::string> inner = SnapshotRegistry(root, path + "\\" + subkey);
    entries.insert(inner.begin(), inner.end());
  }
  return entries;
}

std::set<std::string> SnapshotMachine(const std::string& parent) {
  std::set<std::string> all;
  for (const std::string& f : SnapshotTree(parent)) all.insert("file " + f);
  for (const std::string& f : SnapshotTree(ProgramsFolder())) all.insert("menu " + f);
  for (const std::string& r : SnapshotRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"))
    all.insert("reg " + r);
  return all;
}

std::string ProgramsFolder() {
  char programs[MAX_PATH] = "";
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    DWORD size = sizeof programs - 1;
    RegQueryValueExA(key, "Programs", nullptr, nullptr, (BYTE*)programs, &size);
    RegCloseKey(key);
  }
  return programs;
}

HWND TestBackdrop() {
  static HWND backdrop;
  if (!backdrop) {
    HINSTANCE saved = InstallState.InstanceHandle;
    backdrop = CreateBackdropWindow(GetModuleHandleA(nullptr));
    if (saved) InstallState.InstanceHandle = saved;
  }
  return backdrop;
}

std::string SmallDrive() {
  UINT type = GetDriveTypeA("T:\\");
  return type == DRIVE_FIXED || type == DRIVE_REMOVABLE ? "T:\\" : "";
}

namespace {

// The host path of a Windows path, from Wine's own kernel32.
std::string UnixPathOf(const std::string& path) {
  typedef char*(WINAPI * UnixName)(LPCWSTR);
  UnixName unixName = (UnixName)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  WCHAR wide[MAX_PATH];
  if (!unixName || !MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)) return "";
  char* name = unixName(wide);
  if (!name) return "";
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

}  // namespace

// Runs a host program; its handle does not tell when it ends, so `done` is polled.
bool RunOnHost(const char* program, std::string command, bool (*done)(const std::string&), const std::string& path) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 100; ++i) {
    if (done(path)) return true;
    Sleep(50);
  }
  return false;
}

bool Shown(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool Gone(const std::string& path) { return !Shown(path); }

bool MakeHostLink(const std::string& link, const std::string& target) {
  std::string from = UnixPathOf(target), to = UnixPathOf(link);
  if (from.empty() || to.empty()) return false;
  if (!RunOnHost("Z:\\bin\\ln", "/bin/ln -s \"" + from + "\" \"" + to + "\"", Shown, link)) return false;
  return (GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool RemoveHostLink(const std::string& link) {
  std::string path = UnixPathOf(link);
  return !path.empty() && RunOnHost("Z:\\bin\\rm", "/bin/rm -f \"" + path + "\"", Gone, link);
}

std::string LinkTarget(const std::string& path) {
  std::string result;
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link)))
    return result;
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
  char text[MAX_PATH];
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file)) && SUCCEEDED(file->Load(wide, STGM_READ)) &&
      SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0)))
    result = text;
  if (file) file->Release();
  link->Release();
  return result;
}
