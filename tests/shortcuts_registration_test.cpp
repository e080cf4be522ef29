// Start-menu shortcuts, Program Manager groups and the uninstall registry entry, on
// the real shell link object, Wine's "PROGMAN" DDE server and the real registry.
#include <gtest/gtest.h>

#include <windows.h>
#include <ddeml.h>
#include <shlobj.h>

#include "base/install_state.h"
#include "base/product_names.h"
#include "support/pipeline.h"
#include "system/rollback.h"
#include "system/shortcuts.h"
#include "system/uninstall_registration.h"

namespace {

const char UninstallParent[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char EntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\FrelbyKey";

struct LinkInfo {
  std::string Target, WorkingFolder;
};

LinkInfo ReadLink(const std::string& path) {
  LinkInfo info;
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link)))
    return info;
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file)) && SUCCEEDED(file->Load(wide, STGM_READ))) {
    char text[MAX_PATH];
    if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0))) info.Target = text;
    if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) info.WorkingFolder = text;
  }
  if (file) file->Release();
  link->Release();
  return info;
}

std::string ReadValue(const char* name) {
  HKEY key;
  char value[512] = "";
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, EntryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  DWORD size = sizeof value - 1, type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, (BYTE*)value, &size) != ERROR_SUCCESS) value[0] = 0;
  RegCloseKey(key);
  return value;
}

bool EntryExists() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, EntryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class SystemIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetInstallState();
    CoInitialize(nullptr);
    folder = ScratchFolder("integration");
    SetTarget("C:\\Programme\\Frelby\\");
    snprintf(InstallState.LogPath, PathCapacity, "%sdeinst.log", folder.c_str());
    InstallState.LogFile = fopen(InstallState.LogPath, "wt");
    programs = ProgramsFolder();
    RemoveTree(programs + "\\Frelby");
    RemoveUninstallKey(UninstallKeyName);
    DropUninstallKeyAside(UninstallKeyName);
  }
  void TearDown() override {
    CloseLog();
    RemoveTree(programs + "\\Frelby");
    RemoveUninstallKey(UninstallKeyName);
    DropUninstallKeyAside(UninstallKeyName);
  }
  std::string folder, programs;
};

TEST_F(SystemIntegrationTest, ShortcutsPointAtTheGameAndTheUninstaller) {
  ASSERT_FALSE(programs.empty());
  EXPECT_EQ(CreateShortcuts(), 1);
  std::string menu = programs + "\\Frelby";
  EXPECT_EQ(LogText(), "CI " + menu + "\r\nCL " + menu + "\\Frelby.lnk\r\nCL " + menu + "\\Frelby deinstallieren.lnk\r\n");
  LinkInfo game = ReadLink(menu + "\\Frelby.lnk");
  EXPECT_EQ(game.Target, "C:\\Programme\\Frelby\\frelby.exe");
  EXPECT_EQ(game.WorkingFolder, "C:\\Programme\\Frelby\\");
  LinkInfo uninstaller = ReadLink(menu + "\\Frelby deinstallieren.lnk");
  EXPECT_EQ(uninstaller.Target, "C:\\Programme\\Frelby\\uninst.exe");
  EXPECT_EQ(uninstaller.WorkingFolder, "C:\\Programme\\Frelby\\");
}

TEST_F(SystemIntegrationTest, AnExistingFolderAndShortcutAreReusedAndOverwritten) {
  std::string menu = programs + "\\Frelby";
  CreateDirectoryA(menu.c_str(), nullptr);
  WriteText(menu + "\\Frelby.lnk", "old");
  EXPECT_EQ(CreateShortcuts(), 1);
  EXPECT_EQ(ReadLink(menu + "\\Frelby.lnk").Target, "C:\\Programme\\Frelby\\frelby.exe");
  EXPECT_EQ(LogText().substr(0, 3 + menu.size()), "CI " + menu);
}

// "Programs" missing, or not text: no shortcut, no folder, no record.
TEST_F(SystemIntegrationTest, WithoutAReadableProgramsFolderNothingIsCreated) {
  ASSERT_FALSE(programs.empty());
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                          KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  std::set<std::string> before = SnapshotTree(programs);
  DWORD number = 7;
  for (bool asNumber : {false, true}) {
    RegDeleteValueA(key, "Programs");
    if (asNumber) RegSetValueExA(key, "Programs", 0, REG_DWORD, (const BYTE*)&number, sizeof number);
    EXPECT_EQ(CreateShortcuts(), 0) << asNumber;
    EXPECT_EQ(LogText(), "") << asNumber;
  }
  RegSetValueExA(key, "Programs", 0, REG_SZ, (const BYTE*)programs.c_str(), (DWORD)programs.size() + 1);
  RegCloseKey(key);
  EXPECT_EQ(ProgramsFolder(), programs);
  EXPECT_EQ(SnapshotTree(programs), before);
}

