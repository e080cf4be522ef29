// What the records of an install log may touch, for the rollback and the uninstaller
// alike: the install folder (TargetFolder) and below, the Start-menu folder "Frelby" and
// below, the uninstall key "FrelbyKey" and the Program Manager group "Frelby". The
// Start-menu folder of another account (the one that installed, when an administrator or
// SYSTEM uninstalls) is trusted only as a folder "Frelby" below a profile folder that
// ProfileList names (or below all users' Programs folder), and in it only the two
// shortcuts' files. A record this list does not name is refused, whatever its kind. No
// path is followed through a link on the way: a link itself may be removed, never what
// lies behind it.
#pragma once

// Reads the places records may name, for the log of TargetFolder. Gives MenuKnown, or
// why this account's Start-menu folder is not known (only another account's rule holds
// then): MenuAbsent, the account has none that can be reached; MenuUnreadable, a call
// failed on the way.
enum MenuState { MenuUnreadable = 0, MenuKnown = 1, MenuAbsent = 2 };
int LoadTrustedPlaces();
// 1 when a path has the shape of this installer's own shortcuts: for the Start-menu
// folder's kind a path ending with "\\Frelby", for the others "...\\Frelby\\Frelby.lnk" or
// "...\\Frelby\\Frelby deinstallieren.lnk".
int NamesOwnShortcut(int kind, const char* path);
// 1 when the record (its kind's Trust) may be carried out.
int RecordIsTrusted(int kind, const char* argument);
// 1 when the kind's records can only be trusted while the Start menu's folder is known.
int RecordNeedsMenu(int kind);
// 1 when no component of `relative` below `folder` (which ends with a backslash) is a
// link; the last component is looked at too when lastToo is 1.
int PathIsLinkFree(const char* folder, const char* relative, int lastToo);
