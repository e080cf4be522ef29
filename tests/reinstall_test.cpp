// Installing over what is already there: an earlier installation, the log of a run that
// was killed, entries deep in subfolders, a log that cannot be written. Whatever the
// run's outcome, one uninstall afterwards leaves the machine as it was at the start.
#include <gtest/gtest.h>

#include "base/install_state.h"
#include "base/product_names.h"
#include "shell/command_line.h"
#include "shell/setup_run.h"
#include "shell/step_schedule.h"
#include "shell/start_up.h"
#include "support/installation.h"
#include "support/payload_module.h"
#include "support/pipeline.h"
#include "support/test_support.h"
#include "system/install_log.h"
#include "uninstaller/uninstall.h"

namespace {

std::set<std::string> Machine(const std::string& parent) { return SnapshotMachine(parent); }

int Install(HMODULE module, const std::string& target) {
  return RunInstallation(module, target, ScriptedUser(WizardScript())).FailureCode;
}

// A run that makes everything, shortcuts and uninstall entry included, and then finds its
// log's stream no longer writable, as on a disk that has become full.
int InstallFailingAtTheLogClose(HMODULE module, const std::string& target) {
  ResetInstallState();
  InstallState.InstanceHandle = module;
  SetTarget(target);
  RunTicks(1, 100);
  if (InstallState.FailureCode != 0) return InstallState.FailureCode;
  fclose(InstallState.LogFile);
  InstallState.LogFile = OpenUnwritable(InstallState.LogPath);
  StartDriver(ScriptedUser(WizardScript()));
  FinishInstallation(TestBackdrop());
  StopDriver();
  return InstallState.FailureCode;
}

class ReinstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    target = parent + "Frelby\\";
    pristine = Machine(parent);
    demo = LoadPayloadModule(DemoPayload());
    ASSERT_NE(demo, nullptr);
  }
  void TearDown() override {
    UninstallFrom(target.c_str());
    EXPECT_EQ(Machine(parent), pristine) << "one uninstall leaves nothing";
    RemoveTree(parent);
  }
  std::string parent, target;
  std::set<std::string> pristine;
  HMODULE demo = nullptr;
};

