#include "shell/wizard_pages.h"

#include <shlobj.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/entry_names.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "resources/resource_ids.h"
#include "shell/backdrop_window.h"

namespace {

void SetButtonEnabled(HWND page, int enabled) {
  HWND button = GetDlgItem(page, IDOK);
  LONG style = GetWindowLongA(button, GWL_STYLE);
  SetWindowLongA(button, GWL_STYLE, enabled ? (style & ~WS_DISABLED) : (style | WS_DISABLED));
  InvalidateRect(button, nullptr, FALSE);
}

int ButtonEnabled(HWND page) {
  return !(GetWindowLongA(GetDlgItem(page, IDOK), GWL_STYLE) & WS_DISABLED);
}

void UpdateSpaceLabels(HWND page, unsigned long long free) {
  char work[PathCapacity];
  FormatBounded(work, sizeof work, "%u KB", RequiredSpaceKB());
  SetWindowTextA(GetDlgItem(page, IDC_REQUIRED_VALUE), work);
  FormatBounded(work, sizeof work, "%I64u KB", free);
  SetWindowTextA(GetDlgItem(page, IDC_FREE_VALUE), work);
  FormatBounded(work, sizeof work, "Freier Speicher auf %c:\\", InstallState.TargetFolder[0]);
  SetWindowTextA(GetDlgItem(page, IDC_FREE_LABEL), work);
}

void RecheckTarget(HWND page) {
  SetButtonEnabled(page, CheckTargetDrive(InstallState.TargetFolder));
  int letter = UpperAscii(InstallState.TargetFolder[0]);
  unsigned long long free = 0;
  if (letter >= 'C' && letter <= 'Z') {
    char root[4] = {(char)letter, ':', '\\', 0};
    free = FreeSpaceKB(root);
  }
  UpdateSpaceLabels(page, free);
}

// Opening of pages 2 and 3 after their texts: button 1 by the same full check as a typed
// target (a stored text can be one "Weiter" refused, left by "Zurück"), then the labels
// with the free space of the stored target's drive.
void ShowSpaceOfStoredTarget(HWND page) {
  char root[4] = {InstallState.TargetFolder[0], ':', '\\', 0};
  unsigned long long free = FreeSpaceKB(root);
  SetButtonEnabled(page, CheckTargetDrive(InstallState.TargetFolder));
  UpdateSpaceLabels(page, free);
}

// The folders after the drive part: none (a drive root) or storable names, one backslash
// between them and at most one at the end. No ".", "..", "/" or doubled backslash.
int FolderPartIsSafe(const char* rest) {
  char work[PathCapacity];
  if (!CopyBounded(work, sizeof work, rest)) return 0;
  size_t length = strlen(work);
  if (length > 0 && work[length - 1] == '\\') work[--length] = 0;
  return length == 0 || RelativePathIsSafe(work);
}

// A text fits TargetFolder when it still does with the backslash "Weiter" appends.
int FitsTargetFolder(const char* text) {
  size_t length = strlen(text);
  size_t needed = length + ((length > 0 && text[length - 1] == '\\') ? 0 : 1);
  return needed < FolderCapacity;
}

INT_PTR EndPage(HWND page, int result, int nextPage) {
  EndDialog(page, result);
  if (result) InstallState.WizardPage = nextPage;
  return 1;
}

void HandleTargetEdited(HWND page) {
  char work[PathCapacity];
  GetWindowTextA(GetDlgItem(page, IDC_TARGET_EDIT), work, PathCapacity);
  if (!FitsTargetFolder(work)) {
    // Too long for TargetFolder: never stored, and the page cannot go on with it.
    SetButtonEnabled(page, 0);
    return;
  }
  CopyBounded(InstallState.TargetFolder, FolderCapacity, work);
  RecheckTarget(page);
}

void BrowseForTarget(HWND page) {
  char work[PathCapacity];
  BROWSEINFOA info;
  memset(&info, 0, sizeof info);
  info.hwndOwner = page;
  info.pszDisplayName = work;
  info.lpszTitle = "Bitte wählen Sie den Zielpfad:";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
  if (chosen) {
    if (SHGetPathFromIDListA(chosen, work)) {
      size_t length = strlen(work);
      const char* format = (length > 0 && work[length - 1] == '\\') ? "%s%s\\" : "%s\\%s\\";
      char candidate[PathCapacity];
      // A folder too deep to take "Frelby" leaves the target as it was.
      if (FormatBounded(candidate, sizeof candidate, format, work, ProductFolder) && FitsTargetFolder(candidate))
        CopyBounded(InstallState.TargetFolder, FolderCapacity, candidate);
    }
    CoTaskMemFree(chosen);
  }
  SetWindowTextA(GetDlgItem(page, IDC_TARGET_EDIT), InstallState.TargetFolder);
  RecheckTarget(page);
}

}  // namespace

