// Install timing on Wine: start-up with its check of the payload against the checksum
// record, against a bare read of the same bytes; the wall time of the progress page
// from "Installieren" to the final message against its floor of 101 timer periods, the
// longest time the page went without handling a message, and the longest work of a
// single tick of the schedule; extraction against bare files. Argument: the payload file
// (a host path).
#include <stdio.h>
#include <shlobj.h>
#include <string.h>

#include <algorithm>

#include "base/install_state.h"
#include "driver/gui_driver.h"
#include "payload/payload_checksum.h"
#include "resources/resource_ids.h"
#include "shell/setup_run.h"
#include "shell/start_up.h"
#include "shell/step_schedule.h"
#include "support/payload_module.h"
#include "support/pipeline.h"
#include "support/test_support.h"
#include "system/log_reader.h"
#include "system/rollback.h"
#include "uninstaller/uninstall.h"

namespace {

int Prepare(HMODULE module, const std::string& target) {
  ResetInstallState();
  InstallState.InstanceHandle = module;
  if (!InitInstallState()) return 0;
  SetTarget(target);
  return 1;
}

const unsigned char* PayloadBytes(HMODULE module, unsigned* size) {
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(IDR_PAYLOAD), "TEMPLATE");
  *size = SizeofResource(module, resource);
  return (const unsigned char*)LockResource(LoadResource(module, resource));
}

// Reads every byte, four at a time, and does nothing else with them.
unsigned BareRead(const unsigned char* bytes, unsigned size) {
  unsigned sum = 0;
  for (unsigned i = 0; i + 4 <= size; i += 4) {
    unsigned word;
    memcpy(&word, bytes + i, 4);
    sum += word;
  }
  return sum;
}

// Start-up (InitInstallState) on a module whose resource is touched for the first
// time, and a bare read of the same bytes in another fresh module; then the CRC-32 and
// the bare read again on bytes already read.
int MeasureStartUp(const Bytes& payload, const char* name) {
  HMODULE checked = LoadPayloadModule(payload), read = LoadPayloadModule(payload);
  if (!checked || !read) return 0;
  unsigned size;
  const unsigned char* bytes = PayloadBytes(read, &size);
  double before = DriverNow();
  volatile unsigned sum = BareRead(bytes, size);
  double bare = DriverNow() - before;

  ResetInstallState();
  InstallState.InstanceHandle = checked;
  before = DriverNow();
  int started = InitInstallState();
  double startUp = DriverNow() - before;

  before = DriverNow();
  volatile uint32_t crc = Crc32Update(0, bytes, size);
  double crcWarm = DriverNow() - before;
  before = DriverNow();
  sum = BareRead(bytes, size);
  double bareWarm = DriverNow() - before;
  (void)sum;
  (void)crc;
  printf("start-up %s: payload %u bytes, %s; start-up with the check %.1f ms, bare read of the same bytes %.1f ms, "
         "ratio %.2f (goal: well under 1000 ms); once read: CRC-32 %.1f ms (%.0f MB/s), bare read %.1f ms, "
         "ratio %.2f\n",
         name, size, started ? "accepted" : "refused", startUp, bare, startUp / bare, crcWarm,
         size / 1048576.0 / (crcWarm / 1000.0), bareWarm, crcWarm / bareWarm);
  return started;
}

// The longest time the page went without handling a message: a watcher thread posts a
// probe to the installer's thread 2 ms after the one before was taken from the queue,
// and the thread's message hook times each probe from its posting to its taking.
const UINT ProbeMessage = WM_APP + 30;
struct {
  DWORD Thread;
  HANDLE Taken, Stop, Watcher;
  HHOOK Hook;
  volatile double Posted;
  double Longest;
  int LongestTick;
} Probe;

LRESULT CALLBACK ProbeHook(int code, WPARAM removed, LPARAM lParam) {
  const MSG* message = (const MSG*)lParam;
  if (code == HC_ACTION && removed == PM_REMOVE && message->message == ProbeMessage && !message->hwnd) {
    double waited = DriverNow() - Probe.Posted;
    if (waited > Probe.Longest) {
      Probe.Longest = waited;
      Probe.LongestTick = TickCount;
    }
    SetEvent(Probe.Taken);
  }
  return CallNextHookEx(Probe.Hook, code, removed, lParam);
}

