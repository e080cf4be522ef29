// The full-screen backdrop behind the wizard: a blue gradient with the product name.
#pragma once
#include <windows.h>

HWND CreateBackdropWindow(HINSTANCE instance);
int DrawTitleText(HDC dc, int x, int y, int height, int weight, int escapement, const char* text, const char* face,
                  int red, int green, int blue);
// Gives a window (the backdrop, a wizard page) setup's icon, large and small.
void SetSetupIcons(HWND window);