unsigned RequiredSpaceKB() {
  return (InstallState.PayloadSize >> 10) * 2 + 2048;
}

unsigned long long FreeSpaceKB(const char* root) {
  DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
  if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) return 0;
  return (unsigned long long)sectorsPerCluster * bytesPerSector * freeClusters / 1024;
}

int CheckTargetDrive(const char* path) {
  int letter = UpperAscii(path[0]);
  if (letter < 'C' || letter > 'Z') return 0;
  if (path[1] != ':' || path[2] != '\\') return 0;
  if (!FolderPartIsSafe(path + 3)) return 0;
  char root[4] = {path[0], ':', '\\', 0};
  UINT type = GetDriveTypeA(root);
  if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) return 0;
  // A drive whose free space cannot be read counts 0 KB free, less than ever required.
  return FreeSpaceKB(root) >= RequiredSpaceKB();
}

void PreparePageWindow(HWND page) {
  SetSetupIcons(page);
  RECT rect;
  GetWindowRect(page, &rect);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  SetWindowPos(page, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
  ShowWindow(page, SW_SHOW);
}

INT_PTR CALLBACK WelcomePage(HWND page, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    PreparePageWindow(page);
    SetWindowTextA(GetDlgItem(page, IDC_WELCOME_TEXT), "Dieses Programm installiert Frelby.");
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  if (wParam == IDOK) return EndPage(page, 1, PageTargetFolder);
  if (wParam == IDCANCEL) return EndPage(page, 0, 0);
  return 0;
}

INT_PTR CALLBACK TargetFolderPage(HWND page, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    PreparePageWindow(page);
    SetWindowTextA(GetDlgItem(page, IDC_TARGET_TEXT), "Bitte wählen Sie den gewünschten Zielpfad.");
    SendMessageA(GetDlgItem(page, IDC_TARGET_EDIT), EM_LIMITTEXT, FolderCapacity - 2, 0);
    SetWindowTextA(GetDlgItem(page, IDC_TARGET_EDIT), InstallState.TargetFolder);
    ShowSpaceOfStoredTarget(page);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  if (HIWORD(wParam) == EN_CHANGE) {
    HandleTargetEdited(page);
    return 0;
  }
  switch (wParam) {
    case IDOK: {
      if (!ButtonEnabled(page)) return 1;  // a target that failed its check never goes on
      size_t length = strlen(InstallState.TargetFolder);
      if (length == 0 || InstallState.TargetFolder[length - 1] != '\\') {
        InstallState.TargetFolder[length] = '\\';
        InstallState.TargetFolder[length + 1] = 0;
      }
      return EndPage(page, 1, PageConfirmation);
    }
    case IDC_BACK: return EndPage(page, 1, PageWelcome);
    case IDCANCEL: return EndPage(page, 0, 0);
    case IDC_BROWSE: BrowseForTarget(page); return 1;
  }
  return 0;
}

INT_PTR CALLBACK ConfirmationPage(HWND page, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    PreparePageWindow(page);
    SetWindowTextA(GetDlgItem(page, IDC_CONFIRM_TEXT), "Klicken Sie auf INSTALLIEREN, um die Installation zu starten.");
    SetWindowTextA(GetDlgItem(page, IDC_TARGET_PATH), InstallState.TargetFolder);
    ShowSpaceOfStoredTarget(page);
    return 0;
  }
  if (message != WM_COMMAND) return 0;
  if (wParam == IDOK) return ButtonEnabled(page) ? EndPage(page, 1, PageProgress) : 1;
  if (wParam == IDC_BACK) return EndPage(page, 1, PageTargetFolder);
  if (wParam == IDCANCEL) return EndPage(page, 0, 0);
  return 0;
}
