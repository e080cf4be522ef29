// Every exit status of setup.exe and uninst.exe. Without options setup.exe ends with 0
// when the backdrop or start-up fails and with 1 once the wizard has run; with "/D="
// alone (no "/S") it ends the same way, or with SetupRefused.
#pragma once

enum ExitStatus {
  SetupSilentInstalled = 0,    // /S: installed
  SetupSilentFailed = 1,       // /S: the installation failed and was rolled back
  SetupRefused = 2,            // an unknown option, or a target that fails page 2's checks: nothing touched
  SetupSilentStartFailed = 3,  // /S: start-up failed (no payload, no Windows folder, ...): nothing touched
  UnattendedComplete = 0,      // uninst.exe /S (and its helper copy): everything the installer made is gone
  UnattendedFolderKept = 1,    // done, but something stays: the install folder holds files of the user's,
                               // or shortcuts lie in a Start menu not told as this machine's
  UnattendedFailed = 2,        // no readable or a damaged "deinst.log", or the copy did not start
  UnattendedRefused = 3,       // an unknown option: nothing was touched
  AnotherRunGoing = 4,         // both: another setup or uninstall runs; nothing was touched
  DoneRestartNeeded = 5,       // both, /S: done, and files that were in use go at the next restart
  UnattendedNotFromUninstaller = 6,  // uninst.exe: the helper's switch, given by anything but the
                                     // uninstaller: nothing was touched
  SetupSilentRollbackStopped = 6,  // /S: the installation failed and its rollback stopped with the log
                                   // kept: the next setup to that folder, or the uninstaller there,
                                   // undoes the rest
  // 7 and up: /S installed and the game runs, but a part the shell shows is missing: the
  // status is SetupSilentMissingBase plus the MissingPartValue bits (base/install_state.h),
  // 7 no Start-menu entries, 8 no uninstall entry, 9 neither. It wins over DoneRestartNeeded.
  SetupSilentMissingBase = 6,
};
