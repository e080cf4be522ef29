// Install timing on Wine: the wall time of the progress page from "Installieren" to
// the final message against its floor of 101 timer periods, and the longest work of a
// single tick of the schedule. Argument: the payload file (a host path).
#include <stdio.h>

#include "driver/gui_driver.h"
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
  HMODULE module = LoadPayloadModule(ReadBytes(HostPath(argv[1])));
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
