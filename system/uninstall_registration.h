// The uninstall entry under "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall".
#pragma once

int RegisterUninstall(const char* keyName, const char* displayName, const char* uninstallerFile);
int RemoveUninstallKey(const char* keyName);
