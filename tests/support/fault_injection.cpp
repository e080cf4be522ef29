#include "support/fault_injection.h"

#include <windows.h>
#include <objidl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

long Calls, FailAt;
int Counting;
const char* Failed = "";
bool Fails(const char* name, DWORD error) {
  if (!Counting || ++Calls != FailAt) return false;
  Failed = name, SetLastError(error);
  return true;
}
#define FAULT(type, name, failure, error, params, args) \
  type(WINAPI* Real##name) params;                        \
  type WINAPI Fake##name params { return Fails(#name, error) ? (type)(failure) : Real##name args; }
#define ARGS5 (a, b, c, d, e)
#define ARGS6 (a, b, c, d, e, f)
typedef LPSECURITY_ATTRIBUTES Sa;
FAULT(HANDLE, CreateFileA, INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION,
      (LPCSTR a, DWORD b, DWORD c, Sa d, DWORD e, DWORD f, HANDLE g), (a, b, c, d, e, f, g))
FAULT(HANDLE, CreateFileW, INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION,
      (LPCWSTR a, DWORD b, DWORD c, Sa d, DWORD e, DWORD f, HANDLE g), (a, b, c, d, e, f, g))
FAULT(BOOL, WriteFile, FALSE, ERROR_DISK_FULL, (HANDLE a, LPCVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e), ARGS5)
FAULT(BOOL, ReadFile, FALSE, ERROR_READ_FAULT, (HANDLE a, LPVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e), ARGS5)
FAULT(BOOL, DeleteFileA, FALSE, ERROR_SHARING_VIOLATION, (LPCSTR a), (a))
FAULT(BOOL, MoveFileA, FALSE, ERROR_SHARING_VIOLATION, (LPCSTR a, LPCSTR b), (a, b))
FAULT(BOOL, MoveFileExA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR a, LPCSTR b, DWORD c), (a, b, c))
FAULT(BOOL, CreateDirectoryA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR a, Sa b), (a, b))
FAULT(BOOL, RemoveDirectoryA, FALSE, ERROR_SHARING_VIOLATION, (LPCSTR a), (a))
FAULT(BOOL, SetFileAttributesA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR a, DWORD b), (a, b))
FAULT(BOOL, WritePrivateProfileStringA, FALSE, ERROR_ACCESS_DENIED, (LPCSTR a, LPCSTR b, LPCSTR c, LPCSTR d), (a, b, c, d))
FAULT(LONG, RegOpenKeyExA, ERROR_ACCESS_DENIED, 0, (HKEY a, LPCSTR b, DWORD c, REGSAM d, PHKEY e), ARGS5)
FAULT(LONG, RegCreateKeyExA, ERROR_ACCESS_DENIED, 0,
      (HKEY a, LPCSTR b, DWORD c, LPSTR d, DWORD e, REGSAM f, Sa g, PHKEY h, LPDWORD i), (a, b, c, d, e, f, g, h, i))
FAULT(LONG, RegSetValueExA, ERROR_ACCESS_DENIED, 0, (HKEY a, LPCSTR b, DWORD c, DWORD d, const BYTE* e, DWORD f), ARGS6)
FAULT(LONG, RegDeleteKeyA, ERROR_ACCESS_DENIED, 0, (HKEY a, LPCSTR b), (a, b))
FAULT(LONG, RegQueryValueExA, ERROR_ACCESS_DENIED, 0, (HKEY a, LPCSTR b, LPDWORD c, LPDWORD d, LPBYTE e, LPDWORD f), ARGS6)
FAULT(LONG, RegEnumValueA, ERROR_ACCESS_DENIED, 0,
      (HKEY a, DWORD b, LPSTR c, LPDWORD d, LPDWORD e, LPDWORD f, LPBYTE g, LPDWORD h), (a, b, c, d, e, f, g, h))
