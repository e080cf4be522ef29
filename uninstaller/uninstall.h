// Removing an installed Frelby: the install log in the install folder is undone from
// its last line to its first, with the installer's own rollback and its trust rule, the
// records it carried over from an installation it replaced included.
#pragma once

enum UninstallOutcome {
  UninstallComplete = 0,    // everything the installer made is gone
  UninstallFolderKept = 1,  // done; the folder stays because it holds other files
  UninstallNoLog = 2,       // no readable "deinst.log": nothing was touched
  UninstallStopped = 3,     // the log ended the undoing early (a damaged ID record)
  UninstallAtRestart = 4,   // done; files that were in use go at the next restart
  UninstallShortcutsKept = 5,  // done, but shortcuts of the installation stay: they lie in
                               // a Start menu the trust rule cannot tell as this machine's
};

// Takes installFolder (with its final backslash, a drive root too) as TargetFolder and
// its "deinst.log" as LogPath; 0 when it is no such folder or does not fit.
int SetInstallFolder(const char* installFolder);
// Undoes the log of installFolder (with its final backslash) and removes the log and
// the levels the installer created (UninstallShortcutsKept before the folder's outcome
// when a shortcut it names stays); those levels stay in CreatedDirCount and
// CreatedDirFlags, for removing them once more when a file in them could only go later.
int UninstallFrom(const char* installFolder);
// What an uninstall has left of folder (with its final backslash): UninstallFolderKept
// when it holds anything but the file `except` and what waits for the next restart,
// UninstallAtRestart when something waits, else UninstallComplete.
int OutcomeOfFolder(const char* folder, const char* except);
// Asks while a file the log of installFolder names is in use; 0 when the user chose
// "Abbrechen".
int NoFileOfLogHeld(const char* installFolder);
