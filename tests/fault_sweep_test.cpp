// Every call may fail: in a fresh install, a reinstall over an installation whose highscore
// the player changed, and an uninstall, call number n fails, for every n.
#include <gtest/gtest.h>

#include "base/entry_names.h"
#include "base/install_state.h"
#include "base/product_names.h"
#include "shell/setup_run.h"
#include "shell/start_up.h"
#include "shell/step_schedule.h"
#include "support/fault_injection.h"
#include "support/payload_module.h"
#include "support/test_support.h"
#include "system/restart_removal.h"
#include "uninstaller/uninstall.h"

namespace {

enum Case { FreshInstall, Reinstall, Uninstall };
const char* const CaseNames[] = {"fresh install", "reinstall", "uninstall"};
const char PlayersScore[] = "Punkte des Spielers";
const char EntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
std::string parent, target;
HMODULE payload;
typedef std::set<std::string> Machine;
Machine pristine, installed, changed, reinstalled;
// A shortcut holds its target's file times: it is known by its name and its target.
Machine Now() {
  Machine now;
  HRESULT com = CoInitialize(nullptr);
  for (std::string entry : SnapshotMachine(parent)) {
    size_t link = entry.find(".lnk ");
    now.insert(link == std::string::npos ? entry : entry.substr(0, link + 4) + " -> " + LinkTarget(entry.substr(5, link - 1)));
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return now;
}
std::string Differs(const Machine& wanted) {
  Machine now = Now();
  std::string text;
  for (const std::string& e : wanted) text += now.count(e) ? "" : "\n  gone: " + e;
  for (const std::string& e : now) text += wanted.count(e) ? "" : "\n  left: " + e;
  return text;
}
// setup.exe /S in this process: no window, no message box, no timer.
int Install() {
  ResetInstallState();
  InstallState.Silent = 1, InstallState.InstanceHandle = payload;
  if (!InitInstallState()) return 0;
  SetTarget(target);
  RunScheduleUnattended();
  return FinishUnattended();
}
int RemoveInstallation() { return ResetInstallState(), UninstallFrom(target.c_str()); }
// What the next start of Windows does: it removes what was left for it (pairs of names
// "\\??\\<path>", an empty second one removing the first; on Windows 95/98 wininit.ini).
void Restart() {
  HKEY key = nullptr;
  static char pending[65536];
  DWORD size = sizeof pending - 2;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_ALL_ACCESS, &key);
  if (!RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, (BYTE*)pending, &size)) {
    pending[size] = pending[size + 1] = 0;
    for (char* from = pending; *from; from += strlen(from) + 1, from += strlen(from) + 1)
      if (!from[strlen(from) + 1] && !DeleteFileA(from + 4)) RemoveDirectoryA(from + 4);
    RegDeleteValueA(key, "PendingFileRenameOperations");
  }
  RegCloseKey(key), CarryOutWininit(), ForgetRemovalsAtRestart();
}
// The target's files but its log and the copies a run could not drop (the next drops them).
Machine GameFiles(const Machine& machine) {
  Machine files;
  for (const std::string& e : machine)
    if (!e.compare(0, 5, "file ") && e.find(LogFileName) == e.npos && e.find(KeptAsideSuffix) == e.npos) files.insert(e);
  return files;
}
void Clean() {
  Restart();
  RemoveTree(target);
  RemoveTree(ProgramsFolder() + "\\" + ProgramFolderName);
  std::string key = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + UninstallKeyName;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + KeptAsideSuffix).c_str()), RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}