TEST_F(SystemIntegrationTest, PathsTooLongForTheirBuffersCreateAndRecordNothing) {
  std::string longTarget = "C:\\" + std::string(250, 'x') + "\\";
  SetTarget(longTarget);
  EXPECT_EQ(CreateShellLink("Frelby\\Frelby", (longTarget + "frelby.exe").c_str()), 0);
  EXPECT_FALSE(FileExists(programs + "\\Frelby\\Frelby.lnk"));  // recorded, but not saved: no shortcut
  EXPECT_EQ(CreateShellLink(("Frelby\\" + std::string(260, 'n')).c_str(), "C:\\a\\b.exe"), 0);
  EXPECT_EQ(CreateProgramFolder(std::string(250, 'f').c_str()), 0);
  EXPECT_EQ(AddProgmanItem("Frelby", (longTarget + "frelby.exe").c_str(), "Frelby"), 0);
  EXPECT_EQ(LogText(), "CL " + programs + "\\Frelby\\Frelby.lnk\r\n");
}

// A Program Manager of the test's own: a DDE server for the service and topic
// "PROGMAN" on a thread of its own, which counts conversations and keeps every command
// it is sent. answer = 0 makes it refuse every command.
struct ProgmanServer {
  std::vector<std::string> Commands;
  int Conversations = 0;
  int Answer = 1;
  DWORD Instance = 0;
  HSZ Service = nullptr;
  HANDLE Thread = nullptr, Ready = nullptr;
  DWORD ThreadId = 0;

  static ProgmanServer* Current;

