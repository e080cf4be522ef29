// The uninstall entry under "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall".
#pragma once

int RegisterUninstall(const char* keyName, const char* displayName, const char* uninstallerFile);
int RemoveUninstallKey(const char* keyName);
// Puts back the entry that RegisterUninstall kept aside, as it was; 1 when none was kept
// or it is back.
int RestoreUninstallKey(const char* keyName);
// Deletes the aside copy of the entry, once the run that replaced it has succeeded.
void DropUninstallKeyAside(const char* keyName);