FAULT(HRESULT, Save, E_ACCESSDENIED, 0, (IPersistFile * a, LPCOLESTR b, BOOL c), (a, b, c))
void* (*Realcalloc)(size_t, size_t);
void* Fakecalloc(size_t a, size_t b) { return Fails("calloc", ERROR_NOT_ENOUGH_MEMORY) ? nullptr : Realcalloc(a, b); }
// Windows 95/98 as the programs meet them, on when FRELBY_PERSONALITY is "win9x": what
// those systems refuse fails with their error, what they do otherwise is done their way,
// what they ignore is left out. It applies to calls from the test program, which holds
// the programs' code; msvcrt.dll's own calls keep Wine's rules (the runtime on Windows
// 95/98 calls what those systems accept).
enum Difference { ShareDelete, DeleteOnClose, OpenFolder, SpecificRights, NoMoveFileEx, NoWide, Wow64View,
                  ExtendedVersion, Missing, Windows98, WholeTree, NoSecurity };
const struct { const char* What; DWORD Error; const char* Source; } Win9x[] = {
    {"CreateFileA with FILE_SHARE_DELETE", ERROR_INVALID_PARAMETER,
     "CreateFile (Platform SDK): \"Windows Me/98/95: This flag is not supported\"; Free Pascal's RTL passes it on "
     "the NT family only, \"the flag may NOT be set on 9x\" (its issue 8898)"},
    {"CreateFileA with FILE_FLAG_DELETE_ON_CLOSE", ERROR_INVALID_PARAMETER,
     "deletion on close comes with FILE_SHARE_DELETE, the NT family's (CreateFile, Platform SDK); taken as refused"},
    {"CreateFileA on a folder", ERROR_ACCESS_DENIED,
     "Directories (Platform SDK 2000): \"Windows NT/2000: You can obtain a handle to a directory\""},
    {"CreateFileA asking specific rights (FILE_READ_ATTRIBUTES)", ERROR_INVALID_PARAMETER,
     "CreateFile (Platform SDK): access is 0, GENERIC_READ, GENERIC_WRITE; specific rights are the NT family's"},
    {"MoveFileExA", ERROR_CALL_NOT_IMPLEMENTED,
     "Microsoft KB Q129532 \"MoveFileEx Not Supported in Windows 95\": the [rename] section of wininit.ini"},
    {"a W function (CreateFileW)", ERROR_CALL_NOT_IMPLEMENTED,
     "Windows 95 General Limitations (Platform SDK 1998): stubs that return an error (ERROR_CALL_NOT_IMPLEMENTED)"},
    {"RegOpenKeyExA or RegCreateKeyExA with KEY_WOW64_32KEY or KEY_WOW64_64KEY", ERROR_INVALID_PARAMETER,
     "Accessing an Alternate Registry View (MSDN): \"Windows 2000: This flag is not supported\"; 95/98 are older"},
    {"GetVersionExA with OSVERSIONINFOEXA", ERROR_INSUFFICIENT_BUFFER,
     "OSVERSIONINFOEX (Platform SDK 1998): \"Windows: Unsupported\" (the error is Wine's for a size it does not know)"},
    {"GetProcAddress of a function newer than Windows 98", ERROR_PROC_NOT_FOUND,
     "each function's page (MSDN), minimum client: Windows 2000 (the security calls) or later (the others)"},
    {"GetVersionExA: 4.10.2222 \" A\", VER_PLATFORM_WIN32_WINDOWS", 0,
     "OSVERSIONINFO (Platform SDK 1998): Windows 98's minor version is above 0, the build number in the low word"},
    {"RegDeleteKeyA deletes the key with its subkeys", 0,
     "RegDeleteKey (Platform SDK 2000): \"Windows 95/98: The function also deletes all subkeys and values\""},
    {"lpSecurityDescriptor of CreateFileA, CreateDirectoryA, RegCreateKeyExA is ignored", 0,
     "CreateFile, CreateDirectory (Platform SDK 2000): \"Windows 95/98: The lpSecurityDescriptor member ... is ignored\""}};
