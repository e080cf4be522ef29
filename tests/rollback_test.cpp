// Rollback: every failure of the schedule, and every kind of log record, undone until
// the machine is as it was.
#include <gtest/gtest.h>

#include <functional>

#include "base/install_state.h"
#include "driver/gui_driver.h"
#include "shell/setup_run.h"
#include "shell/wizard_pages.h"
#include "support/payload_module.h"
#include "support/pipeline.h"
#include "system/rollback.h"

namespace {

const char UninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct Machine {
  std::set<std::string> Files, Programs, Registry;
  bool operator==(const Machine& o) const {
    return Files == o.Files && Programs == o.Programs && Registry == o.Registry;
  }
};

Machine Snapshot(const std::string& parent) {
  return Machine{SnapshotTree(parent), SnapshotTree(ProgramsFolder()), SnapshotRegistry(HKEY_LOCAL_MACHINE, UninstallKey)};
}

struct Fault {
  const char* Name;
  int Code;
  // Prepares the condition in the target folder; gives the payload to carry.
  std::function<Bytes(const std::string& target)> Arrange;
  bool NoPayloadResource = false;
  bool LogHeld = false;  // the rollback cannot read the log: it stops
};

Bytes Archive() { return DemoArchive(); }

std::vector<Fault> Faults() {
  auto folderWithAnEntrysName = [](const std::string& t) {
    return CreateDirectoryA(t.c_str(), nullptr), CreateDirectoryA((t + "uninst.exe").c_str(), nullptr), DemoPayload(); };
  return {
      {"FileInTheWayOfTheTargetFolder", 6, [](const std::string& t) {
         WriteText(t.substr(0, t.size() - 1), "user's file");
         return DemoPayload();
       }},
      {"FolderNamedLikeTheLog", 6, [](const std::string& t) {
         CreateDirectoryA(t.c_str(), nullptr);
         CreateDirectoryA((t + "deinst.log").c_str(), nullptr);
         return DemoPayload();
       }},
      {"TargetLevelTooLongAfterTwoMade", 6, [](const std::string& t) {  // the walk makes two levels, then stops
         return SetTarget(t + "a\\" + std::string(240, 'x') + "\\"), DemoPayload(); }},
      {"NoPayloadResource", 7, [](const std::string&) { return Bytes(); }, true},
      {"EmptyPayloadResource", 9, [](const std::string&) { return Bytes(); }},
      {"FolderNamedLikeTheStagedFile", 10, [](const std::string& t) {
         CreateDirectoryA(t.c_str(), nullptr);
         CreateDirectoryA((t + "temp.un_").c_str(), nullptr);
         return DemoPayload();
       }},
      {"PayloadNotSzdd", 11, [](const std::string&) { return Archive(); }},
      {"FolderNamedLikeTheExpandedFile", 12, [](const std::string& t) {
         CreateDirectoryA(t.c_str(), nullptr);
         CreateDirectoryA((t + "temp.uni").c_str(), nullptr);
         return DemoPayload();
       }},
      {"TruncatedPayload", 13, [](const std::string&) {
         Bytes payload = DemoPayload();
         payload.resize(payload.size() - 2000);
         return payload;
       }},
      {"BadArchiveMagic", 14, [](const std::string&) {
         Bytes archive = Archive();
         archive[0] = 'g';
         return Compress(archive);
       }},
      {"FileInTheWayOfAnEntrysSubfolder", 15, [](const std::string& t) {
         CreateDirectoryA(t.c_str(), nullptr);
         WriteText(t + "resource", "user's file");
         return DemoPayload();
       }},
      {"EntrysSubfolderIsALinkToAFolderElsewhere", 15, [](const std::string& t) {
         CreateDirectoryA(t.c_str(), nullptr);
         std::string elsewhere = t.substr(0, t.size() - 7) + "elsewhere";
         CreateDirectoryA(elsewhere.c_str(), nullptr);
         WriteText(elsewhere + "\\a.anx", "not Frelby's");
         MakeHostLink(t + "resource", elsewhere);
         return DemoPayload();
       }},
      {"FolderWithAnEntrysName", 16, folderWithAnEntrysName},
      {"FolderWithAnEntrysNameAndTheLogHeld", 16, folderWithAnEntrysName, false, true},
  };
}

class FaultRollbackTest : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultRollbackTest, FailsWithItsCodeAndRollsBackToTheMachineItFound) {
  const Fault& fault = GetParam();
  ResetInstallState();
  CoInitialize(nullptr);
  std::string parent = ScratchFolder(std::string("fault-") + fault.Name);
  std::string target = parent + "Frelby\\";
  SetTarget(target);
  Bytes payload = fault.Arrange(target);
  InstallState.InstanceHandle = fault.NoPayloadResource ? LoadModuleWithoutPayload() : LoadPayloadModule(payload);
  ASSERT_NE(InstallState.InstanceHandle, nullptr);
  Machine before = Snapshot(parent);

