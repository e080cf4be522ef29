// Start-up, the wizard loop and the outcome of a run.
#include <gtest/gtest.h>

#include "shell/bounded_text.h"
#include "shell/install_state.h"
#include "shell/setup_run.h"
#include "system/rollback.h"
#include "support/installation.h"
#include "support/payload_module.h"
#include "support/test_support.h"

namespace {

const char CurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char Success[] = "Frelby: Die Installation wurde erfolgreich durchgeführt.";
const char Abort[] = "Frelby: Die Installation wurde abgebrochen.";

// Sets "ProgramFilesDir" for one test and puts the old value back afterwards.
class ProgramFilesDirValue {
 public:
  ProgramFilesDirValue() {
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersion, 0, KEY_ALL_ACCESS, &key_);
    DWORD size = sizeof saved_;
    hadValue_ = RegQueryValueExA(key_, "ProgramFilesDir", nullptr, &type_, (BYTE*)saved_, &size) == ERROR_SUCCESS;
    savedSize_ = size;
  }
  ~ProgramFilesDirValue() {
    if (hadValue_) RegSetValueExA(key_, "ProgramFilesDir", 0, type_, (BYTE*)saved_, savedSize_);
    else RegDeleteValueA(key_, "ProgramFilesDir");
    RegCloseKey(key_);
  }
  void Set(const std::string& text) {
    RegSetValueExA(key_, "ProgramFilesDir", 0, REG_SZ, (const BYTE*)text.c_str(), (DWORD)text.size() + 1);
  }
  void Remove() { RegDeleteValueA(key_, "ProgramFilesDir"); }

 private:
  HKEY key_ = nullptr;
  DWORD type_ = REG_SZ, savedSize_ = 0;
  bool hadValue_ = false;
  char saved_[1024] = {};
};

std::string StartUpTarget() {
  ResetInstallState();
  EXPECT_EQ(InitInstallState(), 1);
  return InstallState.TargetFolder;
}

TEST(PlatformKind, FollowsTheWindowsVersion) {
  EXPECT_EQ(PlatformKindFor(3, VER_PLATFORM_WIN32_WINDOWS), 0);
  EXPECT_EQ(PlatformKindFor(4, VER_PLATFORM_WIN32_WINDOWS), 1);
  EXPECT_EQ(PlatformKindFor(5, VER_PLATFORM_WIN32_NT), 2);
  EXPECT_EQ(PlatformKindFor(4, VER_PLATFORM_WIN32s), 0);
  EXPECT_EQ(PlatformKindFor(10, 7), 0);
}

TEST(StartUp, TargetFolderIsProgramFilesDirWithFrelby) {
  ProgramFilesDirValue value;
  value.Set("C:\\Programme");
  EXPECT_EQ(StartUpTarget(), "C:\\Programme\\Frelby\\");
  value.Set("D:\\Apps\\");
  EXPECT_EQ(StartUpTarget(), "D:\\Apps\\Frelby\\");
  value.Set("");
  EXPECT_EQ(StartUpTarget(), "\\Frelby\\");
}

TEST(StartUp, UnreadableOrOverlongProgramFilesDirGivesADriveQualifiedDefault) {
  ProgramFilesDirValue value;
  value.Remove();
  std::string target = StartUpTarget();
  EXPECT_EQ(target, std::string(1, InstallState.WindowsFolder[0]) + ":\\Programme\\Frelby\\");
  value.Set("C:\\" + std::string(289, 'p'));  // 292 characters: one too many
  EXPECT_EQ(StartUpTarget(), target);
  value.Set("C:\\" + std::string(288, 'p'));  // 291 characters: fits exactly
  EXPECT_EQ(StartUpTarget(), "C:\\" + std::string(288, 'p') + "\\Frelby\\");
  EXPECT_EQ(strlen(InstallState.TargetFolder), 299u);
}

TEST(StartUp, SetsPageAndPayloadSizeAndTheWindowsFolder) {
  ResetInstallState();
  InstallState.FailureCode = 9;
  InstallState.WindowsFolder[0] = 0;  // the reset fills it with the same call
  InstallState.PlatformKind = 7;      // none of the three kinds
  ASSERT_EQ(InitInstallState(), 1);
  EXPECT_EQ(InstallState.FailureCode, 0);
  EXPECT_EQ(InstallState.WizardPage, 1);
  EXPECT_EQ(InstallState.PlatformKind, 2);  // Wine reports Windows NT
  EXPECT_EQ(InstallState.PayloadSize, DemoPayload().size());
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, MAX_PATH);
  EXPECT_STREQ(InstallState.WindowsFolder, windows);
}

TEST(StartUp, ComAlreadyInitialisedOnTheThreadStopsWithCode1) {
  ResetInstallState();
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(InitInstallState(), 0);  // its own CoInitialize gives S_FALSE
  EXPECT_EQ(InstallState.FailureCode, 1);
  CoUninitialize();
  CoUninitialize();
}

TEST(StartUp, MissingPayloadStopsWithCode2) {
  ResetInstallState();
  InstallState.InstanceHandle = LoadModuleWithoutPayload();
  ASSERT_NE(InstallState.InstanceHandle, nullptr);
  EXPECT_EQ(InitInstallState(), 0);
  EXPECT_EQ(InstallState.FailureCode, 2);
}

