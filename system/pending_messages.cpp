#include "system/pending_messages.h"

namespace {

HWND AnsweringPage;
DWORD AnswerInterval;
DWORD LastAnswered;

}  // namespace

void BeginAnsweringTick(HWND page, DWORD interval) {
  AnsweringPage = page;
  AnswerInterval = interval;
  LastAnswered = GetTickCount();
}

void EndAnsweringTick() { AnsweringPage = nullptr; }

void AnswerPendingMessagesIfDue() {
  if (!AnsweringPage) return;
  DWORD start = GetTickCount();
  if (start - LastAnswered < AnswerInterval) return;
  HWND page = AnsweringPage;
  MSG message;
  // Bounded, should the handling of messages keep posting new ones.
  while (GetTickCount() - start < AnswerInterval && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage((int)message.wParam);  // for the loop that waits for it
      break;
    }
    if (!IsDialogMessageA(page, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  LastAnswered = GetTickCount();
}