int Personality;
// 1 when the call comes from the test program's code and the personality is on.
bool FromProgram(void* returnAddress) {
  MEMORY_BASIC_INFORMATION memory;
  return Personality && VirtualQuery(returnAddress, &memory, sizeof memory) &&
         memory.AllocationBase == (void*)GetModuleHandleA(nullptr);
}
#define FROM_PROGRAM FromProgram(__builtin_return_address(0))
// Fails the call as Windows 95/98 do when the row applies.
bool Refuses(Difference row, bool applies) {
  if (!applies) return false;
  fprintf(stderr, "Windows 95/98 refuse %s (error %lu)\n", Win9x[row].What, Win9x[row].Error);
  SetLastError(Win9x[row].Error);
  return true;
}
Sa WithoutSecurity(Sa given) {  // NoSecurity
  static SECURITY_ATTRIBUTES plain;
  return given ? (plain = *given, plain.lpSecurityDescriptor = nullptr, &plain) : given;
}
HANDLE WINAPI NineCreateFileA(LPCSTR a, DWORD b, DWORD c, Sa d, DWORD e, DWORD f, HANDLE g) {
  DWORD attributes = GetFileAttributesA(a);
  if (FROM_PROGRAM && (Refuses(ShareDelete, c & FILE_SHARE_DELETE) || Refuses(DeleteOnClose, f & FILE_FLAG_DELETE_ON_CLOSE) ||
                       Refuses(OpenFolder, attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) ||
                       Refuses(SpecificRights, b & ~(GENERIC_READ | GENERIC_WRITE))))
    return INVALID_HANDLE_VALUE;
  return FakeCreateFileA(a, b, c, FROM_PROGRAM ? WithoutSecurity(d) : d, e, f, g);
}
HANDLE WINAPI NineCreateFileW(LPCWSTR a, DWORD b, DWORD c, Sa d, DWORD e, DWORD f, HANDLE g) {
  return FROM_PROGRAM && Refuses(NoWide, true) ? INVALID_HANDLE_VALUE : FakeCreateFileW(a, b, c, d, e, f, g);
}
BOOL WINAPI NineMoveFileExA(LPCSTR a, LPCSTR b, DWORD c) {
  return FROM_PROGRAM && Refuses(NoMoveFileEx, true) ? FALSE : FakeMoveFileExA(a, b, c);
}
BOOL WINAPI NineCreateDirectoryA(LPCSTR a, Sa b) { return FakeCreateDirectoryA(a, FROM_PROGRAM ? WithoutSecurity(b) : b); }
const REGSAM Wow64 = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
LONG WINAPI NineRegOpenKeyExA(HKEY a, LPCSTR b, DWORD c, REGSAM d, PHKEY e) {
  return FROM_PROGRAM && Refuses(Wow64View, d & Wow64) ? Win9x[Wow64View].Error : FakeRegOpenKeyExA(a, b, c, d, e);
}
LONG WINAPI NineRegCreateKeyExA(HKEY a, LPCSTR b, DWORD c, LPSTR d, DWORD e, REGSAM f, Sa g, PHKEY h, LPDWORD i) {
  if (FROM_PROGRAM && Refuses(Wow64View, f & Wow64)) return Win9x[Wow64View].Error;
  return FakeRegCreateKeyExA(a, b, c, d, e, f, FROM_PROGRAM ? WithoutSecurity(g) : g, h, i);
}
LONG WINAPI NineRegDeleteKeyA(HKEY a, LPCSTR b) {
  if (!FROM_PROGRAM) return FakeRegDeleteKeyA(a, b);
  static LONG(WINAPI * tree)(HKEY, LPCSTR) =
      (LONG(WINAPI*)(HKEY, LPCSTR))(void*)GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteTreeA");
  return Fails("RegDeleteKeyA", 0) ? ERROR_ACCESS_DENIED : tree(a, b);  // WholeTree
}
BOOL(WINAPI* RealGetVersionExA)(LPOSVERSIONINFOA);
BOOL WINAPI NineGetVersionExA(LPOSVERSIONINFOA a) {
  if (!FROM_PROGRAM) return RealGetVersionExA(a);
  if (Refuses(ExtendedVersion, a->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))) return FALSE;
  a->dwMajorVersion = 4, a->dwMinorVersion = 10, a->dwBuildNumber = MAKELONG(2222, 0x040A);  // Windows98
  a->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS, strcpy(a->szCSDVersion, " A");
  return TRUE;
}
FARPROC(WINAPI* RealGetProcAddress)(HMODULE, LPCSTR);
FARPROC WINAPI NineGetProcAddress(HMODULE a, LPCSTR b) {
  const char* newer = "|SetFileInformationByHandle|CheckTokenMembership|ConvertStringSidToSidA|SetDllDirectoryA|"
                      "ConvertStringSecurityDescriptorToSecurityDescriptorA|SetDefaultDllDirectories|";
  char name[80];
  bool missing = HIWORD(b) && strlen(b) < 70 && (sprintf(name, "|%s|", b), strstr(newer, name));
  return FROM_PROGRAM && Refuses(Missing, missing) ? nullptr : RealGetProcAddress(a, b);
}
void Patch(void** slot, void* fake, void** real) {
  DWORD old;
  if (*slot == fake || !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return;
  if (!*real) *real = *slot;
  *slot = fake, VirtualProtect(slot, sizeof *slot, old, &old);
}
// A link object is made through the import; it is saved through its table of methods,
// which every link object shares: that slot is counted too.
HRESULT(WINAPI* RealCoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
HRESULT WINAPI FakeCoCreateInstance(REFCLSID a, LPUNKNOWN b, DWORD c, REFIID d, LPVOID* e) {
  if (Fails("CoCreateInstance", ERROR_OUTOFMEMORY)) return E_OUTOFMEMORY;
  HRESULT made = RealCoCreateInstance(a, b, c, d, e);
  IPersistFile* file = nullptr;
  if (SUCCEEDED(made) && SUCCEEDED(((IUnknown*)*e)->QueryInterface(IID_IPersistFile, (void**)&file))) {
    Patch(&(*(void***)file)[6], (void*)FakeSave, (void**)&RealSave);  // IPersistFile::Save
    file->Release();
  }
  return made;
}
// Each import's counting wrapper, and the personality's where it has one.
struct Hook { const char* Name; void* Fake; void** Real; void* Nine; };
#define HOOK(name) {#name, (void*)Fake##name, (void**)&Real##name, nullptr}
#define NINE(name) {#name, (void*)Fake##name, (void**)&Real##name, (void*)Nine##name}
const Hook Hooks[] = {NINE(CreateFileA), NINE(CreateFileW), HOOK(WriteFile), HOOK(ReadFile), HOOK(DeleteFileA),
             HOOK(MoveFileA), NINE(MoveFileExA), NINE(CreateDirectoryA), HOOK(RemoveDirectoryA),
             HOOK(SetFileAttributesA), HOOK(WritePrivateProfileStringA), NINE(RegOpenKeyExA), NINE(RegCreateKeyExA),
             HOOK(RegSetValueExA), NINE(RegDeleteKeyA), HOOK(RegQueryValueExA), HOOK(RegEnumValueA),
             HOOK(CoCreateInstance), HOOK(calloc), {"GetVersionExA", nullptr, (void**)&RealGetVersionExA, (void*)NineGetVersionExA},
             {"GetProcAddress", nullptr, (void**)&RealGetProcAddress, (void*)NineGetProcAddress}};
void PatchImports(HMODULE module) {
  BYTE* base = (BYTE*)module;
  IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
  DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports); imports && d->Name; ++d) {
    IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
    for (void** slot = (void**)(base + d->FirstThunk); names->u1.AddressOfData; ++names, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name = (const char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name;
      for (const Hook& hook : Hooks)
        if (!strcmp(name, hook.Name) && (hook.Fake || Personality)) Patch(slot, Personality && hook.Nine ? hook.Nine : hook.Fake, hook.Real);
    }
  }
}

}  // namespace

void InstallFaultInjector() {
  const char* personality = getenv("FRELBY_PERSONALITY");
  Personality = personality && !strcmp(personality, "win9x");
  PatchImports(GetModuleHandleA(nullptr)), PatchImports(GetModuleHandleA("msvcrt.dll"));
}
void InstallPersonality() {
  if (getenv("FRELBY_PERSONALITY")) InstallFaultInjector();
}
int Win9xPersonality() { return Personality; }
void StartCountingCalls(long failAt) { Calls = 0, FailAt = failAt, Failed = "", Counting = 1; }
long StopCountingCalls() { return Counting = 0, Calls; }
const char* FailedCallName() { return Failed; }
