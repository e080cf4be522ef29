// The product's names, spelled once for the installer, the uninstaller and the tests:
// its folders, shortcuts, group, uninstall entry, files and captions.
#pragma once

// The install folder's last level, below "ProgramFilesDir" or a folder the user chose.
inline constexpr char ProductFolder[] = "Frelby";
// The end marker's argument ("PN Frelby") and the backdrop's title.
inline constexpr char ProductName[] = "Frelby";
// The Start-menu folder below "Programs", and the Program Manager group on the old shell.
inline constexpr char ProgramFolderName[] = "Frelby";
inline constexpr char GroupName[] = "Frelby";
// The two shortcuts (".lnk" files in the Start-menu folder, items of the group).
inline constexpr char GameLinkName[] = "Frelby";
inline constexpr char UninstallLinkName[] = "Frelby deinstallieren";
// The uninstall entry: its subkey below "Uninstall" and its "DisplayName".
inline constexpr char UninstallKeyName[] = "FrelbyKey";
inline constexpr char UninstallDisplayName[] = "Frelby deinstallieren";
// Files of an installation: the game, its uninstaller and the install log.
inline constexpr char GameFile[] = "frelby.exe";
inline constexpr char UninstallerFile[] = "uninst.exe";
inline constexpr char LogFileName[] = "deinst.log";
// Message-box captions: the outcome's, the uninstaller's, and every error's.
inline constexpr char SetupCaption[] = "Frelby";
inline constexpr char UninstallerCaption[] = "Frelby deinstallieren";
inline constexpr char ErrorCaption[] = "Fehler";
// Held by setup.exe and uninst.exe for their whole run (the uninstaller's helper copy
// inherits it): a plain name, as Windows 95 and NT 4 take no backslash in one.
inline constexpr char RunMutexName[] = "FrelbySetupOrUninstallRunning";
