// show_version PROGRAM: prints a program's version information as the platform reads it
// ("name=value" lines: the file version's four numbers, then the texts of the German
// block), then its manifest (resource 24/1), for the end-to-end rows.
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv) {
  static char data[16384];
  DWORD ignored = 0, size = argc == 2 ? GetFileVersionInfoSizeA(argv[1], &ignored) : 0;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!size || size > sizeof data || !GetFileVersionInfoA(argv[1], 0, size, data) ||
      !VerQueryValueA(data, "\\", (void**)&fixed, &length))
    return 1;
  printf("FileVersion#=%lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
         fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
  const char* names[] = {"CompanyName", "FileDescription", "FileVersion", "LegalCopyright", "OriginalFilename",
                         "ProductName", "ProductVersion", "URLInfoAbout"};
  for (const char* name : names) {
    char query[100];
    char* value = nullptr;
    wsprintfA(query, "\\StringFileInfo\\040704E4\\%s", name);
    if (VerQueryValueA(data, query, (void**)&value, &length) && value) printf("%s=%s\n", name, value);
  }
  HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC manifest = module ? FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : nullptr;
  if (!manifest) return 1;
  fwrite(LockResource(LoadResource(module, manifest)), 1, SizeofResource(module, manifest), stdout);
  return 0;
}