DWORD WINAPI ProbeWatcher(void*) {
  HANDLE either[] = {Probe.Taken, Probe.Stop};
  while (WaitForSingleObject(Probe.Stop, 2) == WAIT_TIMEOUT) {
    Probe.Posted = DriverNow();
    PostThreadMessageA(Probe.Thread, ProbeMessage, 0, 0);
    if (WaitForMultipleObjects(2, either, FALSE, INFINITE) != WAIT_OBJECT_0) break;
  }
  return 0;
}

void StartProbes() {
  Probe.Thread = GetCurrentThreadId();
  Probe.Longest = 0;
  Probe.LongestTick = 0;
  Probe.Taken = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  Probe.Stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  Probe.Hook = SetWindowsHookExA(WH_GETMESSAGE, ProbeHook, nullptr, Probe.Thread);
  Probe.Watcher = CreateThread(nullptr, 0, ProbeWatcher, nullptr, 0, nullptr);
}

void StopProbes() {
  if (!Probe.Watcher) return;
  SetEvent(Probe.Stop);
  WaitForSingleObject(Probe.Watcher, INFINITE);
  UnhookWindowsHookEx(Probe.Hook);
  CloseHandle(Probe.Watcher);
  CloseHandle(Probe.Taken);
  CloseHandle(Probe.Stop);
  Probe.Watcher = nullptr;
}

// Undoes a finished install, as the uninstaller would, to leave the prefix clean.
void Remove() {
  InstallState.LogOpened = 1;
  RollBackInstallation();
}

// The bare cost of what the schedule waits for: 101 events of a 50 ms timer.
double BareTimerLoop() {
  UINT_PTR timer = SetTimer(nullptr, 0, ScheduleTimerPeriod, nullptr);
  double start = DriverNow();
  MSG message;
  for (int events = 0; events < ScheduleTicks + 1 && GetMessageA(&message, nullptr, 0, 0);)
    if (message.message == WM_TIMER && message.wParam == timer) ++events;
  double took = DriverNow() - start;
  KillTimer(nullptr, timer);
  return took;
}

// The entries the log of the last run names (its NC records, the temporary files left out).
std::vector<std::string> LoggedEntries() {
  std::vector<std::string> entries;
  FILE* log = OpenLogForReading(InstallState.LogPath);
  LogRecord record;
  while (log && ReadNextLogRecord(log, &record))
    if (!record.Carried && record.Kind == RecordNewFile && strcmp(record.Argument, "temp.un_") &&
        strcmp(record.Argument, "temp.uni"))
      entries.push_back(record.Argument);
  if (log) CloseLogRead(log);
  return entries;
}

// Milliseconds to create the files (bare fopen, fwrite, fclose) with the sizes they have.
// The same files made with bare fopen/fwrite/fclose; with `renamed`, each written under
// a name of its own and then given its name (MoveFileA), as extraction does.
double CreateBare(const std::string& target, const std::vector<std::string>& names, const std::vector<Bytes>& data,
                  bool renamed = false) {
  double start = DriverNow();
  for (size_t i = 0; i < names.size(); ++i) {
    std::string path = target + names[i], writing = renamed ? path + "~neu" : path;
    FILE* f = fopen(writing.c_str(), "wb");
    if (!f) continue;
    if (!data[i].empty()) fwrite(data[i].data(), 1, data[i].size(), f);
    fclose(f);
    if (renamed) MoveFileA(writing.c_str(), path.c_str());
  }
  return DriverNow() - start;
}

// The same files made bare in a new folder (base), as extraction finds the target, with
// their subfolders made with bare CreateDirectoryA when a name's folder changes.
double CreateBareInNewFolder(const std::string& base, const std::vector<std::string>& names,
                             const std::vector<Bytes>& data, bool renamed) {
  CreateDirectoryA(base.c_str(), nullptr);
  double start = DriverNow();
  std::string made;
  for (const std::string& name : names) {
    std::string folder = name.substr(0, name.rfind('\\') + 1);
    if (folder == made) continue;
    for (size_t at = folder.find('\\'); at != std::string::npos; at = folder.find('\\', at + 1))
      CreateDirectoryA((base + folder.substr(0, at)).c_str(), nullptr);
    made = folder;
  }
  double took = DriverNow() - start + CreateBare(base, names, data, renamed);
  RemoveTree(base);
  return took;
}

