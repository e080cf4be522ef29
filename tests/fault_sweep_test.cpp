// Every call may fail: in a fresh install, a reinstall over an installation whose
// highscore the player changed, and an uninstall, call number n of the file, registry,
// shell-link and profile functions fails, for n = 1, 2, ... until a run makes no call
// number n. Each run either ends well or leaves the machine as the case allows.
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

std::string parent, target;
HMODULE payload;
typedef std::set<std::string> Machine;
Machine pristine, installed, changed, reinstalled;  // before and after each case

// A shortcut holds its target's file times: it is known by its name and its target.
Machine Now() {
  Machine now;
  HRESULT com = CoInitialize(nullptr);
  for (std::string entry : SnapshotMachine(parent)) {
    size_t link = entry.find(".lnk ");
    if (link != std::string::npos) entry = entry.substr(0, link + 4) + " -> " + LinkTarget(entry.substr(5, link - 1));
    now.insert(entry);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return now;
}

// What differs between the machine now and `wanted`, for the report.
std::string Differs(const Machine& wanted) {
  Machine now = Now();
  std::string text;
  for (const std::string& e : wanted) if (!now.count(e)) text += "\n  gone: " + e;
  for (const std::string& e : now) if (!wanted.count(e)) text += "\n  left: " + e;
  return text;
}

// setup.exe /S in this process: no window, no message box, no timer.
int Install() {
  ResetInstallState();
  InstallState.Silent = 1;
  InstallState.InstanceHandle = payload;
  if (!InitInstallState()) return 0;
  SetTarget(target);
  RunScheduleUnattended();
  return FinishUnattended();
}

int RemoveInstallation() {
  ResetInstallState();
  return UninstallFrom(target.c_str());
}

// What the next start of Windows does: removes what was left for it.
void Restart() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_ALL_ACCESS,
                    &key) != ERROR_SUCCESS)
    return;
  static WCHAR pending[32768];
  memset(pending, 0, sizeof pending);
  DWORD size = sizeof pending - 4;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, (BYTE*)pending, &size) == ERROR_SUCCESS) {
    // Pairs of names; an empty second name removes the first.
    for (WCHAR* from = pending; *from; from += wcslen(from) + 1) {
      WCHAR* to = from + wcslen(from) + 1;
      const WCHAR* path = wcsncmp(from, L"\\??\\", 4) ? from : from + 4;
      if (!*to && !DeleteFileW(path)) RemoveDirectoryW(path);
      from = to;
    }
    RegDeleteValueW(key, L"PendingFileRenameOperations");
  }
  RegCloseKey(key);
  ForgetRemovalsAtRestart();
}

// The files of the target folder but its log, and but the copies a successful run could
// not drop (the next run or the uninstall drops them).
Machine GameFiles(const Machine& machine) {
  Machine files;
  for (const std::string& entry : machine)
    if (!entry.compare(0, 5, "file ") && entry.find("deinst.log") == std::string::npos &&
        entry.find(KeptAsideSuffix) == std::string::npos)
      files.insert(entry);
  return files;
}

// Removes every trace of an installation, whatever the runs left.
void Clean() {
  Restart();
  RemoveTree(target);
  RemoveTree(ProgramsFolder() + "\\" + ProgramFolderName);
  std::string key = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + UninstallKeyName;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + KeptAsideSuffix).c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

// Brings the machine to the state the case starts from, by fault-free runs.
void Reach(Case kind) {
  const Machine& start = kind == FreshInstall ? pristine : kind == Reinstall ? changed : installed;
  if (Now() == start) return;
  RemoveInstallation();
  Clean();
  if (kind != FreshInstall) Install();
  if (kind == Reinstall) WriteText(target + "highscore.dat", PlayersScore);
  EXPECT_EQ(Now(), start) << "the sweep cannot go on from where it stands";
}

// What a run with one failed call left, against the case's rules; "" when it holds.
std::string Judge(Case kind, int result) {
  Restart();
  if (kind == Uninstall) {
    if (result == UninstallComplete || result == UninstallAtRestart)
      return Now() == pristine ? "" : "the uninstall completed and left residue" + Differs(pristine);
    if (Now() != installed && !FileExists(target + "deinst.log")) return "a failed uninstall lost its log";
    if (RemoveInstallation() != UninstallComplete || (Restart(), Now() != pristine))
      return "after a failed uninstall, a second one did not complete";
    return "";
  }
  const Machine& before = kind == FreshInstall ? pristine : changed;
  const Machine& done = kind == FreshInstall ? installed : reinstalled;
  // A rollback that could not finish keeps its log; the next run undoes it and goes on.
  int recovered = result != 1 && Now() != before && FileExists(target + "deinst.log");
  if (recovered) {
    if (!Install()) return "the run failed, and the next run failed too";
    Restart();
  }
  if (result == 1 || recovered) {
    // The game's files are whole (the player's highscore kept); a shortcut or the entry may
    // be missing, as their steps fail no installation. One uninstall leaves nothing.
    if (GameFiles(Now()) != GameFiles(done)) return "the run succeeded with files unlike a run without faults" + Differs(done);
    if (RemoveInstallation(), Restart(), Now() != pristine) return "the run succeeded, and one uninstall left residue" + Differs(pristine);
    return "";
  }
  if (Now() != before) return "the run failed and left the machine changed" + Differs(before);
  return "";
}

}  // namespace

TEST(FaultSweep, EveryCallOfAnInstallAReinstallAndAnUninstallMayFail) {
  parent = ScratchFolder("fault-sweep");
  target = parent + "Frelby\\";
  Clean();  // what an interrupted sweep may have left
  WriteText(parent + "nachbar.txt", "nicht von Frelby");
  payload = LoadPayloadModule(DemoPayload());
  ASSERT_NE(payload, nullptr);
  InstallFaultInjector();
  // The states a fault-free run makes, and what each case makes without a fault.
  pristine = Now();
  StartCountingCalls(0);
  ASSERT_EQ(Install(), 1);
  long fresh = StopCountingCalls();
  installed = Now();
  WriteText(target + "highscore.dat", PlayersScore);
  changed = Now();
  StartCountingCalls(0);
  ASSERT_EQ(Install(), 1);
  long again = StopCountingCalls();
  reinstalled = Now();
  ASSERT_EQ(ReadText(target + "highscore.dat"), PlayersScore);
  Reach(Uninstall);
  StartCountingCalls(0);
  ASSERT_EQ(RemoveInstallation(), UninstallComplete);
  long removal = StopCountingCalls();
  ASSERT_EQ(Now(), pristine);
  printf("calls without a fault: install %ld, reinstall %ld, uninstall %ld\n", fresh, again, removal);

  for (Case kind : {FreshInstall, Reinstall, Uninstall}) {
    DWORD began = GetTickCount();
    long n = 1;
    for (;; ++n) {
      Reach(kind);
      StartCountingCalls(n);
      int result = kind == Uninstall ? RemoveInstallation() : Install();
      if (StopCountingCalls() < n) break;
      std::string failed = FailedCallName();
      EXPECT_EQ(Judge(kind, result), "") << CaseNames[kind] << ", call " << n << " (" << failed << ") failed";
    }
    printf("%s: %ld calls swept, each failed in turn, in %lu ms\n", CaseNames[kind], n - 1, GetTickCount() - began);
  }
  RemoveInstallation();
  Restart();
  RemoveTree(parent);
}