  StartDriver(ScriptedUser(WizardScript()));
  RunTicks(1, 100);
  EXPECT_EQ(InstallState.FailureCode, fault.Code);
  // The flags tell the truth about the disk.
  EXPECT_EQ(InstallState.StagedPayloadPresent != 0, FileExists(target + "temp.un_"));
  EXPECT_EQ(InstallState.ExpandedPayloadPresent != 0, FileExists(target + "temp.uni"));
  EXPECT_EQ(InstallState.LogOpened != 0, FileExists(target + "deinst.log"));
  HANDLE held = fault.LogHeld ? CreateFileA((target + "deinst.log").c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr) : nullptr;
  FinishInstallation(TestBackdrop());
  StopDriver();

  std::vector<std::string> expected = {"Frelby: Die Installation wurde abgebrochen."};
  if (fault.LogHeld) {  // the rollback stops and says so; the next one undoes the rest
    expected.push_back("Frelby: Einige Änderungen konnten nicht rückgängig gemacht werden. Sie werden beim nächsten Start des "
                       "Installationsprogramms oder durch das Deinstallationsprogramm im Installationsordner rückgängig gemacht.");
    EXPECT_EQ(FinishUnattended(), RunRollbackStopped);  // /S: the same stop, told as such
    CloseHandle(held);
    EXPECT_EQ(RollBackInstallation(), 1);
  }
  if (fault.Code == 15) expected.insert(expected.begin(), "Fehler: Der von Ihnen angegebene Pfad konnte nicht angelegt werden.");
  EXPECT_EQ(DriverMessages(), expected);
  EXPECT_TRUE(Snapshot(parent) == before);
  RemoveTree(parent);
}

INSTANTIATE_TEST_SUITE_P(EachFailureCode, FaultRollbackTest, ::testing::ValuesIn(Faults()),
                         [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.Name); });

class RollbackLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetInstallState();
    parent = ScratchFolder("rollback-log");
    target = parent + "Frelby\\";
    SetTarget(target);
    CreateDirectoryA(target.c_str(), nullptr);
    snprintf(InstallState.LogPath, sizeof InstallState.LogPath, "%sdeinst.log", target.c_str());
    InstallState.LogOpened = 1;
    // As if this run had created every level: what the log says decides.
    InstallState.CreatedDirCount = CreatedDirCapacity;
    for (int& flag : InstallState.CreatedDirFlags) flag = 1;
  }
  void TearDown() override { CloseLog(); }
  int RollBack(const std::string& log) {
    WriteText(InstallState.LogPath, log);
    return RollBackInstallation();
  }
  std::string parent, target;
};

TEST_F(RollbackLogTest, UndoesFilesFoldersAndCreatedLevelsFromTheLastRecord) {
  CreateDirectoryA((target + "resource").c_str(), nullptr);
  WriteText(target + "frelby.exe", "x");
  WriteText(target + "resource\\a.anx", "x");
  std::string menu = ProgramsFolder() + "\\Frelby";
  RemoveTree(menu);
  CreateDirectoryA(menu.c_str(), nullptr);
  WriteText(menu + "\\Frelby.lnk", "x");
  EXPECT_EQ(RollBack("ID 3 0 0 1\nNC frelby.exe\nSD " + target + "resource\nNC resource\\a.anx\nCI " + menu + "\nCL " +
                     menu + "\\Frelby.lnk\nXX unknown\nPN Frelby\n"),
            1);
  EXPECT_EQ(SnapshotTree(parent), std::set<std::string>());
  EXPECT_FALSE(FolderExists(menu));
  EXPECT_EQ(InstallState.PendingLogLines, 0);
  EXPECT_EQ(InstallState.LogFile, nullptr);
}