double DeleteBare(const std::string& target, const std::vector<std::string>& names) {
  double start = DriverNow();
  for (const std::string& name : names) DeleteFileA((target + name).c_str());
  return DriverNow() - start;
}

// Rollback and uninstall of a log of `count` NC records against the bare deletion of the
// same files in the same folder.
void MeasureUndo(int count, double* undoPerFile, double* barePerFile, double* uninstallPerFile) {
  // Folders of 1,000 files each: Wine's own cost of a file grows with its folder's size.
  std::string folder = ScratchFolder("undo-bench"), target = folder + "Frelby\\";
  CreateDirectoryA(target.c_str(), nullptr);
  std::vector<std::string> names;
  std::vector<Bytes> data(count, Bytes(20, 'x'));
  std::string log = "ID 3 0 0 1\n";
  for (int i = 0; i < count; ++i) {
    char name[32];
    snprintf(name, sizeof name, "d%03d", i / 1000);
    if (i % 1000 == 0) {
      CreateDirectoryA((target + name).c_str(), nullptr);
      log += "SD " + target + name + "\n";
    }
    snprintf(name, sizeof name, "d%03d\\f%06d.dat", i / 1000, i);
    names.push_back(name);
    log += std::string("NC ") + name + "\n";
  }
  log += "PN Frelby\n";
  CreateBare(target, names, data);
  double bare = DeleteBare(target, names);
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < count; i += 1000) CreateDirectoryA((target + names[i].substr(0, 4)).c_str(), nullptr);
    CreateBare(target, names, data);
    ResetInstallState();
    SetTarget(target);
    snprintf(InstallState.LogPath, PathCapacity, "%sdeinst.log", target.c_str());
    WriteText(InstallState.LogPath, log);
    InstallState.LogOpened = 1;
    double start = DriverNow();
    if (round == 0) RollBackInstallation();
    else UninstallFrom(target.c_str());
    (round == 0 ? *undoPerFile : *uninstallPerFile) = (DriverNow() - start) / count;
  }
  *barePerFile = bare / count;
  RemoveTree(folder);
}

// What the platform takes to close a file just written in 10,000-byte blocks, and to
// delete it, as tick 60 does with the staged and tick 95 with the expanded payload.
void MeasureLargeFile(const std::string& folder, unsigned size, double* close, double* remove) {
  std::string path = folder + "large.tmp";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  static unsigned char block[CopyBufferSize];
  for (unsigned left = size; left > 0;) {
    unsigned chunk = left < sizeof block ? left : (unsigned)sizeof block;
    fwrite(block, 1, chunk, f);
    left -= chunk;
  }
  double start = DriverNow();
  fclose(f);
  *close = DriverNow() - start;
  start = DriverNow();
  DeleteFileA(path.c_str());
  *remove = DriverNow() - start;
}

// The platform's cost of what tick 98 makes: two shell links, saved into a folder.
double BareShellLinks(const std::string& folder) {
  double start = DriverNow();
  for (int i = 0; i < 2; ++i) {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link))) break;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
      std::string path = folder + (i ? "b.lnk" : "a.lnk");
      WCHAR wide[MAX_PATH];
      MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
      link->SetPath((folder + "frelby.exe").c_str());
      link->SetWorkingDirectory(folder.c_str());
      file->Save(wide, FALSE);
      file->Release();
    }
    link->Release();
  }
  double took = DriverNow() - start;
  DeleteFileA((folder + "a.lnk").c_str());
  DeleteFileA((folder + "b.lnk").c_str());
  return took;
}

// What the platform takes to create and show the progress page's own template, until
// it can run its first timer event: a dialog that ends on its first message after
// WM_INITDIALOG, with nothing of the installer's in its procedure.
INT_PTR CALLBACK BarePage(HWND page, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    ShowWindow(page, SW_SHOW);
    PostMessageA(page, WM_APP, 0, 0);
  } else if (message == WM_APP) {
    EndDialog(page, 1);
  }
  return 0;
}

double BarePageCreation(HMODULE module) {
  double start = DriverNow();
  DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_PROGRESS), TestBackdrop(), BarePage, 0);
  return DriverNow() - start;
}

