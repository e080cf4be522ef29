// The wizard pages before the installation: welcome, target folder, confirmation;
// their common opening, the drive test and the space figures.
#pragma once
#include <windows.h>

void PreparePageWindow(HWND page);
INT_PTR CALLBACK WelcomePage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TargetFolderPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ConfirmationPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// 1 when the path may be installed to: a fixed or removable drive from C to Z, given
// as letter, ":" and "\", with at least the required space free.
int CheckTargetDrive(const char* path);
unsigned RequiredSpaceKB();
// Free space of a drive root in KB, exact on any disk; 0 when it cannot be read.
unsigned long long FreeSpaceKB(const char* root);
