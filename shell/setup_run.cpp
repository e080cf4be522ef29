#include "shell/setup_run.h"

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

// Closes the log of the run; 1 when the run succeeded, and then what it kept aside goes.
int CloseRun() {
  // A log that cannot be closed whole could not undo the installation: that fails it.
  CloseInstallLog(ProductName);
  if (InstallState.FailureCode != FailureNone) return 0;
  // Only now is what the run replaced no longer needed.
  if (InstallState.LogOpened) DropKeptAsides(InstallState.LogPath);
  return 1;
}

// One paragraph of the last message for each part the shell lacks.
const struct {
  int Part;
  const char* Text;
} MissingPartTexts[] = {
    {MissingShortcuts,
     "\n\nDie Verknüpfungen im Startmenü konnten nicht angelegt werden. Das Spiel kann aus dem "
     "Installationsordner gestartet werden."},
    {MissingUninstallEntry,
     "\n\nDer Eintrag in der Liste der installierten Programme konnte nicht angelegt werden. Zum "
     "Deinstallieren starten Sie das Deinstallationsprogramm im Installationsordner."},
};
const char RestartText[] =
    "\n\nEinige Dateien der vorigen Installation werden noch verwendet. Sie werden beim nächsten Neustart "
    "von Windows entfernt.";

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
    return;
  }
  // The success, then what the shell does not show, then what waits for the restart.
  char text[1000];
  CopyBounded(text, sizeof text, "Die Installation wurde erfolgreich durchgeführt.");
  for (const auto& missing : MissingPartTexts)
    if (InstallState.MissingParts & missing.Part) FormatBounded(text, sizeof text, "%s%s", text, missing.Text);
  if (RemovalsWaitingForRestart()) FormatBounded(text, sizeof text, "%s%s", text, RestartText);
  MessageBoxA(backdrop, text, SetupCaption, MB_OK);
}

int FinishUnattended() {
  if (CloseRun()) return 1;
  RollBackInstallation();
  return 0;
}