int MeasureUndoScaling() {
  double undo5, bare5, uninstall5, undo50, bare50, uninstall50;
  MeasureUndo(5000, &undo5, &bare5, &uninstall5);
  MeasureUndo(50000, &undo50, &bare50, &uninstall50);
  printf("undo 5,000 records: rollback %.3f ms a file, uninstall %.3f ms, bare DeleteFileA %.3f ms (ratios %.2f, %.2f; goal 1.5)\n",
         undo5, uninstall5, bare5, undo5 / bare5, uninstall5 / bare5);
  printf("undo 50,000 records: rollback %.3f ms a file, uninstall %.3f ms, bare DeleteFileA %.3f ms (ratios %.2f, %.2f; goal 1.5); "
         "50,000 against 5,000: rollback %.1f times, uninstall %.1f times (goal at most 12)\n",
         undo50, uninstall50, bare50, undo50 / bare50, uninstall50 / bare50, undo50 * 10 / undo5, uninstall50 * 10 / uninstall5);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && !strcmp(argv[1], "--undo")) return MeasureUndoScaling();
  if (argc < 3) {
    fprintf(stderr, "usage: install_bench PAYLOAD NAME | install_bench --undo\n");
    return 2;
  }
  Bytes payload = ReadBytes(HostPath(argv[1]));
  if (!MeasureStartUp(payload, argv[2])) return 1;
  HMODULE module = LoadPayloadModule(payload);
  if (!module) return 1;
  std::string folder = ScratchFolder("install-bench");
  std::string target = folder + "Frelby\\";

  // The whole progress page, as the user waits for it.
  if (!Prepare(module, target)) return 1;
  double barePageBefore = BarePageCreation(module);
  double shown = 0;
  StartDriver([&](HWND window, WindowKind kind) {
    if (kind == WindowKind::Progress) StartProbes();  // the page's own loop runs
    if (kind != WindowKind::MessageBox) return;
    shown = DriverNow();
    PressButton(window, IDOK);
  });
  InstallState.WizardPage = PageProgress;
  double start = DriverNow();
  RunWizard(TestBackdrop());
  double pageEnded = DriverNow();
  StopProbes();
  FinishInstallation(TestBackdrop());
  StopDriver();
  int failure = InstallState.FailureCode;
  const std::vector<double>& ticks = DriverProgressTimes();
  double firstTick = ticks.empty() ? start : ticks.front(), lastTick = ticks.empty() ? start : ticks.back();
  Remove();
  double floor = 101.0 * ScheduleTimerPeriod;
  double bareLoop = BareTimerLoop();
  double barePageAfter = BarePageCreation(module);

  // Each tick's work alone. Extraction is compared with the bare cost of the same files,
  // each time in a new folder as extraction finds the target; a payload whose figures the
  // machine's noise can outweigh is installed several times, the fastest of each counting.
  double took[ScheduleTicks + 1] = {};
  double extraction = 0, bareCreate = 0, bareRenamed = 0;
  std::vector<std::string> entries;
  std::vector<Bytes> contents;
  int rounds = InstallState.PayloadSize < 1048576 ? 9 : InstallState.PayloadSize < 16777216 ? 3 : 1;
  for (int round = 0; round < rounds; ++round) {
    if (round > 0) {
      CloseLog();
      Remove();
    }
    if (!Prepare(module, target)) return 1;
    for (int tick = 1; tick <= ScheduleTicks; ++tick) {
      double before = DriverNow();
      RunScheduledStep(tick);
      took[tick] = DriverNow() - before;
    }
    double extracted = 0;
    for (int tick = 61; tick <= 95; ++tick) extracted += took[tick];
    if (round == 0) {
      entries = LoggedEntries();
      for (const std::string& entry : entries) contents.push_back(ReadBytes(target + entry));
    }
    double created = CreateBareInNewFolder(folder + "bare\\", entries, contents, false);
    double renamed = CreateBareInNewFolder(folder + "bare\\", entries, contents, true);
    extraction = round ? std::min(extraction, extracted) : extracted;
    bareCreate = round ? std::min(bareCreate, created) : created;
    bareRenamed = round ? std::min(bareRenamed, renamed) : renamed;
  }
  int longestTick = 1;
  for (int tick = 1; tick <= ScheduleTicks; ++tick)
    if (took[tick] > took[longestTick]) longestTick = tick;
  double longest = took[longestTick];
  int over = 0;
  std::string overTicks;
  for (int tick = 1; tick <= ScheduleTicks; ++tick)
    if (took[tick] > ScheduleTimerPeriod) {
      ++over;
      char text[48];
      snprintf(text, sizeof text, "%s%d (%.0f ms)", overTicks.empty() ? "" : ", ", tick, took[tick]);
      overTicks += text;
    }
  CloseLog();
  double bareLinks = BareShellLinks(target);
  double closeExpanded = 0, deleteExpanded = 0, closeStaged = 0, deleteStaged = 0;
  MeasureLargeFile(target, InstallState.ExpandedSize, &closeExpanded, &deleteExpanded);
  MeasureLargeFile(target, InstallState.PayloadSize, &closeStaged, &deleteStaged);
  // The rollback against the bare deletion of the same files in the same folder.
  double bareDelete = DeleteBare(target, entries);
  CreateBare(target, entries, contents);
  double entryCount = entries.empty() ? 1 : (double)entries.size();
  double undoStart = DriverNow();
  Remove();
  double undo = DriverNow() - undoStart;
  RemoveTree(folder);

  printf("install %s: extraction %.3f ms an entry (%zu entries), bare fopen/fwrite/fclose of the same files %.3f ms, "
         "ratio %.2f (goal 1.5); rollback %.3f ms an entry, bare DeleteFileA %.3f ms, ratio %.2f (goal 1.5)\n",
         argv[2], extraction / entryCount, entries.size(), bareCreate / entryCount, extraction / bareCreate,
         undo / entryCount, bareDelete / entryCount, undo / bareDelete);
  printf("install %s: the writing name's cost: bare files written under a name of their own and then renamed "
         "%.3f ms an entry, %.3f ms more than written under their names; extraction against them, ratio %.2f (goal 1.15)\n",
         argv[2], bareRenamed / entryCount, (bareRenamed - bareCreate) / entryCount, extraction / bareRenamed);
  printf("install %s: the platform alone: closing a file of the expanded size just written %.1f ms, deleting it "
         "%.1f ms; closing one of the staged size %.1f ms, deleting it %.1f ms (tick 60 closes the first and deletes "
         "the second, tick 95 deletes the first); two shell links %.1f ms (tick 98 %.1f ms)\n",
         argv[2], closeExpanded, deleteExpanded, closeStaged, deleteStaged, bareLinks, took[98]);
  printf("install %s: progress page to final message %.0f ms, bare loop of 101 timer events %.0f ms, ratio %.3f (goal 1.03)\n",
         argv[2], shown - start, bareLoop, (shown - start) / bareLoop);
  printf("install %s: the page went at most %.0f ms without handling a message (the longest wait ended in tick %d; "
         "a probe posted to its thread 2 ms after the one before was taken; goal 100 ms)\n",
         argv[2], Probe.Longest, Probe.LongestTick);
  printf("install %s: where the time goes: page opened to tick 1 %.0f ms (the same template alone, created and shown "
         "by the platform: %.0f ms before the run, %.0f ms after it, then one timer period), ticks 1 to 100 %.0f ms (%.1f ms apart), tick 100 to the "
         "page's end %.0f ms, page's end to the final message %.0f ms\n",
         argv[2], firstTick - start, barePageBefore, barePageAfter, lastTick - firstTick, (lastTick - firstTick) / 99, pageEnded - lastTick,
         shown - pageEnded);
  printf("install %s: payload %u bytes, failure code %d; progress page to final message %.0f ms, floor %.0f ms, "
         "ratio %.2f; longest tick %.1f ms (tick %d, goal 50 ms), %d ticks over 50 ms; staging, expansion, "
         "extraction slice %.1f, %.1f, %.1f ms; tick 1 %.1f ms%s%s\n",
         argv[2], InstallState.PayloadSize, failure, shown - start, floor, (shown - start) / floor, longest, longestTick, over, took[10], took[40], took[80], took[1],
         over > 20 ? "" : "; over 50 ms: ", over > 20 ? "" : overTicks.c_str());
  return failure == 0 ? 0 : 1;
}
