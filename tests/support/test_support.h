// Helpers shared by the suites: fresh state, scratch folders, files, snapshots.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <set>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

// Zeroes InstallState and the schedule's counters, and points InstanceHandle at the
// test program's own resources.
void ResetInstallState();
// What Windows 95/98 do at the next start: deletes each "NUL=" file of wininit.ini's
// [rename] section, then wininit.ini; 1 when all went (else wininit.ini stays).
int CarryOutWininit();
// A new, empty folder C:\frelby-tests\<name>\ (with trailing backslash).
std::string ScratchFolder(const std::string& name);
void RemoveTree(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
void WriteText(const std::string& path, const std::string& text);
Bytes ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The demo payload as the build packed it, and its expanded archive.
Bytes DemoPayload();
Bytes DemoArchive();
// The source file of a demo payload entry, by its entry name.
Bytes DemoEntrySource(const std::string& entryName);
std::vector<std::string> DemoEntryNames();
// Sets TargetFolder and the derived paths as the wizard leaves them.
void SetTarget(const std::string& folder);

// Every file and folder below a folder, with file sizes and contents' checksums.
std::set<std::string> SnapshotTree(const std::string& folder);
// Every key and value below a registry key, as text.
std::set<std::string> SnapshotRegistry(HKEY root, const std::string& path);
// Files with their contents below a folder, the Start menu and the uninstall entries.
std::set<std::string> SnapshotMachine(const std::string& parent);
// The user's "Programs" shell folder.
std::string ProgramsFolder();
// The program a shortcut starts; "" when it cannot be read.
std::string LinkTarget(const std::string& path);
// Where a host file of the build lies for a Win32 program.
std::string HostPath(const char* unixPath);

// "T:\\", a drive of 4 MB that tests may fill, when the session provides it; else "".
std::string SmallDrive();

// The backdrop window of the test process, created once.
HWND TestBackdrop();

// A directory link at `link` (a Windows path) to the folder `target`, made on the host as
// a symbolic link, which Wine shows as a reparse point. False where it cannot be made.
bool MakeHostLink(const std::string& link, const std::string& target);
bool RemoveHostLink(const std::string& link);