TEST_F(ReinstallTest, AFailedReinstallLeavesTheEarlierInstallationAsItWas) {
  ASSERT_EQ(Install(demo, target), 0);
  WriteText(target + "highscore.dat", "Punkte des Spielers");
  SetFileAttributesA((target + "liesmich.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  std::set<std::string> earlier = Machine(parent);
  // Failing at the end, its shortcuts and uninstall entry made over the earlier ones.
  EXPECT_EQ(InstallFailingAtTheLogClose(demo, target), FailureLogWrite);
  EXPECT_EQ(Machine(parent), earlier);
  // The last entry cannot be written: a folder stands in its place.
  DeleteFileA((target + "resource\\boden.img").c_str());
  ASSERT_TRUE(CreateDirectoryA((target + "resource\\boden.img").c_str(), nullptr));
  earlier = Machine(parent);
  EXPECT_EQ(Install(demo, target), FailureEntryCreate);
  EXPECT_EQ(Machine(parent), earlier);
  EXPECT_TRUE(GetFileAttributesA((target + "liesmich.txt").c_str()) & FILE_ATTRIBUTE_READONLY) << "back as it was";
  // A file of it in use (read-only too): the box that names it is not answered with "Wiederholen".
  HANDLE held = CreateFileA((target + "liesmich.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(Install(demo, target), FailureFilesInUse);
  CloseHandle(held);
  EXPECT_EQ(Machine(parent), earlier);
  RemoveDirectoryA((target + "resource\\boden.img").c_str());
}

TEST_F(ReinstallTest, ASuccessfulReinstallKeepsNothingAsideAndNamesBothRuns) {
  ASSERT_EQ(Install(demo, target), 0);
  // The earlier installation had a file the new payload lacks.
  HMODULE smaller = LoadPayloadModule(Compress(PackArchive({{"frelby.exe", Bytes{1, 2}}, {"uninst.exe", Bytes{3}}})));
  // Read-only files, one replaced (its aside dropped), one the new payload lacks.
  SetFileAttributesA((target + "frelby.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((target + "lizenz.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  std::set<std::string> earlier = Machine(parent);
  EXPECT_EQ(Install(smaller, target), 0);
  EXPECT_EQ(ReadBytes(target + "frelby.exe"), (Bytes{1, 2}));
  EXPECT_TRUE(FileExists(target + "highscore.dat"));
  for (const std::string& entry : Machine(parent)) EXPECT_EQ(entry.find("~alt"), std::string::npos) << entry;
}

TEST_F(ReinstallTest, ThePlayersChangesSurviveEveryReinstallAndOneUninstallRemovesThem) {
  auto version = [](char v) {
    return LoadPayloadModule(Compress(PackArchive({{"frelby.exe", Bytes{(uint8_t)v}}, {"uninst.exe", Bytes{3}},
                                                   {"highscore.dat", Bytes{}}, {"frelby.ini", Bytes{'[', (uint8_t)v}},
                                                   {"liesmich.txt", Bytes(3, (uint8_t)v)}})));
  };
  ASSERT_EQ(Install(version('1'), target), 0);
  WriteText(target + "highscore.dat", "Punkte des Spielers");
  WriteText(target + "frelby.ini", "[Ton aus]");
  HMODULE second = version('2');
  for (int run = 0; run < 3; ++run) {  // a newer version, a failed run of it, the same once more
    std::set<std::string> before = Machine(parent);
    EXPECT_EQ(run == 1 ? InstallFailingAtTheLogClose(second, target) : Install(second, target),
              run == 1 ? FailureLogWrite : 0);
    if (run == 1) {
      EXPECT_EQ(Machine(parent), before);
    }
    EXPECT_EQ(ReadText(target + "highscore.dat"), "Punkte des Spielers") << run;
    EXPECT_EQ(ReadText(target + "frelby.ini"), "[Ton aus]") << run;
    EXPECT_EQ(ReadText(target + "liesmich.txt"), "222") << run;
  }
}

TEST_F(ReinstallTest, AFailedReinstallKilledWhileItsMessageWaitsIsUndoneByTheNextRun) {
  ASSERT_EQ(Install(demo, target), 0);
  std::set<std::string> earlier = Machine(parent);
  ResetInstallState();
  InstallState.InstanceHandle = demo;
  SetTarget(target);
  RunTicks(1, 100);
  InstallState.FailureCode = FailureEntryCreate;
  CloseInstallLog(ProductName);  // as the run does before its message; then it is killed
  EXPECT_EQ(Install(LoadPayloadModule(Bytes(100, 'x')), target), FailureLzOpen);
  EXPECT_EQ(Machine(parent), earlier);
}

TEST_F(ReinstallTest, ALogThatARunStillGoingHoldsOpenIsLeftAlone) {
  CreateDirectoryA(target.c_str(), nullptr);
  WriteText(target + "frelby.exe", "half");
  WriteText(target + "deinst.log", "ID 1 1\nNC frelby.exe\n");
  HANDLE live = CreateFileA((target + "deinst.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::set<std::string> before = Machine(parent);
  EXPECT_EQ(Install(demo, target), FailureLogInUse);
  EXPECT_EQ(Machine(parent), before);
  CloseHandle(live);
}

TEST_F(ReinstallTest, EachOfTwoInstallationsOwnsWhatPointsAtItInEitherOrderOfRemoval) {
  std::string a = parent + "Spiele\\A\\", b = parent + "Spiele\\B\\", menu = ProgramsFolder() + "\\Frelby\\";
  auto registered = [] {
    ResetInstallState();
    InstallState.InstanceHandle = GetModuleHandleA(nullptr);
    EXPECT_EQ(InitInstallState(), 1);
    return std::string(InstallState.TargetFolder);
  };
  for (int aFirst = 1; aFirst >= 0; --aFirst) {
    ASSERT_EQ(Install(demo, a), 0);
    ASSERT_EQ(Install(demo, b), 0);
    // The newest installation is proposed, to the wizard and to /S alike.
    EXPECT_EQ(registered(), b);
    SetupOptions silent;
    ReadSetupOptions("/S", &silent);
    ResetInstallState();
    EXPECT_EQ(RunWithOptions(demo, silent), SetupSilentInstalled);
    EXPECT_NE(ReadText(b + "deinst.log").find("EA PI " + a), std::string::npos);
    std::string first = aFirst ? a : b, other = aFirst ? b : a;
    EXPECT_EQ(UninstallFrom(first.c_str()), UninstallComplete);
    EXPECT_EQ(LinkTarget(menu + GameLinkName + ".lnk"), other + GameFile) << aFirst;
    EXPECT_EQ(LinkTarget(menu + UninstallLinkName + ".lnk"), other + UninstallerFile) << aFirst;
    EXPECT_EQ(registered(), other) << "the entry names the other installation's uninstaller";
    EXPECT_EQ(UninstallFrom(other.c_str()), UninstallComplete);
    EXPECT_EQ(Machine(parent), pristine) << aFirst;
  }
}

// setup.exe's exit statuses with options, as its README's table gives them: status,
// whether a message shows, and that nothing is left changed unless it installed.
TEST_F(ReinstallTest, EveryExitStatusOfSetupWithAndWithoutSilent) {
  Bytes cut = DemoPayload();
  cut.resize(cut.size() - 2000);  // the expansion falls short
  struct Row { std::string Line; HMODULE Module; int Status; bool Message; const char* Blocker = nullptr;
               const char* ProgramFilesDir = nullptr; } rows[] = {
      {"/D=" + target, LoadPayloadModule(DemoPayload()), 1, true},  // the wizard ran (cancelled)
      {"/D=" + target, LoadModuleWithoutPayload(), 0, false},       // start-up failed
      {"/X /D=" + target, demo, SetupRefused, true},
      {"/D=Frelby", LoadPayloadModule(DemoPayload()), SetupRefused, true},
      {"/S /D=" + target, LoadPayloadModule(cut), SetupSilentFailed, false},
      {"/S /D=" + target, demo, SetupSilentFailed, false, "resource"},  // a file where a folder must be
      {"/S /X", demo, SetupRefused, false},
      {"/S /D=Frelby", demo, SetupRefused, false},
      {"/S", demo, SetupRefused, false, nullptr, ""},  // the folder proposed, "\\Frelby\\", fails page 2's checks
      {"/S /D=" + target, LoadModuleWithoutPayload(), SetupSilentStartFailed, false},
      {"/s", LoadPayloadModule(Bytes()), SetupSilentStartFailed, false},
      {"/S /D=" + target, demo, SetupSilentInstalled, false}};
  WizardScript cancel;
  cancel.Welcome = IDCANCEL;
  for (const Row& row : rows) {
    ASSERT_NE(row.Module, nullptr) << row.Line;
    SetupOptions options;
    ReadSetupOptions(row.Line.c_str(), &options);
    ResetInstallState();
    if (row.Blocker) CreateDirectoryA(target.c_str(), nullptr), WriteText(target + row.Blocker, "");
    std::set<std::string> before = Machine(parent);
    HKEY key;
    char saved[1024] = "";
    DWORD size = sizeof saved;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_ALL_ACCESS, &key), 0);
    RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, (BYTE*)saved, &size);
    if (row.ProgramFilesDir) RegSetValueExA(key, "ProgramFilesDir", 0, REG_SZ, (const BYTE*)row.ProgramFilesDir, 1);
    StartDriver(ScriptedUser(cancel));
    EXPECT_EQ(RunWithOptions(row.Module, options), row.Status) << row.Line;
    StopDriver();
    RegSetValueExA(key, "ProgramFilesDir", 0, REG_SZ, (const BYTE*)saved, size);
    RegCloseKey(key);
    EXPECT_EQ(DriverMessages().size(), row.Message ? 1u : 0u) << row.Line;
    if (row.Status != SetupSilentInstalled) {
      EXPECT_EQ(Machine(parent), before) << row.Line;
    }
    if (row.Blocker) DeleteFileA((target + row.Blocker).c_str()), RemoveDirectoryA(target.c_str());
  }
  EXPECT_NE(ReadText(target + "deinst.log").find("PN Frelby"), std::string::npos);
}

TEST_F(ReinstallTest, AFailedRunGivesBackAFileUnderATemporaryFilesName) {
  CreateDirectoryA(target.c_str(), nullptr);
  WriteText(target + "temp.uni", "the user's");
  std::set<std::string> before = Machine(parent);
  Bytes payload = DemoPayload();
  payload.resize(payload.size() - 2000);  // the expansion falls short
  EXPECT_EQ(Install(LoadPayloadModule(payload), target), FailureLzRead);
  EXPECT_EQ(Machine(parent), before);
  DeleteFileA((target + "temp.uni").c_str());
  RemoveDirectoryA(target.c_str());
}

TEST_F(ReinstallTest, AnInterruptedRunIsUndoneBeforeTheNextOneBegins) {
  // What a run killed during extraction leaves: its folder, files, temporary file and log.
  CreateDirectoryA(target.c_str(), nullptr);
  CreateDirectoryA((target + "resource").c_str(), nullptr);
  WriteText(target + "frelby.exe", "half");
  WriteText(target + "temp.uni", "archive");
  WriteText(target + "resource\\a.anx", "a");
  WriteText(target + "deinst.log", "ID 2 0 1\nNC temp.un_\nNC temp.uni\nNC frelby.exe\nSD " + target +
                                       "resource\nNC resource\\a.anx");  // cut short: no line end
  HMODULE broken = LoadPayloadModule(Bytes(100, 'x'));
  EXPECT_EQ(Install(broken, target), FailureLzOpen);
  EXPECT_EQ(Machine(parent), pristine) << "the interrupted run and the failed one are both undone";
  EXPECT_EQ(Install(demo, target), 0);
}

TEST_F(ReinstallTest, EveryFolderAnEntryNeedsIsRemovedAgain) {
  Bytes payload = Compress(PackArchive({{"frelby.exe", Bytes{1}}, {"tief\\er\\x.dat", Bytes{2}}, {"tief\\y.dat", Bytes{3}}}));
  HMODULE deep = LoadPayloadModule(payload);
  ResetInstallState();
  InstallState.InstanceHandle = deep;
  SetTarget(target);
  RunTicks(1, 100);
  EXPECT_EQ(InstallState.FailureCode, 0);
  std::string log = LogText();
  EXPECT_NE(log.find("SD " + target + "tief\r\nSD " + target + "tief\\er\r\nNC tief\\er\\x.dat\r\nCS "), std::string::npos)
      << log;
  // A failure after the entries: every created folder goes, the target folder too.
  InstallState.FailureCode = FailureEntryCreate;
  StartDriver(ScriptedUser(WizardScript()));
  FinishInstallation(TestBackdrop());
  StopDriver();
  EXPECT_EQ(Machine(parent), pristine);
  EXPECT_EQ(Install(deep, target), 0);  // and once more, for the uninstall
}

TEST_F(ReinstallTest, ALogThatCannotBeClosedFailsTheInstallationAndIsRolledBack) {
  EXPECT_EQ(InstallFailingAtTheLogClose(demo, target), FailureLogWrite);
  EXPECT_EQ(DriverMessages(), std::vector<std::string>{"Frelby: Die Installation wurde abgebrochen."});
  EXPECT_EQ(Machine(parent), pristine);
}

TEST_F(ReinstallTest, AFiveThousandEntryPayloadInstallsAndIsRemovedCompletely) {
  std::vector<std::pair<std::string, Bytes>> entries = {{"frelby.exe", Bytes(100, 'f')}};
  for (int i = 0; i < 5000; ++i) {
    char name[32];
    snprintf(name, sizeof name, "daten\\e%05d.dat", i);
    entries.push_back({name, Bytes(40 + i % 7, (uint8_t)i)});
  }
  HMODULE large = LoadPayloadModule(Compress(PackArchive(entries)));
  // Its ticks run far over the timer period: the page handles messages between entries
  // (the driver's timer among them), and its own timer events there start no tick.
  int handledInTick = 0;
  std::function<void()> sample = [&] { handledInTick += StepBusy; RunLater(sample, 5); };
  DriverHandler walk = ScriptedUser(WizardScript());
  ASSERT_EQ(RunInstallation(large, target, [&](HWND window, WindowKind kind) {
              if (kind == WindowKind::Progress) sample();
              walk(window, kind);
            }).FailureCode, 0);
  EXPECT_GT(handledInTick, 0);
  std::vector<std::string> texts;
  for (int tick = 1; tick <= 100; ++tick) texts.push_back("Fortschritt: " + std::to_string(tick) + "%");
  EXPECT_EQ(DriverProgressTexts(), texts);
  EXPECT_EQ(ReadBytes(target + "daten\\e04999.dat"), Bytes(40 + 4999 % 7, (uint8_t)4999));
  EXPECT_EQ(SnapshotTree(target + "daten").size(), 5000u);
}

}  // namespace
