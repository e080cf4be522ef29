// Frelby, the demo game: catch the falling stars with the basket (arrow keys).
#include <windows.h>

namespace {

enum { FieldWidth = 480, FieldHeight = 360, BasketWidth = 70, StarCount = 5, TimerId = 1 };

struct Star {
  int X, Y, Speed;
};

Star Stars[StarCount];
int BasketX = FieldWidth / 2;
int Score, Missed;
unsigned Seed = 12345;

int NextRandom(int range) {
  Seed = Seed * 1103515245u + 12345u;
  return (int)((Seed >> 16) % (unsigned)range);
}

void DropStar(Star& star) {
  star.X = 10 + NextRandom(FieldWidth - 20);
  star.Y = -NextRandom(FieldHeight);
  star.Speed = 2 + NextRandom(4);
}

void Advance() {
  for (Star& star : Stars) {
    star.Y += star.Speed;
    if (star.Y >= FieldHeight - 30 && star.Y < FieldHeight - 30 + star.Speed && star.X >= BasketX - BasketWidth / 2 &&
        star.X <= BasketX + BasketWidth / 2) {
      ++Score;
      DropStar(star);
    } else if (star.Y > FieldHeight) {
      ++Missed;
      DropStar(star);
    }
  }
}

void Paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT field = {0, 0, FieldWidth, FieldHeight};
  HBRUSH sky = CreateSolidBrush(RGB(10, 20, 70));
  FillRect(dc, &field, sky);
  DeleteObject(sky);
  HBRUSH gold = CreateSolidBrush(RGB(255, 210, 40));
  for (const Star& star : Stars) {
    RECT r = {star.X - 5, star.Y - 5, star.X + 5, star.Y + 5};
    FillRect(dc, &r, gold);
  }
  DeleteObject(gold);
  HBRUSH wood = CreateSolidBrush(RGB(160, 100, 40));
  RECT basket = {BasketX - BasketWidth / 2, FieldHeight - 30, BasketX + BasketWidth / 2, FieldHeight - 15};
  FillRect(dc, &basket, wood);
  DeleteObject(wood);
  char text[64];
  int length = wsprintfA(text, "Gefangen: %d   Verpasst: %d", Score, Missed);  // at most 41 characters
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  TextOutA(dc, 8, 8, text, length);
  EndPaint(window, &paint);
}

LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      Advance();
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_LEFT && BasketX > BasketWidth / 2) BasketX -= 15;
      if (wParam == VK_RIGHT && BasketX < FieldWidth - BasketWidth / 2) BasketX += 15;
      if (wParam == VK_ESCAPE) DestroyWindow(window);
      return 0;
    case WM_PAINT: Paint(window); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = GameWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = "FrelbyGame";
  if (!RegisterClassA(&windowClass)) return 1;
  RECT frame = {0, 0, FieldWidth, FieldHeight};
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&frame, style, FALSE);
  HWND window = CreateWindowExA(0, "FrelbyGame", "Frelby", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  for (Star& star : Stars) DropStar(star);
  SetTimer(window, TimerId, 30, nullptr);
  ShowWindow(window, show);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
