// hold_file FILE: opens FILE for reading and writing and shares it with nobody, as a
// program that locks its data file does; prints "held" and keeps it until ended.
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  puts("held");
  fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
