// Install timing on Wine: start-up with its check of the payload against the checksum
// record, against a bare read of the same bytes; the wall time of the progress page
// from "Installieren" to the final message against its floor of 101 timer periods, and
// the longest work of a single tick of the schedule. Argument: the payload file (a
// host path).
#include <stdio.h>
#include <string.h>

#include "driver/gui_driver.h"
#include "payload/payload_checksum.h"
#include "resources/resource_ids.h"
#include "shell/install_state.h"
#include "shell/setup_run.h"
#include "shell/step_schedule.h"
#include "support/payload_module.h"
#include "support/pipeline.h"
#include "support/test_support.h"
#include "system/rollback.h"

namespace {

double Now() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * count.QuadPart / frequency.QuadPart;
}

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
  double before = Now();
  volatile unsigned sum = BareRead(bytes, size);
  double bare = Now() - before;

  ResetInstallState();
  InstallState.InstanceHandle = checked;
  before = Now();
  int started = InitInstallState();
  double startUp = Now() - before;

  before = Now();
  volatile uint32_t crc = Crc32Update(0, bytes, size);
  double crcWarm = Now() - before;
  before = Now();
  sum = BareRead(bytes, size);
  double bareWarm = Now() - before;
  (void)sum;
  (void)crc;
  printf("start-up %s: payload %u bytes, %s; start-up with the check %.1f ms, bare read of the same bytes %.1f ms, "
         "ratio %.2f (goal: well under 1000 ms); once read: CRC-32 %.1f ms (%.0f MB/s), bare read %.1f ms, "
         "ratio %.2f\n",
         name, size, started ? "accepted" : "refused", startUp, bare, startUp / bare, crcWarm,
         size / 1048576.0 / (crcWarm / 1000.0), bareWarm, crcWarm / bareWarm);
  return started;
}

// Undoes a finished install, as the uninstaller would, to leave the prefix clean.
void Remove() {
  InstallState.LogOpened = 1;
  RollBackInstallation();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: install_bench PAYLOAD NAME\n");
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
  double shown = 0;
  StartDriver([&](HWND window, WindowKind kind) {
    if (kind != WindowKind::MessageBox) return;
    shown = Now();
    PressButton(window, IDOK);
  });
  InstallState.WizardPage = PageProgress;
  double start = Now();
  RunWizard(TestBackdrop());
  FinishInstallation(TestBackdrop());
  StopDriver();
  int failure = InstallState.FailureCode;
  Remove();
  double floor = 101.0 * ScheduleTimerPeriod;

  // Each tick's work alone.
  if (!Prepare(module, target)) return 1;
  double took[ScheduleTicks + 1] = {};
  int longestTick = 1;
  for (int tick = 1; tick <= ScheduleTicks; ++tick) {
    double before = Now();
    RunScheduledStep(tick);
    took[tick] = Now() - before;
    if (took[tick] > took[longestTick]) longestTick = tick;
  }
  double longest = took[longestTick];
  int over = 0;
  for (int tick = 1; tick <= ScheduleTicks; ++tick) over += took[tick] > ScheduleTimerPeriod;
  CloseLog();
  Remove();
  RemoveTree(folder);

  printf("install %s: payload %u bytes, failure code %d; progress page to final message %.0f ms, floor %.0f ms, "
         "ratio %.2f; longest tick %.1f ms (tick %d, goal 50 ms), %d ticks over 50 ms; staging, expansion, "
         "extraction slice %.1f, %.1f, %.1f ms\n",
         argv[2], InstallState.PayloadSize, failure, shown - start, floor, (shown - start) / floor, longest, longestTick, over, took[10], took[40], took[80]);
  return failure == 0 ? 0 : 1;
}