TEST_F(RollbackLogTest, TemporaryFilesWhoseFlagsAreSetAreDeleted) {
  snprintf(InstallState.StagedPayloadPath, PathCapacity, "%stemp.un_", target.c_str());
  snprintf(InstallState.ExpandedPayloadPath, PathCapacity, "%stemp.uni", target.c_str());
  WriteText(InstallState.StagedPayloadPath, "x");
  WriteText(InstallState.ExpandedPayloadPath, "x");
  InstallState.StagedPayloadPresent = InstallState.ExpandedPayloadPresent = 1;
  EXPECT_EQ(RollBack("ID 3 0 0 1\n"), 1);
  EXPECT_FALSE(FolderExists(target));
  EXPECT_EQ(InstallState.StagedPayloadPresent + InstallState.ExpandedPayloadPresent, 0);
}

TEST_F(RollbackLogTest, ALevelThatExistedOrHoldsAUsersFileStays) {
  WriteText(target + "frelby.exe", "x");
  EXPECT_EQ(RollBack("ID 3 0 0 0\nNC frelby.exe\n"), 1);
  EXPECT_TRUE(FolderExists(target));
  EXPECT_FALSE(FileExists(target + "frelby.exe"));

  WriteText(target + "savegame.dat", "the user's");
  EXPECT_EQ(RollBack("ID 3 0 1 1\n"), 1);
  EXPECT_TRUE(FileExists(target + "savegame.dat"));
  EXPECT_TRUE(FolderExists(parent));
}

TEST_F(RollbackLogTest, TwoLevelSubfolderLeavesTheUpperOneAndTheTarget) {
  CreateDirectoryA((target + "a").c_str(), nullptr);
  CreateDirectoryA((target + "a\\b").c_str(), nullptr);
  WriteText(target + "a\\b\\x", "x");
  EXPECT_EQ(RollBack("ID 3 0 0 1\nSD " + target + "a\\b\nNC a\\b\\x\n"), 1);
  EXPECT_FALSE(FolderExists(target + "a\\b"));
  EXPECT_TRUE(FolderExists(target + "a"));
}

TEST_F(RollbackLogTest, EarlyStopsKeepTheLog) {
  EXPECT_EQ(RollBack(""), 0);  // no line to fetch
  EXPECT_TRUE(FileExists(InstallState.LogPath));
  CloseLog();

  WriteText(target + "frelby.exe", "x");
  std::string tooMany = "ID 151";
  for (int i = 0; i < 151; ++i) tooMany += " 1";
  EXPECT_EQ(RollBack(tooMany + "\nNC frelby.exe\n"), 0);
  EXPECT_FALSE(FileExists(target + "frelby.exe"));  // undone before the ID record stopped it
  EXPECT_TRUE(FileExists(InstallState.LogPath));
  EXPECT_TRUE(FolderExists(target));
}

TEST_F(RollbackLogTest, WithoutAnIdRecordNoLevelIsRemoved) {
  EXPECT_EQ(RollBack("NC nothing\nPN Frelby\n"), 1);
  EXPECT_FALSE(FileExists(InstallState.LogPath));
  EXPECT_TRUE(FolderExists(target));
}

TEST_F(RollbackLogTest, ALevelTheRunFoundIsKeptWhateverTheLogNowSays) {
  // The log was rewritten after the run: its ID claims the target folder was created.
  InstallState.CreatedDirCount = 3;
  InstallState.CreatedDirFlags[2] = 0;
  EXPECT_EQ(RollBack("ID 3 1 1 1\n"), 1);
  EXPECT_TRUE(FolderExists(target));
}

TEST_F(RollbackLogTest, IdZeroRemovesNoLevel) {
  EXPECT_EQ(RollBack("ID 0\n"), 1);
  EXPECT_TRUE(FolderExists(target));
}

