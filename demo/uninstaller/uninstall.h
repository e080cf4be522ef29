// Removing an installed Frelby: the install log in the install folder is undone from
// its last line to its first, with the installer's own rollback, passing over every
// record that would touch something outside what the installer made.
#pragma once

enum UninstallOutcome {
  UninstallComplete = 0,    // everything the installer made is gone
  UninstallFolderKept = 1,  // done; the folder stays because it holds other files
  UninstallNoLog = 2,       // no readable "deinst.log": nothing was touched
  UninstallStopped = 3,     // the log ended the undoing early (a damaged ID record)
};

// Sets the places records may name: the install folder (with its final backslash) and
// the "Programs" shell folder's Frelby folder. 0 when a path does not fit.
int SetTrustedPlaces(const char* installFolder);
// 1 when a record may be carried out by the uninstaller.
int RecordIsTrusted(const char* code, const char* argument);
// Undoes the log of installFolder (with its final backslash) and removes the log and
// the levels the installer created.
int UninstallFrom(const char* installFolder);
