// hold_file FILE: holds FILE open, shared with nobody (as a program that locks its data
// file does), read-only or not; prints "held" and waits until it is ended.
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
  HANDLE file = argc != 2 ? INVALID_HANDLE_VALUE
                          : CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE || puts("held") < 0 || fflush(stdout)) return 1;
  Sleep(INFINITE);
}
