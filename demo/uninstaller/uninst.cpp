// Frelby's uninstaller. Until it undoes the install log, it tells the user how to
// remove the game by hand.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr,
              "Frelby kann noch nicht automatisch entfernt werden. Bitte löschen Sie den Programmordner von Hand.",
              "Frelby deinstallieren", MB_OK);
  return 0;
}
