// The progress page and the 100-tick install schedule it runs on its 50 ms timer.
#pragma once
#include <windows.h>

enum { ScheduleTicks = 100, ScheduleTimerId = 1, ScheduleTimerPeriod = 50 };

extern int TickCount;  // ticks run so far, 0 to 100
extern int StepBusy;   // 1 while a tick runs; timer events meanwhile are dropped

INT_PTR CALLBACK ProgressPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the step of one tick of the schedule.
void RunScheduledStep(int tick);
// The whole schedule without the page and its timer, tick after tick (setup.exe /S):
// the same steps the page runs.
void RunScheduleUnattended();
