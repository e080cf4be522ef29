// What the records of an install log may touch, for the rollback and the uninstaller
// alike: the install folder (TargetFolder) and below, the Start-menu folder "Frelby" and
// below, the uninstall key "FrelbyKey" and the Program Manager group "Frelby". A record
// this list does not name is refused, whatever its kind. No path is followed through a
// link on the way: a link itself may be removed, never what lies behind it.
#pragma once

// Reads the places records may name, for the log of TargetFolder; 0 when the Start
// menu's folder could not be read (no shortcut record is trusted then).
int LoadTrustedPlaces();
// 1 when the record (its kind's Trust) may be carried out.
int RecordIsTrusted(int kind, const char* argument);
// 1 when the kind's records can only be trusted while the Start menu's folder is known.
int RecordNeedsMenu(int kind);
// 1 when no component of `relative` below `folder` (which ends with a backslash) is a
// link; the last component is looked at too when lastToo is 1.
int PathIsLinkFree(const char* folder, const char* relative, int lastToo);