TEST(StartUp, EmptyPayloadStopsWithCode3) {
  ResetInstallState();
  InstallState.InstanceHandle = LoadPayloadModule(Bytes());
  ASSERT_NE(InstallState.InstanceHandle, nullptr);
  EXPECT_EQ(InitInstallState(), 0);
  EXPECT_EQ(InstallState.FailureCode, 3);
}

TEST(Bounded, CopiesAndFormatsOnlyWhatFitsWhole) {
  char buffer[8];
  strcpy(buffer, "keep");
  EXPECT_EQ(CopyBounded(buffer, sizeof buffer, "1234567"), 1);
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_EQ(CopyBounded(buffer, sizeof buffer, "12345678"), 0);
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_EQ(FormatBounded(buffer, sizeof buffer, "%s%s", "abc", "defg"), 1);
  EXPECT_EQ(FormatBounded(buffer, sizeof buffer, "%s%s", "abcd", "efgh"), 0);
  EXPECT_STREQ(buffer, "abcdefg");
}

TEST(Wizard, AbortOnTheWelcomePageShowsTheAbortMessageAndWritesNothing) {
  std::string target = ScratchFolder("cancel") + "Frelby\\";
  WizardScript script;
  script.Welcome = IDCANCEL;
  InstallationRun run = RunInstallation(nullptr, target, ScriptedUser(script));
  EXPECT_EQ(run.FailureCode, 17);
  EXPECT_EQ(InstallState.LogOpened, 0);
  EXPECT_FALSE(FolderExists(target));
  ASSERT_EQ(DriverMessages().size(), 1u);
  EXPECT_EQ(LastMessage(), Abort);
}

TEST(Wizard, APageThatCannotBeCreatedEndsTheWizardInsteadOfLooping) {
  ResetInstallState();
  InstallState.InstanceHandle = GetModuleHandleA("kernel32.dll");  // no dialog templates
  InstallState.WizardPage = 1;
  RunWizard(TestBackdrop());
  EXPECT_EQ(InstallState.FailureCode, 17);
  EXPECT_EQ(InstallState.WizardPage, 1);
}

TEST(WholeRun, InstallsTheDemoPayloadAndEndsTheLogWithPN) {
  std::string folder = ScratchFolder("whole-run");
  std::string target = folder + "Frelby\\";
  InstallationRun run = RunInstallation(nullptr, target, ScriptedUser(WizardScript()));
  EXPECT_EQ(run.Started, 1);
  EXPECT_EQ(run.FailureCode, 0);
  ASSERT_EQ(DriverMessages().size(), 1u);
  EXPECT_EQ(LastMessage(), Success);
  std::string log = ReadText(target + "deinst.log");
  EXPECT_EQ(log.substr(0, 10), "ID 3 0 0 1");
  EXPECT_EQ(log.substr(log.size() - 11), "PN Frelby\r\n");
  EXPECT_EQ(InstallState.LogFile, nullptr);
  EXPECT_EQ(RollBackInstallation(), 1);  // shortcuts and the uninstall entry go too
  RemoveTree(folder);
}

TEST(WholeRun, AFailureInTheScheduleIsReportedAfterThePageAndRolledBack) {
  std::string folder = ScratchFolder("failed-run");
  std::string target = folder + "Frelby\\";
  CreateDirectoryA(target.c_str(), nullptr);
  CreateDirectoryA((target + "temp.un_").c_str(), nullptr);  // staging cannot create its file
  InstallationRun run = RunInstallation(nullptr, target, ScriptedUser(WizardScript()));
  EXPECT_EQ(run.FailureCode, 10);
  EXPECT_EQ(InstallState.WizardPage, 5);
  ASSERT_EQ(DriverMessages().size(), 1u);
  EXPECT_EQ(LastMessage(), Abort);
  EXPECT_FALSE(FileExists(target + "deinst.log"));
  EXPECT_TRUE(FolderExists(target + "temp.un_"));
  RemoveTree(folder);
}

TEST(WholeRun, AFailedRunClosesTheLogWithPNBeforeTheMessageAndRollsBackAfterOK) {
  std::string folder = ScratchFolder("failed-run-order");
  std::string target = folder + "Frelby\\";
  CreateDirectoryA(target.c_str(), nullptr);
  CreateDirectoryA((target + "uninst.exe").c_str(), nullptr);  // the second entry cannot be created
  std::string logWhenShown;
  bool logOpenWhenShown = true, gameWhenShown = false;
  DriverHandler walk = ScriptedUser(WizardScript());
  InstallationRun run = RunInstallation(nullptr, target, [&](HWND window, WindowKind kind) {
    if (kind == WindowKind::MessageBox) {
      logWhenShown = ReadText(target + "deinst.log");
      logOpenWhenShown = InstallState.LogFile != nullptr;
      gameWhenShown = FileExists(target + "frelby.exe");
    }
    walk(window, kind);
  });
  EXPECT_EQ(run.FailureCode, 16);
  EXPECT_EQ(DriverMessages(), std::vector<std::string>{Abort});
  EXPECT_FALSE(logOpenWhenShown);
  ASSERT_GE(logWhenShown.size(), 11u);
  EXPECT_EQ(logWhenShown.substr(logWhenShown.size() - 11), "PN Frelby\r\n");
  EXPECT_TRUE(gameWhenShown);
  EXPECT_FALSE(FileExists(target + "frelby.exe"));
  EXPECT_FALSE(FileExists(target + "deinst.log"));
  RemoveTree(folder);
}

}  // namespace
