#include "shell/setup_run.h"

#include <string.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "resources/resource_ids.h"
#include "shell/step_schedule.h"
#include "shell/wizard_pages.h"
#include "system/install_log.h"
#include "system/kept_aside.h"
#include "system/restart_removal.h"
#include "system/rollback.h"

namespace {

// What the last message says for each part an installation lacks.
struct MissingPartText {
  int Part;
  const char* Text;
};
const MissingPartText MissingPartTexts[] = {
    {MissingShortcuts, "Es wurden keine Einträge im Startmenü angelegt: Der Ordner \"Programme\" des Startmenüs "
                       "konnte nicht erreicht werden. Sie starten Frelby mit der Datei frelby.exe im Programmordner."},
};

// Adds "\n\n" and a paragraph to text when both fit whole.
void AddParagraph(char* text, size_t capacity, const char* paragraph) {
  size_t length = strlen(text);
  FormatBounded(text + length, capacity - length, "\n\n%s", paragraph);
}

// The last message of an installation that succeeded.
void ShowInstalled(HWND backdrop) {
  char text[1000];
  CopyBounded(text, sizeof text, InstallState.MissingParts ? "Die Installation wurde durchgeführt. Frelby ist "
                                                             "installiert, aber nicht vollständig:"
                                                           : "Die Installation wurde erfolgreich durchgeführt.");
  for (const MissingPartText& missing : MissingPartTexts)
    if (InstallState.MissingParts & missing.Part) AddParagraph(text, sizeof text, missing.Text);
  if (RemovalsWaitingForRestart())
    AddParagraph(text, sizeof text, "Einige Dateien der vorigen Installation werden noch verwendet. Sie "
                                     "werden beim nächsten Neustart von Windows entfernt.");
  MessageBoxA(backdrop, text, SetupCaption, MB_OK);
}

// Closes the log of the run; 1 when the run succeeded, and then what it kept aside goes.
int CloseRun() {
  // A log that cannot be closed whole could not undo the installation: that fails it.
  CloseInstallLog(ProductName);
  if (InstallState.FailureCode != FailureNone) return 0;
  // Only now is what the run replaced no longer needed.
  if (InstallState.LogOpened) DropKeptAsides(InstallState.LogPath);
  return 1;
}

}  // namespace

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
  if (!CloseRun()) {
    MessageBoxA(backdrop, "Die Installation wurde abgebrochen.", SetupCaption, MB_OK);
    RollBackInstallation();
  } else {
    ShowInstalled(backdrop);
  }
}

int FinishUnattended() {
  if (CloseRun()) return 1;
  RollBackInstallation();
  return 0;
}