TEST_F(RollbackLogTest, WindowsFolderFilesIniEntriesAndTheScreenSaverAreNeverTouched) {
  std::string windowsFile = std::string(InstallState.WindowsFolder) + "\\frelby-test.dat";
  WriteText(windowsFile, "x");
  std::string ini = parent + "x.ini";
  WritePrivateProfileStringA("Sect", "Key", "value", ini.c_str());
  WritePrivateProfileStringA("windows", "ScreenSaverActive", "1", "win.ini");
  EXPECT_EQ(RollBack("ID 3 0 0 1\nWC frelby-test.dat\nIN [" + ini + "][Sect][Key]\nIS\n"), 1);
  EXPECT_TRUE(FileExists(windowsFile));
  char value[64];
  GetPrivateProfileStringA("Sect", "Key", "absent", value, sizeof value, ini.c_str());
  EXPECT_STREQ(value, "value");
  GetPrivateProfileStringA("windows", "ScreenSaverActive", "absent", value, sizeof value, "win.ini");
  EXPECT_STREQ(value, "1");
  DeleteFileA(windowsFile.c_str());
  WritePrivateProfileStringA("windows", "ScreenSaverActive", nullptr, "win.ini");
}

TEST(ResetScreenSaver, EmptiesBothSettings) {
  char before[64];
  GetPrivateProfileStringA("windows", "ScreenSaverActive", "", before, sizeof before, "win.ini");
  EXPECT_EQ(ResetScreenSaver(), 1);
  char value[64];
  GetPrivateProfileStringA("windows", "ScreenSaverActive", "absent", value, sizeof value, "win.ini");
  EXPECT_STREQ(value, "");
  GetPrivateProfileStringA("BOOT", "SCRNSAVE.EXE", "absent", value, sizeof value, "system.ini");
  EXPECT_STREQ(value, "");
}

TEST(RemoveIniEntry, CutsTheThreeBracketedFields) {
  std::string ini = ScratchFolder("ini") + "y.ini";
  WritePrivateProfileStringA("S", "K", "v", ini.c_str());
  EXPECT_EQ(RemoveIniEntry(("[" + ini + "][S][K][ignored]").c_str()), 1);
  char value[16];
  GetPrivateProfileStringA("S", "K", "gone", value, sizeof value, ini.c_str());
  EXPECT_STREQ(value, "gone");
}

}  // namespace

// A disk that fills up while installing: the write that does not fit ends the install
// with the code of the file being written, and the rollback empties the drive again.
struct FullDisk {
  const char* Name;
  int Code;
  std::function<Bytes()> Payload;
};

Bytes Zeros(size_t size) { return Bytes(size, 0); }

std::vector<FullDisk> FullDisks() {
  return {
      {"WhileStaging", 10, [] {
         Bytes noise(5 << 20);
         unsigned seed = 12345;
         for (uint8_t& b : noise) b = (uint8_t)((seed = seed * 1103515245u + 12345u) >> 16);
         return noise;  // staging copies it whatever it holds
       }},
      {"WhileExpanding", 12, [] { return Compress(PackArchive({{"null.bin", Zeros(5 << 20)}})); }},
      {"WhileExtracting", 16, [] { return Compress(PackArchive({{"a.txt", Zeros(10)}, {"null.bin", Zeros(3 << 20)}})); }},
  };
}

class FullDiskTest : public ::testing::TestWithParam<FullDisk> {};

TEST_P(FullDiskTest, AShortWriteFailsTheInstallAndTheDriveIsEmptyAfterwards) {
  std::string drive = SmallDrive();
  if (drive.empty()) GTEST_SKIP() << "no small drive T: in this session";
  const FullDisk& disk = GetParam();
  ResetInstallState();
  CoInitialize(nullptr);
  SetCurrentDirectoryA("C:\\");
  unsigned long long freeBefore = FreeSpaceKB(drive.c_str());
  Machine before = Snapshot(drive);
  SetTarget(drive + "Frelby\\");
  InstallState.InstanceHandle = LoadPayloadModule(disk.Payload());
  ASSERT_NE(InstallState.InstanceHandle, nullptr);

  StartDriver(ScriptedUser(WizardScript()));
  RunTicks(1, 100);
  EXPECT_EQ(InstallState.FailureCode, disk.Code);
  FinishInstallation(TestBackdrop());
  StopDriver();
  EXPECT_EQ(DriverMessages(), std::vector<std::string>{"Frelby: Die Installation wurde abgebrochen."});
  SetCurrentDirectoryA("C:\\");
  EXPECT_TRUE(Snapshot(drive) == before);
  EXPECT_EQ(FreeSpaceKB(drive.c_str()), freeBefore);
}

INSTANTIATE_TEST_SUITE_P(EachWrittenFile, FullDiskTest, ::testing::ValuesIn(FullDisks()),
                         [](const ::testing::TestParamInfo<FullDisk>& info) { return std::string(info.param.Name); });
