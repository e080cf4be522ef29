// The uninstall entry under "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall".
#pragma once

// The key below HKEY_LOCAL_MACHINE that holds "Uninstall" and the system's folders.
inline constexpr char CurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// Writes the entry keyName for the installation in TargetFolder: "DisplayName", the quoted
// "UninstallString" and "QuietUninstallString" (with " /S"), "DisplayIcon" (the game),
// "InstallLocation", "NoModify" and "NoRepair" (1), "EstimatedSize" (KB, when this run
// extracted an archive), and "DisplayVersion", "Publisher" and "URLInfoAbout" from the
// uninstaller's version information, where it has them.
int RegisterUninstall(const char* keyName, const char* displayName, const char* uninstallerFile);
int RemoveUninstallKey(const char* keyName);
// Puts back the entry that RegisterUninstall kept aside, as it was; 1 when none was kept
// or it is back.
int RestoreUninstallKey(const char* keyName);
// Deletes the aside copy of the entry, once the run that replaced it has succeeded.
void DropUninstallKeyAside(const char* keyName);
// The install folder (FolderCapacity bytes, with its final backslash) that the entry
// keyName names with its "UninstallString" (quoted, or unquoted as earlier installations
// wrote it), when that folder still holds its install
// log; 1 when there is such an installation.
int ReadRegisteredInstallFolder(const char* keyName, char* folder);
// 1 when the entry keyName belongs to the installation in folder: its "UninstallString"
// names folder's uninstaller, or it has none to say otherwise (an entry a killed run left
// half written). 0 when it names another installation's.
int UninstallEntryBelongsTo(const char* keyName, const char* folder);
// 1 when the entry keyName exists.
int UninstallEntryExists(const char* keyName);
