#include "support/fault_injection.h"

#include <windows.h>
#include <objidl.h>
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
struct Hook { const char* Name; void* Fake; void** Real; };
#define HOOK(name) {#name, (void*)Fake##name, (void**)&Real##name}
const Hook Hooks[] = {HOOK(CreateFileA), HOOK(CreateFileW), HOOK(WriteFile), HOOK(ReadFile), HOOK(DeleteFileA),
             HOOK(MoveFileA), HOOK(MoveFileExA), HOOK(CreateDirectoryA), HOOK(RemoveDirectoryA),
             HOOK(SetFileAttributesA), HOOK(WritePrivateProfileStringA), HOOK(RegOpenKeyExA), HOOK(RegCreateKeyExA),
             HOOK(RegSetValueExA), HOOK(RegDeleteKeyA), HOOK(RegQueryValueExA), HOOK(RegEnumValueA),
             HOOK(CoCreateInstance), HOOK(calloc)};
void PatchImports(HMODULE module) {
  BYTE* base = (BYTE*)module;
  IMAGE_NT_HEADERS* headers = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
  DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (IMAGE_IMPORT_DESCRIPTOR* d = (IMAGE_IMPORT_DESCRIPTOR*)(base + imports); imports && d->Name; ++d) {
    IMAGE_THUNK_DATA* names = (IMAGE_THUNK_DATA*)(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
    for (void** slot = (void**)(base + d->FirstThunk); names->u1.AddressOfData; ++names, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name = (const char*)((IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData))->Name;
      for (const Hook& hook : Hooks) if (!strcmp(name, hook.Name)) Patch(slot, hook.Fake, hook.Real);
    }
  }
}

}  // namespace

void InstallFaultInjector() { PatchImports(GetModuleHandleA(nullptr)), PatchImports(GetModuleHandleA("msvcrt.dll")); }
void StartCountingCalls(long failAt) { Calls = 0, FailAt = failAt, Failed = "", Counting = 1; }
long StopCountingCalls() { return Counting = 0, Calls; }
const char* FailedCallName() { return Failed; }
