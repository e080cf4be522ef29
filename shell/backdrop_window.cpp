#include "shell/backdrop_window.h"

#include <string.h>

#include "base/install_state.h"
#include "base/product_names.h"
#include "resources/resource_ids.h"

namespace {

const char BackdropClass[] = "SetupClass";

// A gradient from blue at the top to black at the bottom, and the product's name.
void PaintBackdrop(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  for (int row = 0; row < GetSystemMetrics(SM_CYSCREEN); ++row) {
    int blue = 255 - (row * 255) / GetSystemMetrics(SM_CYSCREEN);
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, blue));
    RECT band = {0, row, GetSystemMetrics(SM_CXSCREEN), row + 1};
    FillRect(dc, &band, brush);
    DeleteObject(brush);
  }
  DrawTitleText(dc, 25, 25, 50, 600, 0, ProductName, "Arial", 20, 20, 20);
  DrawTitleText(dc, 20, 20, 50, 600, 0, ProductName, "Arial", 255, 255, 255);
  EndPaint(window, &paint);
}

LRESULT CALLBACK BackdropWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: SetSetupIcons(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_PAINT: PaintBackdrop(window); return 0;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_ERASEBKGND: return 1;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void SetSetupIcons(HWND window) {
  SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)LoadIconA(InstallState.InstanceHandle, MAKEINTRESOURCEA(IDI_SETUP)));
  SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)LoadIconA(InstallState.InstanceHandle, MAKEINTRESOURCEA(IDI_SETUP)));
}

HWND CreateBackdropWindow(HINSTANCE instance) {
  InstallState.InstanceHandle = instance;
  WNDCLASSA windowClass;
  memset(&windowClass, 0, sizeof windowClass);
  windowClass.lpfnWndProc = BackdropWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SETUP));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = BackdropClass;
  if (!RegisterClassA(&windowClass)) return nullptr;
  HWND window = CreateWindowExA(0, BackdropClass, "SetupApplication", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance, nullptr);
  if (!window) return nullptr;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}

int DrawTitleText(HDC dc, int x, int y, int height, int weight, int escapement, const char* text, const char* face,
                  int red, int green, int blue) {
  SetTextColor(dc, RGB(red & 0xFF, green & 0xFF, blue & 0xFF));
  int previousMode = GetBkMode(dc);
  SetBkMode(dc, TRANSPARENT);
  HFONT font = CreateFontA(height, 26, escapement, 0, weight, 1, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
  HGDIOBJ previousFont = SelectObject(dc, font);
  SIZE extent;
  int length = lstrlenA(text);
  GetTextExtentPointA(dc, text, length, &extent);
  RECT rect = {x, y, x + extent.cx, y + extent.cy};
  DrawTextA(dc, text, length, &rect, DT_SINGLELINE);
  SelectObject(dc, previousFont);
  DeleteObject(font);
  SetBkMode(dc, previousMode);
  return 1;
}
