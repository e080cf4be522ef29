#include "driver/gui_driver.h"

#include <set>

#include "resources/resource_ids.h"

double DriverNow() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * count.QuadPart / frequency.QuadPart;
}

namespace {

struct LaterAction {
  std::function<void()> Action;
  DWORD Due;
};

HHOOK Hook;
UINT_PTR Timer;
DriverHandler Handler;
std::vector<HWND> Pending;
std::set<HWND> Handled;
std::vector<LaterAction> LaterActions;
std::vector<std::string> Messages;
std::vector<std::string> ProgressTexts;
std::vector<double> ProgressTimes;
std::vector<WindowKind> Windows;
WNDPROC OriginalProgressTextProc;
std::function<void(HWND, const std::string&)> ProgressWatcher;

LRESULT CALLBACK ProgressTextProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT && lParam) {
    ProgressTexts.push_back((const char*)lParam);
    ProgressTimes.push_back(DriverNow());
    if (ProgressWatcher) ProgressWatcher(GetParent(window), ProgressTexts.back());
  }
  return CallWindowProcA(OriginalProgressTextProc, window, message, wParam, lParam);
}

WindowKind KindOf(HWND window) {
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  if (std::string(className) != "#32770") return WindowKind::Other;
  if (GetDlgItem(window, IDC_WELCOME_TEXT)) return WindowKind::Welcome;
  if (GetDlgItem(window, IDC_TARGET_EDIT)) return WindowKind::TargetFolder;
  if (GetDlgItem(window, IDC_CONFIRM_TEXT)) return WindowKind::Confirmation;
  if (GetDlgItem(window, IDC_PROGRESS_BAR)) return WindowKind::Progress;
  if (GetDlgItem(window, 0xFFFF) && (GetDlgItem(window, IDOK) || GetDlgItem(window, IDCANCEL))) return WindowKind::MessageBox;
  return WindowKind::FolderBrowser;
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = (HWND)wParam;
    if (!Handled.count(window)) {
      bool known = false;
      for (HWND pending : Pending) known = known || pending == window;
      if (!known) Pending.push_back(window);
      HWND text = GetDlgItem(window, IDC_PROGRESS_TEXT);
      if (text && GetDlgItem(window, IDC_PROGRESS_BAR) &&
          (WNDPROC)GetWindowLongPtrA(text, GWLP_WNDPROC) != ProgressTextProc)
        OriginalProgressTextProc = (WNDPROC)SetWindowLongPtrA(text, GWLP_WNDPROC, (LONG_PTR)ProgressTextProc);
    }
  } else if (code == HCBT_DESTROYWND) {
    Handled.erase((HWND)wParam);
  }
  return CallNextHookEx(Hook, code, wParam, lParam);
}

void CALLBACK DriverTick(HWND, UINT, UINT_PTR, DWORD) {
  DWORD now = GetTickCount();
  for (size_t i = 0; i < LaterActions.size();) {
    if ((LONG)(now - LaterActions[i].Due) >= 0) {
      std::function<void()> action = LaterActions[i].Action;
      LaterActions.erase(LaterActions.begin() + i);
      action();
    } else {
      ++i;
    }
  }
  std::vector<HWND> ready;
  ready.swap(Pending);
  for (HWND window : ready) {
    if (!IsWindow(window) || Handled.count(window)) continue;
    Handled.insert(window);
    WindowKind kind = KindOf(window);
    if (kind == WindowKind::MessageBox) {
      char caption[256] = "", text[1024] = "";
      GetWindowTextA(window, caption, sizeof caption);
      GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
      Messages.push_back(std::string(caption) + ": " + text);
    }
    Windows.push_back(kind);
    if (Handler) Handler(window, kind);
  }
}

}  // namespace

void StartDriver(DriverHandler handler) {
  Handler = handler;
  Pending.clear();
  Handled.clear();
  LaterActions.clear();
  Messages.clear();
  ProgressTexts.clear();
  ProgressTimes.clear();
  Windows.clear();
  OriginalProgressTextProc = nullptr;
  Hook = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
  Timer = SetTimer(nullptr, 0, 20, DriverTick);
}

void StopDriver() {
  if (Hook) UnhookWindowsHookEx(Hook);
  if (Timer) KillTimer(nullptr, Timer);
  Hook = nullptr;
  Timer = 0;
  Handler = nullptr;
  ProgressWatcher = nullptr;
}

void WatchProgressTexts(std::function<void(HWND page, const std::string& text)> watcher) {
  ProgressWatcher = watcher;
}

const std::vector<std::string>& DriverMessages() { return Messages; }
const std::vector<std::string>& DriverProgressTexts() { return ProgressTexts; }
const std::vector<double>& DriverProgressTimes() { return ProgressTimes; }
const std::vector<WindowKind>& DriverWindows() { return Windows; }

void PressButton(HWND window, int id) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(window, id));
}

void RunLater(std::function<void()> action, DWORD milliseconds) {
  LaterActions.push_back(LaterAction{action, GetTickCount() + milliseconds});
}

void PressButtonLater(HWND window, int id, DWORD milliseconds) {
  RunLater([window, id] { PressButton(window, id); }, milliseconds);
}

std::string ControlText(HWND window, int id) {
  char text[1024] = "";
  GetWindowTextA(GetDlgItem(window, id), text, sizeof text);
  return text;
}

bool ControlEnabled(HWND window, int id) {
  return !(GetWindowLongA(GetDlgItem(window, id), GWL_STYLE) & WS_DISABLED);
}

void TypeText(HWND window, int id, const std::string& text) {
  SetWindowTextA(GetDlgItem(window, id), text.c_str());
}

DriverHandler ScriptedUser(const WizardScript& script) {
  return [script](HWND window, WindowKind kind) {
    int button = 0;
    switch (kind) {
      case WindowKind::Welcome: button = script.Welcome; break;
      case WindowKind::TargetFolder: button = script.TargetFolder; break;
      case WindowKind::Confirmation: button = script.Confirmation; break;
      case WindowKind::MessageBox: button = GetDlgItem(window, IDOK) ? IDOK : IDCANCEL; break;
      default: break;
    }
    if (button) PressButton(window, button);
  };
}
