// Start-menu shortcuts for the game and its uninstaller, or on the old shell a
// Program Manager group, made through DDE.
#pragma once

int CreateShortcuts();
int CreateProgramFolder(const char* name);
int CreateShellLink(const char* linkSubPath, const char* targetPath);
int DeleteProgmanGroup(const char* name);
int AddProgmanItem(const char* groupName, const char* commandLine, const char* itemName);
// 1 when the shortcut at linkPath belongs to the installation in folder (with its final
// backslash): its target lies there, or it cannot be read as a shortcut at all. 0 when it
// starts a program of another folder.
int ShellLinkBelongsTo(const char* linkPath, const char* folder);
