#include "shell/command_line.h"

#include <string.h>

#include "base/bounded_text.h"
#include "base/product_names.h"
#include "shell/backdrop_window.h"
#include "shell/setup_run.h"
#include "shell/start_up.h"
#include "shell/step_schedule.h"
#include "shell/wizard_pages.h"
#include "system/restart_removal.h"

namespace {

// 1 when the token (quotes left out) equals `option`, letter case of a-z ignored.
int TokenIs(const char* token, size_t length, const char* option) {
  size_t k = 0;
  for (size_t i = 0; i < length; ++i) {
    if (token[i] == '"') continue;
    if (!option[k] || UpperAscii(token[i]) != UpperAscii(option[k])) return 0;
    ++k;
  }
  return option[k] == 0;
}

// Where "/D=" begins the token (after opening quotes), or null.
const char* TargetOptionValue(const char* token) {
  while (*token == '"') ++token;
  if (token[0] == '/' && (token[1] == 'D' || token[1] == 'd') && token[2] == '=') return token + 3;
  return nullptr;
}

// The rest of the line as the /D= folder, its quotes and backslashes read as the
// platform splits a command line: 2n backslashes before a quote give n backslashes and
// the quote opens or closes a quoted part; 2n+1 give n and a quote taken as text.
// Backslashes before anything else stay as they are. Blanks are kept, but for those at
// the end, and no quote reaches the folder (no Windows file name holds one).
void ReadTargetValue(const char* value, SetupOptions* options) {
  char work[PathCapacity];
  size_t length = 0;
  while (*value) {
    size_t backslashes = 0;
    while (value[backslashes] == '\\') ++backslashes;
    size_t keep = backslashes;
    if (value[backslashes] == '"') keep = backslashes / 2;
    if (length + keep + 1 >= sizeof work) {
      options->TargetTooLong = 1;
      return;
    }
    for (size_t i = 0; i < keep; ++i) work[length++] = '\\';
    value += backslashes;
    if (*value == '"') {
      ++value;
    } else if (*value && !backslashes) {
      work[length++] = *value++;
    }
  }
  while (length > 0 && IsBlank(work[length - 1])) --length;
  work[length] = 0;
  CopyBounded(options->Target, sizeof options->Target, work);
}

void ShowRefusal(HWND owner, const char* format, const char* subject) {
  char text[PathCapacity + 400];
  if (!FormatBounded(text, sizeof text, format, subject)) FormatBounded(text, sizeof text, format, "");
  MessageBoxA(owner, text, SetupCaption, MB_OK | MB_ICONSTOP);
}

const char UnknownOptionText[] =
    "Die Option \"%s\" ist unbekannt. Es wurde nichts installiert.\n\n"
    "Setup kennt diese Optionen:\n"
    "/S: ohne Fragen und Meldungen installieren\n"
    "/D=Zielordner: in diesen Ordner installieren (als letzte Option)";
const char RefusedTargetText[] =
    "In den Ordner \"%s\" kann nicht installiert werden. Es wurde nichts installiert.\n\n"
    "Der Zielordner muss vollständig angegeben werden (zum Beispiel C:\\Spiele\\Frelby), auf einer "
    "Festplatte liegen, und dort muss genug Speicher frei sein.";

}  // namespace

void ReadSetupOptions(const char* commandLine, SetupOptions* options) {
  memset(options, 0, sizeof *options);
  const char* p = commandLine ? commandLine : "";
  while (*p) {
    while (IsBlank(*p)) ++p;
    if (!*p) break;
    options->Given = 1;
    if (const char* value = TargetOptionValue(p)) {
      options->HasTarget = 1;
      ReadTargetValue(value, options);
      break;
    }
    // A token ends at a blank outside quotes.
    const char* start = p;
    int quoted = 0;
    while (*p && (quoted || !IsBlank(*p))) {
      if (*p == '"') quoted = !quoted;
      ++p;
    }
    size_t length = (size_t)(p - start);
    if (TokenIs(start, length, "/S")) {
      options->Silent = 1;
    } else if (!options->Unknown[0]) {
      size_t keep = length < OptionTextCapacity - 4 ? length : OptionTextCapacity - 4;
      memcpy(options->Unknown, start, keep);
      strcpy(options->Unknown + keep, keep < length ? "..." : "");
    }
  }
}

int TakeTargetOption(const SetupOptions& options) {
  if (options.TargetTooLong || !options.Target[0]) return 0;
  // It must still fit with the backslash page 2 appends.
  size_t length = strlen(options.Target);
  int appends = options.Target[length - 1] != '\\';
  if (length + appends >= FolderCapacity || !CheckTargetDrive(options.Target)) return 0;
  return FormatBounded(InstallState.TargetFolder, FolderCapacity, appends ? "%s\\" : "%s", options.Target);
}

int RunWithOptions(HINSTANCE instance, const SetupOptions& options) {
  if (options.Unknown[0]) {
    if (!options.Silent) ShowRefusal(nullptr, UnknownOptionText, options.Unknown);
    return SetupRefused;
  }
  if (!options.Silent) {
    // The wizard, with page 2 opening on the /D= folder.
    HWND backdrop = CreateBackdropWindow(instance);
    if (!backdrop) return 0;
    if (!InitInstallState()) return 0;
    if (options.HasTarget && !TakeTargetOption(options)) {
      ShowRefusal(backdrop, RefusedTargetText, options.Target);
      return SetupRefused;
    }
    RunWizard(backdrop);
    FinishInstallation(backdrop);
    return 1;
  }
  // Unattended: no window at all, neither backdrop nor progress page.
  InstallState.Silent = 1;
  InstallState.InstanceHandle = instance;
  if (!InitInstallState()) return SetupSilentStartFailed;
  if (options.HasTarget ? !TakeTargetOption(options) : !CheckTargetDrive(InstallState.TargetFolder))
    return SetupRefused;
  RunScheduleUnattended();
  int outcome = FinishUnattended();
  if (outcome == RunRollbackStopped) return SetupSilentRollbackStopped;
  if (outcome != RunInstalled) return SetupSilentFailed;
  if (InstallState.MissingParts) return SetupSilentMissingBase + InstallState.MissingParts;
  return RemovalsWaitingForRestart() ? (int)DoneRestartNeeded : (int)SetupSilentInstalled;
}
