// A tick of the progress page that runs longer than the timer period lets the page answer
// between two pieces of its work (two entries, two shortcuts): the thread's pending
// messages (paint, input, the rest) are handled as the page's modal loop handles them,
// Esc and commands included, which leave the page running. A timer event among them finds the tick still running
// (StepBusy) and is dropped, as in any nested loop, so no tick starts inside another.
#pragma once
#include <windows.h>

// The page whose tick runs now, and the longest it may go unanswered. Outside a tick, and
// without a page (unattended, a step called alone), nothing is answered.
void BeginAnsweringTick(HWND page, DWORD interval);
void EndAnsweringTick();
// Handles the pending messages once the interval has passed since the tick began or since
// they were last handled.
void AnswerPendingMessagesIfDue();
