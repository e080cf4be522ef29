// Start-up, the wizard loop and the outcome of a run.
#include <gtest/gtest.h>

#include <fstream>

#include "base/bounded_text.h"
#include "base/install_state.h"
#include "driver/gui_driver.h"
#include "payload/payload_checksum.h"
#include "shell/setup_run.h"
#include "shell/start_up.h"
#include "support/installation.h"
#include "support/payload_module.h"
#include "support/test_support.h"
#include "system/rollback.h"

namespace {

const char CurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char Success[] = "Frelby: Die Installation wurde erfolgreich durchgeführt.";
const char Abort[] = "Frelby: Die Installation wurde abgebrochen.";
const char Damaged[] =
    "Fehler: Das Installationsprogramm ist beschädigt: Seine Daten stimmen nicht mit ihrer Prüfsumme überein.\n\n"
    "Bitte besorgen Sie sich die Datei erneut, zum Beispiel durch einen neuen Download oder eine neue Kopie.";

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
  void Set(const std::string& text, DWORD type = REG_SZ) {
    RegSetValueExA(key_, "ProgramFilesDir", 0, type, (const BYTE*)text.c_str(), (DWORD)text.size() + 1);
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
  // An expandable value names its folder once expanded.
  SetEnvironmentVariableA("FRELBY_TEST_DRIVE", "E:");
  value.Set("%FRELBY_TEST_DRIVE%\\Spiele", REG_EXPAND_SZ);
  EXPECT_EQ(StartUpTarget(), "E:\\Spiele\\Frelby\\");
  SetEnvironmentVariableA("FRELBY_TEST_DRIVE", std::string(300, 'x').c_str());
  EXPECT_EQ(StartUpTarget(), std::string(1, InstallState.WindowsFolder[0]) + ":\\Programme\\Frelby\\");
  SetEnvironmentVariableA("FRELBY_TEST_DRIVE", nullptr);
  // A drive without a disk answers as missing, never with the system's own box.
  SetErrorMode(0);
  StartUpTarget();
  EXPECT_TRUE(GetErrorMode() & SEM_FAILCRITICALERRORS);
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

// What start-up could touch: the default target's parent, the temporary folder, the
// Start-menu programs, the uninstall entries.
struct Machine {
  std::set<std::string> ProgramFiles, Temp, Programs, Registry;
  bool operator==(const Machine& o) const {
    return ProgramFiles == o.ProgramFiles && Temp == o.Temp && Programs == o.Programs && Registry == o.Registry;
  }
};

Machine Snapshot() {
  char programFiles[1024] = "", temp[MAX_PATH] = "";
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersion, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
    DWORD size = sizeof programFiles - 1;
    RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, (BYTE*)programFiles, &size);
    RegCloseKey(key);
  }
  GetTempPathA(MAX_PATH, temp);
  return Machine{SnapshotTree(programFiles), SnapshotTree(temp), SnapshotTree(ProgramsFolder()),
                 SnapshotRegistry(HKEY_LOCAL_MACHINE, std::string(CurrentVersion) + "\\Uninstall")};
}

// Start-up with the resources of a module, the GUI driver confirming messages: its
// result, and the machine before and after.
struct StartUpRun {
  int Result;
  Machine Before, After;
};

StartUpRun StartUpWith(HMODULE module) {
  ResetInstallState();
  InstallState.InstanceHandle = module;
  StartUpRun run;
  run.Before = Snapshot();
  StartDriver(ScriptedUser(WizardScript()));
  run.Result = InitInstallState();
  StopDriver();
  run.After = Snapshot();
  return run;
}

void ExpectRefusedAsDamaged(const StartUpRun& run, const std::string& what) {
  EXPECT_EQ(run.Result, 0) << what;
  EXPECT_EQ(InstallState.FailureCode, 20) << what;
  EXPECT_EQ(DriverMessages(), std::vector<std::string>{Damaged}) << what;
  EXPECT_EQ(InstallState.LogOpened, 0) << what;
  EXPECT_EQ(InstallState.LogFile, nullptr) << what;
  EXPECT_EQ(InstallState.StagedPayloadPresent, 0) << what;
  EXPECT_TRUE(run.After == run.Before) << what << ": start-up changed the machine";
}