// Brings the machine to the state the case starts from, by runs without a fault.
void Reach(Case kind) {
  const Machine& start = kind == FreshInstall ? pristine : kind == Reinstall ? changed : installed;
  if (Now() == start) return;
  RemoveInstallation(), Clean();
  if (kind != FreshInstall) Install();
  if (kind == Reinstall) WriteText(target + "highscore.dat", PlayersScore);
  EXPECT_EQ(Now(), start) << "the sweep cannot go on from here";
}
// An uninstall entry is whole or absent, and what the shell lacks is told (maybe more).
std::string TellsWhatIsMissing() {
  HKEY key = nullptr;
  std::string half, menu = ProgramsFolder() + "\\" + ProgramFolderName + "\\";
  int entry = !RegOpenKeyExA(HKEY_LOCAL_MACHINE, (EntryKey + std::string(UninstallKeyName)).c_str(), 0, KEY_READ, &key);
  for (const char* value : {"DisplayName", "UninstallString", "QuietUninstallString", "DisplayIcon", "InstallLocation"})
    half += entry && RegQueryValueExA(key, value, nullptr, nullptr, nullptr, nullptr) ? std::string(" ") + value : "";
  int links = FileExists(menu + GameLinkName + ".lnk") && FileExists(menu + UninstallLinkName + ".lnk");
  int missing = (links ? 0 : MissingShortcuts) | (entry ? (RegCloseKey(key), 0) : MissingUninstallEntry);
  if (!half.empty()) return "a half uninstall entry, without" + half;
  return !(missing & ~InstallState.MissingParts) ? "" : "missing " + std::to_string(missing) + ", told " + std::to_string(InstallState.MissingParts);
}
// What a run with one failed call left, against the case's rules; "" when they hold.
std::string Judge(Case kind, int result) {
  Restart();
  if (kind == Uninstall) {
    // Windows 95/98 leave no folder for the restart: one that could not go stays, empty
    // (and keeps the install folder).
    Machine now = Now();
    bool nine = Win9xPersonality(), keptByAFolder = nine && result == UninstallFolderKept && !strcmp(FailedCallName(), "RemoveDirectoryA");
    for (auto e = now.begin(); nine && e != now.end();) e = e->back() == '\\' && !pristine.count(*e) ? now.erase(e) : std::next(e);
    if (result == UninstallComplete || result == UninstallAtRestart || keptByAFolder)
      return now == pristine ? "" : "the uninstall completed and left residue" + Differs(pristine);
    // A failed uninstall keeps its log, and a second one completes.
    if (Now() != installed && !FileExists(target + LogFileName)) return "a failed uninstall lost its log";
    if (RemoveInstallation() != UninstallComplete || (Restart(), Now() != pristine))
      return "after a failed uninstall, a second one did not complete" + Differs(pristine);
    return "";
  }
  const Machine& before = kind == FreshInstall ? pristine : changed;
  const Machine& done = kind == FreshInstall ? installed : reinstalled;
  // A rollback that could not finish says so and keeps its log: the next run undoes it and goes on.
  int recovered = result == RunRollbackStopped;
  if (recovered && !FileExists(target + LogFileName)) return "a stopped rollback lost its log";
  if (recovered && Install() != RunInstalled) return "the run failed, and the next run failed too";
  if (result != RunInstalled && !recovered) return Now() == before ? "" : "the run failed and left the machine changed" + Differs(before);
  if (std::string told = TellsWhatIsMissing(); !told.empty()) return "the run succeeded, and " + told;
  // The game's files are whole, the player's highscore kept; a shortcut or the entry may be
  // missing (their steps fail no installation). One uninstall leaves nothing.
  Restart();
  if (GameFiles(Now()) != GameFiles(done)) return "the run succeeded with files unlike a run without faults" + Differs(done);
  if (RemoveInstallation(), Restart(), Now() != pristine) return "the run succeeded, and one uninstall left residue" + Differs(pristine);
  return "";
}

}  // namespace

TEST(FaultSweep, EveryCallOfAnInstallAReinstallAndAnUninstallMayFail) {
  parent = ScratchFolder("fault-sweep");
  target = parent + "Frelby\\";
  Clean();  // what an interrupted sweep may have left
  WriteText(parent + "nachbar.txt", "nicht von Frelby");
  ASSERT_NE(payload = LoadPayloadModule(DemoPayload()), nullptr);
  InstallFaultInjector();
  // What each case starts from and what it makes without a fault.
  pristine = Now();
  ASSERT_EQ(Install(), 1);
  installed = Now();
  WriteText(target + "highscore.dat", PlayersScore);
  changed = Now();
  ASSERT_EQ(Install(), 1);
  reinstalled = Now();
  ASSERT_EQ(ReadText(target + "highscore.dat"), PlayersScore);
  for (Case kind : {FreshInstall, Reinstall, Uninstall}) {
    DWORD began = GetTickCount();
    long n = 0, made = 0, result;
    do {  // until a run makes no call number n: it had no fault
      Reach(kind);
      StartCountingCalls(++n);
      result = kind == Uninstall ? RemoveInstallation() : Install();
      made = StopCountingCalls();
      EXPECT_EQ(Judge(kind, result), "") << CaseNames[kind] << ", call " << n << " (" << FailedCallName() << ") failed";
    } while (made >= n);
    EXPECT_EQ(result, kind == Uninstall ? UninstallComplete : 1) << CaseNames[kind] << " without a fault";
    printf("%s: %ld calls swept, each failed in turn, in %lu ms\n", CaseNames[kind], n - 1, GetTickCount() - began);
  }
  Clean(), RemoveTree(parent);
}
