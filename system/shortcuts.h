// Start-menu shortcuts for the game and its uninstaller, or on the old shell a
// Program Manager group, made through DDE.
#pragma once

int CreateShortcuts();
int CreateProgramFolder(const char* name);
int CreateShellLink(const char* linkSubPath, const char* targetPath);
int SendProgmanCommand(const char* command);
int CreateProgmanGroup(const char* name);
int DeleteProgmanGroup(const char* name);
int AddProgmanItem(const char* groupName, const char* commandLine, const char* itemName);
// The "Programs" shell folder of the user (260 bytes); 1 when it was read.
int ReadProgramsFolder(char* programs);