TEST(StartUp, TheDamageMessageIsCodePage1252) {
  std::string text = Damaged;
  EXPECT_NE(text.find("besch\xE4" "digt"), std::string::npos);
  EXPECT_NE(text.find("Pr\xFC" "fsumme \xFC" "berein"), std::string::npos);
}

// The built setup.exe, loaded for its resources: start-up accepts it.
TEST(StartUp, TheBuiltSetupProgramPassesTheCheck) {
  HMODULE module = LoadLibraryExA(HostPath(SETUP_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  StartUpRun run = StartUpWith(module);
  EXPECT_EQ(run.Result, 1);
  EXPECT_EQ(InstallState.FailureCode, 0);
  EXPECT_TRUE(DriverMessages().empty());
  FreeLibrary(module);
}

// Damaged copies of the built setup.exe (tests/support/damage-setup lists them with
// what was damaged): each refused with the message, the machine untouched.
TEST(StartUp, EachDamagedCopyOfTheSetupProgramIsRefusedWithNothingWritten) {
  std::ifstream list(DAMAGED_SETUPS "/damaged.txt");
  std::string line;
  int copies = 0;
  while (std::getline(list, line)) {
    std::string file = line.substr(0, line.find(' '));
    HMODULE module = LoadLibraryExA(HostPath((DAMAGED_SETUPS "/" + file).c_str()).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << line;
    ExpectRefusedAsDamaged(StartUpWith(module), line);
    FreeLibrary(module);
    ++copies;
  }
  EXPECT_EQ(copies, 5);
}

// Records that do not vouch for their payload, on a payload of a test module.
TEST(StartUp, ARecordThatDoesNotFitThePayloadIsRefused) {
  Bytes payload = DemoPayload();
  Bytes good = PayloadChecksum(payload);
  Bytes otherTag = good, otherSize = good, shortRecord(good.begin(), good.end() - 1), longRecord = good;
  otherTag[0] ^= 0x20;
  otherSize[4] ^= 0x01;
  longRecord.push_back(0);
  Bytes longerPayload = payload;
  longerPayload.push_back(0);  // the stream's end changed, the record not
  struct Case {
    const char* Name;
    Bytes Payload;
    const Bytes* Record;
  } cases[] = {
      {"another tag", payload, &otherTag},        {"another size", payload, &otherSize},
      {"record one byte short", payload, &shortRecord}, {"record one byte long", payload, &longRecord},
      {"no record", payload, nullptr},            {"a byte added to the payload", longerPayload, &good},
  };
  for (const Case& c : cases) ExpectRefusedAsDamaged(StartUpWith(LoadPayloadModuleWithChecksum(c.Payload, c.Record)), c.Name);
  StartUpRun intact = StartUpWith(LoadPayloadModuleWithChecksum(payload, &good));
  EXPECT_EQ(intact.Result, 1);
  EXPECT_TRUE(DriverMessages().empty());
}

TEST(Checksum, IsTheCrc32OfZlib) {
  const char text[] = "123456789";
  EXPECT_EQ(Crc32Update(0, text, 9), 0xCBF43926u);
  EXPECT_EQ(Crc32Update(Crc32Update(0, text, 4), text + 4, 5), 0xCBF43926u);
  EXPECT_EQ(Crc32Update(0, text, 0), 0u);
  Bytes data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = (uint8_t)(i * 131 + 7);
  // Every length and start against the bitwise definition.
  for (size_t start = 0; start < 9; ++start)
    for (size_t length = 0; start + length <= 40; ++length) {
      uint32_t c = 0xFFFFFFFFu;
      for (size_t i = start; i < start + length; ++i) {
        c ^= data[i];
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      }
      EXPECT_EQ(Crc32Update(0, data.data() + start, length), ~c) << start << " " << length;
    }
}

TEST(Checksum, TheBuildWroteTheRecordOfItsPayload) {
  Bytes record = ReadBytes(HostPath(FRELBY_HOST_PAYLOAD_CHECKSUM));
  EXPECT_EQ(record, PayloadChecksum(DemoPayload()));
  ASSERT_EQ(record.size(), 12u);
  EXPECT_EQ(std::string(record.begin(), record.begin() + 4), "FCRC");
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
