// The full-screen backdrop behind the wizard: a blue gradient with the product name.
#pragma once
#include <windows.h>

HWND CreateBackdropWindow(HINSTANCE instance);
LRESULT CALLBACK BackdropWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PaintBackdrop(HWND window);
int DrawTitleText(HDC dc, int x, int y, int height, int weight, int escapement, const char* text, const char* face,
                  int red, int green, int blue);
// Blue of gradient row i on a screen `height` rows high.
int BackdropRowBlue(int row, int height);
