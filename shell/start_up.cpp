#include "shell/start_up.h"

#include <windows.h>
#include <objbase.h>
#include <string.h>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "payload/payload_checksum.h"
#include "resources/resource_ids.h"
#include "system/dll_loading.h"
#include "system/install_log.h"
#include "system/uninstall_registration.h"

namespace {

const char DamagedPayloadMessage[] =
    "Das Installationsprogramm ist beschädigt: Seine Daten stimmen nicht mit ihrer Prüfsumme überein.\n\n"
    "Bitte besorgen Sie sich die Datei erneut, zum Beispiel durch einen neuen Download oder eine neue Kopie.";

// 1 when the payload resource has the size and CRC-32 its checksum record names. A
// setup program without the record (an older packer's) counts as damaged: the build
// always writes one, so its absence is damage too, and nothing else vouches for the
// payload.
int PayloadIntact(HRSRC payload) {
  HMODULE module = InstallState.InstanceHandle;
  HGLOBAL payloadData = LoadResource(module, payload);
  const void* payloadBytes = payloadData ? LockResource(payloadData) : nullptr;
  HRSRC checksum = FindResourceA(module, MAKEINTRESOURCEA(IDR_PAYLOAD_CHECKSUM), PayloadResourceType);
  HGLOBAL checksumData = checksum ? LoadResource(module, checksum) : nullptr;
  const void* record = checksumData ? LockResource(checksumData) : nullptr;
  return payloadBytes && record &&
         PayloadMatchesChecksum(payloadBytes, InstallState.PayloadSize, record, SizeofResource(module, checksum));
}

}  // namespace

int FormDefaultTargetFolder(const char* programFilesDir) {
  size_t length = strlen(programFilesDir);
  const char* separator = (length > 0 && programFilesDir[length - 1] == '\\') ? "" : "\\";
  return FormatBounded(InstallState.TargetFolder, FolderCapacity, "%s%s%s\\", programFilesDir, separator,
                       ProductFolder);
}

int InitInstallState() {
  InstallState.FailureCode = FailureNone;
  InstallState.MissingParts = 0;
  // A drive without a disk must answer as missing, never with the system's own box.
  SetErrorMode(SEM_FAILCRITICALERRORS);
  if (!InitSystemCommonControls()) return FailWith(FailureCommonControls);

  InstallState.PlatformKind = CurrentPlatformKind();

  if (CoInitialize(nullptr) != S_OK) return FailWith(FailureComInit);
  HRSRC payload = FindResourceA(InstallState.InstanceHandle, MAKEINTRESOURCEA(IDR_PAYLOAD), PayloadResourceType);
  if (!payload) return FailWith(FailurePayloadMissing);
  InstallState.PayloadSize = SizeofResource(InstallState.InstanceHandle, payload);
  if (InstallState.PayloadSize == 0) return FailWith(FailurePayloadEmpty);
  if (!PayloadIntact(payload)) {
    if (!InstallState.Silent) MessageBoxA(nullptr, DamagedPayloadMessage, ErrorCaption, MB_OK | MB_ICONSTOP);
    return FailWith(FailurePayloadDamaged);
  }
  UINT windowsLength = GetWindowsDirectoryA(InstallState.WindowsFolder, FolderCapacity);
  if (windowsLength == 0 || windowsLength > FolderCapacity) {
    InstallState.WindowsFolder[0] = 0;
    if (!InstallState.Silent) MessageBoxA(nullptr, "Das Windows-Hauptverzeichnis konnte nicht erkannt werden.", ErrorCaption, MB_OK);
    return FailWith(FailureWindowsFolder);
  }
  InstallState.WizardPage = PageWelcome;

  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersionKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return FailWith(FailureVersionKey);
  char value[1001];
  DWORD size = 1000, type = 0;
  LONG read = RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, (BYTE*)value, &size);
  RegCloseKey(key);
  int readable = read == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ);
  if (readable) {
    value[size < 1000 ? size : 1000] = 0;
    // "%ProgramFiles%" and its kind name a folder only once expanded.
    char expanded[1001];
    if (type == REG_EXPAND_SZ) {
      DWORD length = ExpandEnvironmentStringsA(value, expanded, sizeof expanded);
      readable = length > 0 && length <= sizeof expanded && CopyBounded(value, sizeof value, expanded);
    }
    readable = readable && FormDefaultTargetFolder(value);
  }
  // When "ProgramFilesDir" cannot be read or is too long to take "Frelby": the programs
  // folder on the drive of the Windows folder (checked above, so never empty).
  if (!readable)
    FormatBounded(InstallState.TargetFolder, FolderCapacity, "%c:\\Programme\\%s\\", InstallState.WindowsFolder[0],
                  ProductFolder);
  // Where the game is installed already, that folder is proposed instead.
  char registered[FolderCapacity];
  if (ReadRegisteredInstallFolder(UninstallKeyName, registered))
    CopyBounded(InstallState.TargetFolder, FolderCapacity, registered);
  return 1;
}