  static HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ topic, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    ProgmanServer* self = Current;
    switch (type) {
      case XTYP_CONNECT: return (HDDEDATA)(ULONG_PTR)(DdeCmpStringHandles(topic, self->Service) == 0);
      case XTYP_CONNECT_CONFIRM: ++self->Conversations; return nullptr;
      case XTYP_EXECUTE: {
        char text[512] = "";
        DdeGetData(data, (BYTE*)text, sizeof text - 1, 0);
        self->Commands.push_back(text);
        return (HDDEDATA)(ULONG_PTR)(self->Answer ? DDE_FACK : DDE_FNOTPROCESSED);
      }
    }
    return nullptr;
  }
  static DWORD WINAPI Run(void* parameter) {
    ProgmanServer* self = (ProgmanServer*)parameter;
    DdeInitializeA(&self->Instance, Callback, APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS, 0);
    self->Service = DdeCreateStringHandleA(self->Instance, "PROGMAN", CP_WINANSI);
    DdeNameService(self->Instance, self->Service, nullptr, DNS_REGISTER);
    SetEvent(self->Ready);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    DdeNameService(self->Instance, self->Service, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(self->Instance, self->Service);
    DdeUninitialize(self->Instance);
    return 0;
  }
  explicit ProgmanServer(int answer) : Answer(answer) {
    Current = this;
    Ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Thread = CreateThread(nullptr, 0, Run, this, 0, &ThreadId);
    WaitForSingleObject(Ready, 5000);
  }
  ~ProgmanServer() {
    PostThreadMessageA(ThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(Thread, 5000);
    CloseHandle(Thread);
    CloseHandle(Ready);
    Current = nullptr;
  }
};
ProgmanServer* ProgmanServer::Current;

TEST_F(SystemIntegrationTest, OldShellSendsSixProgramManagerCommandsAndRecordsTheGroup) {
  ProgmanServer progman(1);
  InstallState.PlatformKind = 0;
  EXPECT_EQ(CreateShortcuts(), 1);
  std::vector<std::string> expected = {
      "[DeleteGroup(\"Frelby\")]",
      "[CreateGroup(\"Frelby\")]",
      "[ShowGroup(\"Frelby\",1)]",
      "[AddItem(\"C:\\Programme\\Frelby\\frelby.exe\",\"Frelby\")]",
      "[ShowGroup(\"Frelby\",1)]",
      "[AddItem(\"C:\\Programme\\Frelby\\uninst.exe\",\"Frelby deinstallieren\")]",
  };
  EXPECT_EQ(progman.Commands, expected);
  EXPECT_EQ(progman.Conversations, 6);
  EXPECT_EQ(LogText(), "PG Frelby\r\n");
}

TEST_F(SystemIntegrationTest, TheGroupIsRecordedEvenWhenProgramManagerRefusesEverything) {
  ProgmanServer progman(0);
  InstallState.PlatformKind = 0;
  EXPECT_EQ(CreateShortcuts(), 1);
  EXPECT_EQ(progman.Commands.size(), 6u);
  EXPECT_EQ(LogText(), "PG Frelby\r\n");
}

TEST_F(SystemIntegrationTest, RollbackOfTheGroupAsksProgramManagerToDeleteIt) {
  ProgmanServer progman(1);
  InstallState.PlatformKind = 0;
  EXPECT_EQ(CreateShortcuts(), 1);
  CloseLog();
  InstallState.LogOpened = 1;
  std::vector<std::string> sent = progman.Commands;
  EXPECT_EQ(RollBackInstallation(), 1);
  ASSERT_EQ(progman.Commands.size(), sent.size() + 1);
  EXPECT_EQ(progman.Commands.back(), "[DeleteGroup(\"Frelby\")]");
}

TEST_F(SystemIntegrationTest, RegistrationWritesAFreshEntryAndTheRecord) {
  HKEY key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, EntryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegSetValueExA(key, "Stale", 0, REG_SZ, (const BYTE*)"old", 4);
  RegCloseKey(key);
  SetTarget("D:\\Spiele\\Frelby\\");
  EXPECT_EQ(RegisterUninstall(UninstallKeyName, UninstallDisplayName, UninstallerFile), 1);
  EXPECT_EQ(ReadValue("DisplayName"), "Frelby deinstallieren");
  EXPECT_EQ(ReadValue("UninstallString"), "\"D:\\Spiele\\Frelby\\uninst.exe\"");
  std::set<std::string> entry = SnapshotRegistry(HKEY_LOCAL_MACHINE, EntryKey);
  EXPECT_EQ(entry.size(), 8u);  // the key and its values, without "Stale" and those of a version or size
  // The earlier entry was kept aside first, and comes back as it was.
  EXPECT_EQ(LogText(), "KR FrelbyKey\r\nRK FrelbyKey\r\n");
  std::set<std::string> aside = SnapshotRegistry(HKEY_LOCAL_MACHINE, (std::string(EntryKey) + "~alt").c_str());
  EXPECT_EQ(aside.size(), 2u);
  EXPECT_EQ(RestoreUninstallKey(UninstallKeyName), 1);
  EXPECT_EQ(ReadValue("Stale"), "old");
  EXPECT_EQ(ReadValue("DisplayName"), "");
  EXPECT_TRUE(SnapshotRegistry(HKEY_LOCAL_MACHINE, (std::string(EntryKey) + "~alt").c_str()).empty());
}

TEST_F(SystemIntegrationTest, OldShellRegistersNothing) {
  InstallState.PlatformKind = 0;
  EXPECT_EQ(RegisterUninstall(UninstallKeyName, UninstallDisplayName, UninstallerFile), 1);
  EXPECT_FALSE(EntryExists());
  EXPECT_EQ(LogText(), "");
}

TEST_F(SystemIntegrationTest, RemovingAMissingKeyLeavesNothing) {
  std::set<std::string> before = SnapshotRegistry(HKEY_LOCAL_MACHINE, UninstallParent);
  EXPECT_EQ(RemoveUninstallKey(UninstallKeyName), 1);
  EXPECT_FALSE(EntryExists());
  EXPECT_EQ(SnapshotRegistry(HKEY_LOCAL_MACHINE, UninstallParent), before);
}

TEST_F(SystemIntegrationTest, RollbackRemovesShortcutsFolderAndEntry) {
  std::set<std::string> menuBefore = SnapshotTree(programs);
  std::set<std::string> registryBefore = SnapshotRegistry(HKEY_LOCAL_MACHINE, UninstallParent);
  EXPECT_EQ(CreateShortcuts(), 1);
  EXPECT_EQ(RegisterUninstall(UninstallKeyName, UninstallDisplayName, UninstallerFile), 1);
  CloseLog();
  InstallState.LogOpened = 1;
  EXPECT_EQ(RollBackInstallation(), 1);
  EXPECT_EQ(SnapshotTree(programs), menuBefore);
  EXPECT_EQ(SnapshotRegistry(HKEY_LOCAL_MACHINE, UninstallParent), registryBefore);
}

}  // namespace
