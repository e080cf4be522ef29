// The one process-wide installer state, its value tables, and the platform kind.
#pragma once
#include <windows.h>
#include <stdio.h>

enum {
  FolderCapacity = 300,
  PathCapacity = 500,
  CopyBufferSize = 10000,
  CreatedDirCapacity = 120,
};

enum FailureCodeValue {
  FailureNone = 0,
  FailureComInit = 1,
  FailurePayloadMissing = 2,
  FailurePayloadEmpty = 3,
  FailureVersionKey = 4,
  FailureTargetLevel = 5,
  FailureLogCreate = 6,
  FailureStageResourceMissing = 7,
  FailureStageResourceLoad = 8,
  FailureStageResourceEmpty = 9,
  FailureStagedCreate = 10,
  FailureLzOpen = 11,
  FailureExpandedCreate = 12,
  FailureLzRead = 13,
  FailureArchiveOpen = 14,
  FailureEntryFolder = 15,
  FailureEntryCreate = 16,
  FailureCancelled = 17,
  FailureWindowsFolder = 18,
  FailureLogWrite = 19,  // a record of the install log, or its closing, did not reach the disk
  FailurePayloadDamaged = 20,
  FailureLogInUse = 21,  // the target folder's log is held open by a run still going
  FailureFilesInUse = 22,  // "Abbrechen" when a file of the earlier installation was in use
  FailureLogUnreadable = 23,  // the target folder's log is there but could not be read
};

enum WizardPageValue {
  PageWelcome = 1,
  PageTargetFolder = 2,
  PageConfirmation = 3,
  PageProgress = 4,
  PageFinished = 5,
};

// What the shell shows of an installation that its steps could not make: the
// installation works without it. Bits of InstallState.MissingParts.
enum MissingPartValue {
  MissingShortcuts = 1,       // the Start-menu shortcuts, or the Program Manager group
  MissingUninstallEntry = 2,  // the entry in the list of installed programs
};

enum PlatformKindValue {
  PlatformProgramManager = 0,
  PlatformWindows9x = 1,
  PlatformNt = 2,
};

struct InstallStateRecord {
  int FailureCode;
  int WizardPage;
  unsigned char PlatformKind;
  unsigned PayloadSize;
  char TargetFolder[FolderCapacity];
  char WindowsFolder[FolderCapacity];
  HINSTANCE InstanceHandle;
  FILE* LogFile;
  char LogPath[PathCapacity];
  int LogOpened;
  char StagedPayloadPath[PathCapacity];
  int StagedPayloadPresent;
  char ExpandedPayloadPath[PathCapacity];
  int ExpandedPayloadPresent;
  unsigned ExpandedSize;
  unsigned ArchiveFilesSize;  // the sum of the archive entries' sizes, once extraction began
  int CreatedDirFlags[CreatedDirCapacity];
  int CreatedDirCount;  // the levels of TargetFolder that the level walk handled
  int LogKeptAside;     // an earlier installation's log was kept aside for this run
  int LevelRecordLost;  // this run's ID record did not reach its log
  unsigned char CopyBuffer[CopyBufferSize];
  char ScratchPath[PathCapacity];
  int PendingLogLines;
  int Silent;  // setup.exe /S: no window, no message box
  int MissingParts;  // MissingPartValue bits: what the shortcut and registration steps did not make
};

extern InstallStateRecord InstallState;

// Platform kind for a Windows version (GetVersionExA's major version and platform id).
unsigned char PlatformKindFor(DWORD majorVersion, DWORD platformId);
// The platform kind of the Windows this program runs on.
unsigned char CurrentPlatformKind();
