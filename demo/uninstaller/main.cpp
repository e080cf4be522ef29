// Frelby's uninstaller: asks once, then removes what the install log records, and says
// how it went.
#include <windows.h>
#include <string.h>

#include "self_delete.h"
#include "shell/bounded_text.h"
#include "shell/install_state.h"
#include "uninstall.h"

namespace {

const char Caption[] = "Frelby deinstallieren";

// The folder of this program, with its final backslash.
int OwnFolder(char* folder, DWORD capacity) {
  DWORD length = GetModuleFileNameA(nullptr, folder, capacity);
  if (length == 0 || length >= capacity) return 0;
  while (length > 0 && folder[length - 1] != '\\') folder[--length] = 0;
  return length > 0;
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
    case UninstallNoLog:
      message = "Die Datei \"deinst.log\" wurde nicht gefunden. Frelby kann nicht entfernt werden.";
      icon = MB_ICONSTOP;
      break;
    default:
      message = "Die Datei \"deinst.log\" ist beschädigt. Frelby konnte nicht vollständig entfernt werden.";
      icon = MB_ICONSTOP;
      break;
  }
  MessageBoxA(nullptr, message, Caption, MB_OK | icon);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  char folder[PathCapacity];
  HANDLE original = nullptr;
  if (ReadHelperArguments(commandLine, folder, sizeof folder, &original)) {
    // The original's file can only go once it has ended.
    WaitForSingleObject(original, 30000);
    CloseHandle(original);
    int outcome = UninstallFrom(folder);
    ShowOutcome(outcome, folder);
    return outcome == UninstallComplete || outcome == UninstallFolderKept ? 0 : 1;
  }
  if (!OwnFolder(folder, sizeof folder)) return 1;
  // German buttons ("Ja", "Nein") whatever the system's language.
  if (MessageBoxExA(nullptr, "Möchten Sie Frelby und alle zugehörigen Komponenten von Ihrem Computer entfernen?",
                    Caption, MB_YESNO | MB_ICONQUESTION, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)) != IDYES)
    return 0;
  if (!StartHelperCopy(folder)) {
    MessageBoxA(nullptr, "Die Deinstallation konnte nicht gestartet werden. Es wurde nichts entfernt.", Caption,
                MB_OK | MB_ICONSTOP);
    return 1;
  }
  return 0;
}
