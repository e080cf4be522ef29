// Frelby's uninstaller: asks once, then removes what the install log records, and says
// how it went. "/S": no question, no message; the exit status tells the outcome.
#include <windows.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/exit_statuses.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "system/dll_loading.h"
#include "system/restart_removal.h"
#include "system/rollback.h"
#include "system/single_run.h"
#include "uninstaller/self_delete.h"
#include "uninstaller/uninstall.h"

namespace {

// The folder of this program, with its final backslash.
int OwnFolder(char* folder, DWORD capacity) {
  DWORD length = GetModuleFileNameA(nullptr, folder, capacity);
  if (length == 0 || length >= capacity) return 0;
  while (length > 0 && folder[length - 1] != '\\') folder[--length] = 0;
  return length > 0;
}

int UninstallDone(int outcome) {
  return outcome == UninstallComplete || outcome == UninstallFolderKept || outcome == UninstallAtRestart ||
         outcome == UninstallShortcutsKept;
}

void ShowOutcome(int outcome, const char* folder) {
  char text[PathCapacity + 200];
  const char* message = text;
  UINT icon = MB_ICONINFORMATION;
  switch (outcome) {
    case UninstallComplete:
      message = "Frelby wurde vollständig von Ihrem Computer entfernt.";
      break;
    case UninstallFolderKept:
      if (!FormatBounded(text, sizeof text,
                         "Frelby wurde von Ihrem Computer entfernt. Der Ordner %s enthält noch weitere Dateien "
                         "und wurde deshalb nicht gelöscht.", folder))
        message = "Frelby wurde von Ihrem Computer entfernt. Der Programmordner enthält noch weitere Dateien.";
      break;
    case UninstallShortcutsKept:
      message = "Frelby wurde von Ihrem Computer entfernt, seine Verknüpfungen im Startmenü aber nicht: Sie liegen "
                "in einem Startmenü, das nicht sicher als eines dieses Computers erkannt wurde. Bitte löschen Sie "
                "dort den Ordner \"Frelby\".";
      break;
    case UninstallAtRestart:
      message = "Frelby wurde von Ihrem Computer entfernt. Einige Dateien werden noch verwendet. Sie werden beim "
                "nächsten Neustart von Windows entfernt.";
      break;
    case UninstallNoLog:
      message = "Die Datei \"deinst.log\" wurde nicht gefunden. Frelby kann nicht entfernt werden.";
      icon = MB_ICONSTOP;
      break;
    default:
      message = "Die Datei \"deinst.log\" ist beschädigt. Frelby konnte nicht vollständig entfernt werden.";
      icon = MB_ICONSTOP;
      break;
  }
  MessageBoxA(nullptr, message, UninstallerCaption, MB_OK | icon);
}

// The copy of an unattended uninstall: undoes the log while the original still runs
// and waits for the report, reports, and once the original has ended removes its file
// and the folders that held it.
int RunUnattendedHelper(const HelperArguments& arguments) {
  DeleteLaterByCaller(arguments.OriginalFile);
  int outcome = UninstallFrom(arguments.InstallFolder);
  int done = UninstallDone(outcome);
  const char* name = strrchr(arguments.OriginalFile, '\\') + 1;
  int originalLeft = done && GetFileAttributesA(arguments.OriginalFile) != INVALID_FILE_ATTRIBUTES;
  int left = done ? OutcomeOfFolder(arguments.InstallFolder, originalLeft ? name : "") : UninstallStopped;
  int status = !done                                                             ? UnattendedFailed
               : left == UninstallFolderKept || outcome == UninstallShortcutsKept ? UnattendedFolderKept
               : left == UninstallAtRestart                                     ? (int)DoneRestartNeeded
                                                                                : UnattendedComplete;
  char byte = (char)status;
  DWORD written = 0;
  WriteFile(arguments.Report, &byte, 1, &written, nullptr);
  CloseHandle(arguments.Report);
  WaitForSingleObject(arguments.Original, 30000);
  CloseHandle(arguments.Original);
  if (originalLeft && DeleteFileA(arguments.OriginalFile)) RemoveCreatedLevels(InstallState.CreatedDirCount, InstallState.CreatedDirFlags);
  return status;
}

// The copy of an uninstall with its question: once the original has ended (its file can
// only go then), undoes the log and says how it went.
int RunHelper(const HelperArguments& arguments) {
  WaitForSingleObject(arguments.Original, 30000);
  CloseHandle(arguments.Original);
  if (!NoFileOfLogHeld(arguments.InstallFolder)) return 1;
  int outcome = UninstallFrom(arguments.InstallFolder);
  ShowOutcome(outcome, arguments.InstallFolder);
  return UninstallDone(outcome) ? 0 : 1;
}

// "uninst.exe /S": starts the copy and ends with the status it reports.
int RunUnattended() {
  char folder[PathCapacity];
  HANDLE report = nullptr;
  if (!OwnFolder(folder, sizeof folder) || !StartHelperCopy(folder, &report)) return UnattendedFailed;
  char byte = 0;
  DWORD read = 0;
  int reported = ReadFile(report, &byte, 1, &read, nullptr) && read == 1;
  CloseHandle(report);
  if (!reported || byte < UnattendedComplete || (byte > UnattendedFailed && byte != DoneRestartNeeded))
    return UnattendedFailed;
  return byte;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  LimitDllSearchToSystemFolder();
  char folder[PathCapacity];
  HelperArguments helper;
  if (ReadHelperArguments(commandLine, &helper)) {
    if (!StartedByUninstaller(helper)) return UnattendedNotFromUninstaller;
    int status = helper.Report ? RunUnattendedHelper(helper) : RunHelper(helper);
    LeaveHelperFolder(helper);
    return status;
  }
  // Options: "/S" only (any letter case); anything else is refused before anything
  // is touched, with a message unless /S is among them.
  int silent = 0;
  const char* unknown = nullptr;
  size_t unknownLength = 0;
  for (const char* p = commandLine; *p;) {
    while (IsBlank(*p)) ++p;
    const char* start = p;
    while (*p && !IsBlank(*p)) ++p;
    size_t length = (size_t)(p - start);
    if (length == 0) break;
    if (length == 2 && start[0] == '/' && (start[1] == 'S' || start[1] == 's')) {
      silent = 1;
    } else if (!unknown) {
      unknown = start;
      unknownLength = length;
    }
  }
  if (unknown) {
    if (!silent) {
      char text[200];
      if (!FormatBounded(text, sizeof text, "Die Option \"%.*s\" ist unbekannt. Es wurde nichts entfernt.\n\n"
                                            "Die Deinstallation kennt nur /S (ohne Fragen und Meldungen).",
                         (int)(unknownLength < 60 ? unknownLength : 60), unknown))
        CopyBounded(text, sizeof text, "Unbekannte Option. Es wurde nichts entfernt.");
      MessageBoxA(nullptr, text, UninstallerCaption, MB_OK | MB_ICONSTOP);
    }
    return UnattendedRefused;
  }
  // The helper copy inherits the mutex: the two are one run.
  if (!ClaimTheOnlyRun()) return RefuseSecondRun(silent);
  if (silent) return RunUnattended();
  if (!OwnFolder(folder, sizeof folder)) return 1;
  // German buttons ("Ja", "Nein") whatever the system's language.
  if (MessageBoxExA(nullptr, "Möchten Sie Frelby und alle zugehörigen Komponenten von Ihrem Computer entfernen?",
                    UninstallerCaption, MB_YESNO | MB_ICONQUESTION, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)) != IDYES)
    return 0;
  if (!StartHelperCopy(folder, nullptr)) {
    MessageBoxA(nullptr, "Die Deinstallation konnte nicht gestartet werden. Es wurde nichts entfernt.", UninstallerCaption,
                MB_OK | MB_ICONSTOP);
    return 1;
  }
  return 0;
}
