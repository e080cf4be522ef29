#include "shell/install_state.h"

#include <commctrl.h>
#include <objbase.h>
#include <stdarg.h>
#include <string.h>

#include "resources/resource_ids.h"
#include "shell/step_schedule.h"
#include "shell/wizard_pages.h"
#include "system/install_log.h"
#include "system/rollback.h"

InstallStateRecord InstallState;

namespace {

const char CurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char ProductFolder[] = "Frelby";

// Used when "ProgramFilesDir" cannot be read or is too long to take "Frelby":
// the programs folder on the drive of the Windows folder.
void FormFallbackTargetFolder() {
  char drive = InstallState.WindowsFolder[0] ? InstallState.WindowsFolder[0] : 'C';
  FormatBounded(InstallState.TargetFolder, FolderCapacity, "%c:\\Programme\\%s\\", drive, ProductFolder);
}

}  // namespace

int CopyBounded(char* destination, size_t capacity, const char* text) {
  size_t length = strlen(text);
  if (length >= capacity) return 0;
  memcpy(destination, text, length + 1);
  return 1;
}

int FormatBounded(char* destination, size_t capacity, const char* format, ...) {
  char scratch[1100];
  va_list args;
  va_start(args, format);
  // The system's own formatter: -1 when the text does not fit, and no end byte when it
  // fills the buffer exactly; both are refused below.
  int length = _vsnprintf(scratch, sizeof scratch, format, args);
  va_end(args);
  if (length < 0 || (size_t)length >= sizeof scratch || (size_t)length >= capacity) return 0;
  memcpy(destination, scratch, (size_t)length + 1);
  return 1;
}

unsigned char PlatformKindFor(DWORD majorVersion, DWORD platformId) {
  if (majorVersion < 4) return PlatformProgramManager;
  if (platformId == VER_PLATFORM_WIN32_WINDOWS) return PlatformWindows9x;
  if (platformId == VER_PLATFORM_WIN32_NT) return PlatformNt;
  return PlatformProgramManager;
}

int FormDefaultTargetFolder(const char* programFilesDir) {
  size_t length = strlen(programFilesDir);
  const char* separator = (length > 0 && programFilesDir[length - 1] == '\\') ? "" : "\\";
  return FormatBounded(InstallState.TargetFolder, FolderCapacity, "%s%s%s\\", programFilesDir, separator,
                       ProductFolder);
}

int InitInstallState() {
  InstallState.FailureCode = FailureNone;
  InitCommonControls();

  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  InstallState.PlatformKind = PlatformKindFor(version.dwMajorVersion, version.dwPlatformId);

  if (CoInitialize(nullptr) != S_OK) {
    InstallState.FailureCode = FailureComInit;
    return 0;
  }
  HRSRC payload = FindResourceA(InstallState.InstanceHandle, MAKEINTRESOURCEA(IDR_PAYLOAD), PayloadResourceType);
  if (!payload) {
    InstallState.FailureCode = FailurePayloadMissing;
    return 0;
  }
  InstallState.PayloadSize = SizeofResource(InstallState.InstanceHandle, payload);
  if (InstallState.PayloadSize == 0) {
    InstallState.FailureCode = FailurePayloadEmpty;
    return 0;
  }
  UINT windowsLength = GetWindowsDirectoryA(InstallState.WindowsFolder, FolderCapacity);
  if (windowsLength == 0 || windowsLength > FolderCapacity) {
    InstallState.WindowsFolder[0] = 0;
    MessageBoxA(nullptr, "Das Windows-Hauptverzeichnis konnte nicht erkannt werden.", "Fehler", MB_OK);
    InstallState.FailureCode = FailureWindowsFolder;
    return 0;
  }
  InstallState.WizardPage = PageWelcome;

  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersionKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    InstallState.FailureCode = FailureVersionKey;
    return 0;
  }
  char value[1001];
  DWORD size = 1000, type = 0;
  LONG read = RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, (BYTE*)value, &size);
  RegCloseKey(key);
  int readable = read == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ);
  if (readable) {
    value[size < 1000 ? size : 1000] = 0;
    readable = FormDefaultTargetFolder(value);
  }
  if (!readable) FormFallbackTargetFolder();
  return 1;
}

void RunWizard(HWND backdrop) {
  do {
    int templateId;
    DLGPROC procedure;
    switch (InstallState.WizardPage) {
      case PageWelcome: templateId = IDD_WELCOME; procedure = WelcomePage; break;
      case PageTargetFolder: templateId = IDD_TARGET_FOLDER; procedure = TargetFolderPage; break;
      case PageConfirmation: templateId = IDD_CONFIRMATION; procedure = ConfirmationPage; break;
      default: templateId = IDD_PROGRESS; procedure = ProgressPage; break;
    }
    INT_PTR result = DialogBoxParamA(InstallState.InstanceHandle, MAKEINTRESOURCEA(templateId), backdrop,
                                     procedure, 0);
    // A page that could not be created (-1) ends the wizard like a cancel: showing
    // it again would fail again.
    if (result == 0 || result == -1) {
      InstallState.FailureCode = FailureCancelled;
      return;
    }
  } while (InstallState.WizardPage < PageFinished);
}

void FinishInstallation(HWND backdrop) {
  if (InstallState.LogFile) {
    AppendLogRecord("PN", ProductFolder);
    fclose(InstallState.LogFile);
    InstallState.LogFile = nullptr;
  }
  if (InstallState.FailureCode != FailureNone) {
    MessageBoxA(backdrop, "Die Installation wurde abgebrochen.", "Frelby", MB_OK);
    RollBackInstallation();
  } else {
    MessageBoxA(backdrop, "Die Installation wurde erfolgreich durchgeführt.", "Frelby", MB_OK);
  }
}
