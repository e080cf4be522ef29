// The uninstaller's own work: undoing a log from the install folder, passing over
// records that point elsewhere, keeping what the user added.
#include <gtest/gtest.h>

#include "base/install_state.h"
#include "base/product_names.h"
#include "support/fault_injection.h"
#include "support/test_support.h"
#include "system/log_records.h"
#include "system/record_trust.h"
#include "system/rollback.h"
#include "uninstaller/uninstall.h"

namespace {

const char UninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

void CreateUninstallKey(const char* name) {
  HKEY root, key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallRoot, 0, KEY_ALL_ACCESS, &root), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(root, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  RegCloseKey(root);
}

void DeleteUninstallKey(const char* name) {
  HKEY root;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallRoot, 0, KEY_ALL_ACCESS, &root) != ERROR_SUCCESS) return;
  RegDeleteKeyA(root, name);
  RegCloseKey(root);
}

bool UninstallKeyExists(const char* name) {
  HKEY root, key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallRoot, 0, KEY_READ, &root) != ERROR_SUCCESS) return false;
  bool exists = RegOpenKeyExA(root, name, 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (exists) RegCloseKey(key);
  RegCloseKey(root);
  return exists;
}

// An installed Frelby below a scratch folder: <base>Frelby\ with a file, a subfolder
// with a file, its log, and the Start-menu folder with a shortcut.
struct FakeInstall {
  std::string Base, Folder, Programs, Group;
  explicit FakeInstall(const char* name) {
    ResetInstallState();
    Base = ScratchFolder(name);
    Folder = Base + "Frelby\\";
    Programs = ProgramsFolder();
    Group = Programs + "\\Frelby";
    CreateDirectoryA(Folder.c_str(), nullptr);
    CreateDirectoryA((Folder + "resource").c_str(), nullptr);
    CreateDirectoryA(Group.c_str(), nullptr);
    WriteText(Folder + "frelby.exe", "game");
    WriteText(Folder + "resource\\hilfe.txt", "help");
    WriteText(Group + "\\Frelby.lnk", "link");
    CreateUninstallKey(UninstallKeyName);
  }
  void WriteLog(const std::string& extraRecords) {
    WriteText(Folder + "deinst.log", "ID 4 0 0 0 1\nSD " + Folder + "resource\nNC frelby.exe\nNC resource\\hilfe.txt\n" +
                                         extraRecords + "CI " + Group + "\nCL " + Group + "\\Frelby.lnk\nRK FrelbyKey\nPN Frelby\n");
  }
  ~FakeInstall() {
    RemoveTree(Base);
    RemoveTree(Group);
    DeleteUninstallKey(UninstallKeyName);
  }
};

TEST(Uninstaller, RemovesEverythingTheLogRecordsAndTheCreatedFolder) {
  FakeInstall install("uninstall-all");
  // A copy its run kept aside that could not go then (it was in use) goes now.
  WriteText(install.Folder + "frelby.ini~alt", "earlier");
  install.WriteLog("KA " + install.Folder + "frelby.ini\n");
  EXPECT_EQ(UninstallFrom(install.Folder.c_str()), UninstallComplete);
  EXPECT_FALSE(FolderExists(install.Folder));
  EXPECT_FALSE(FolderExists(install.Group));
  EXPECT_FALSE(UninstallKeyExists(UninstallKeyName));
  EXPECT_TRUE(FolderExists(install.Base));  // its flag says it was there before
}

TEST(Uninstaller, KeepsTheUsersFilesAndTheirFolder) {
  FakeInstall install("uninstall-user-file");
  install.WriteLog("");
  WriteText(install.Folder + "spielstand.sav", "mine");
  EXPECT_EQ(UninstallFrom(install.Folder.c_str()), UninstallFolderKept);
  EXPECT_EQ(ReadText(install.Folder + "spielstand.sav"), "mine");
  EXPECT_FALSE(FileExists(install.Folder + "frelby.exe"));
  EXPECT_FALSE(FileExists(install.Folder + "deinst.log"));
  EXPECT_FALSE(FolderExists(install.Folder + "resource"));
}

TEST(Uninstaller, TamperedRecordsPointingElsewhereArePassedOverAndTheRestIsUndone) {
  FakeInstall install("uninstall-tampered");
  std::string foreign = install.Base + "fremd.txt";
  std::string foreignFolder = install.Base + "fremd";
  std::string otherGroup = install.Programs + "\\Andere";
  WriteText(foreign, "not Frelby's");
  CreateDirectoryA(foreignFolder.c_str(), nullptr);
  CreateDirectoryA(otherGroup.c_str(), nullptr);
  WriteText(otherGroup + "\\Andere.lnk", "other link");
  CreateUninstallKey("AndereKey");
  install.WriteLog("NC ..\\fremd.txt\nNC " + foreign + "\nNC \\fremd.txt\nSD " + foreignFolder + "\nSD " + install.Folder +
                   "..\\fremd\nCL " + foreign + "\nCL " + otherGroup + "\\Andere.lnk\nCL " + install.Group +
                   "\\..\\Andere\\Andere.lnk\nCI " + otherGroup + "\nRK AndereKey\nRK ..\\AndereKey\nWC ..\\" +
                   foreign + "\n");
  EXPECT_EQ(UninstallFrom(install.Folder.c_str()), UninstallComplete);
  EXPECT_EQ(ReadText(foreign), "not Frelby's");
  EXPECT_TRUE(FolderExists(foreignFolder));
  EXPECT_TRUE(FileExists(otherGroup + "\\Andere.lnk"));
  EXPECT_TRUE(UninstallKeyExists("AndereKey"));
  // Frelby's own records were still undone.
  EXPECT_FALSE(FolderExists(install.Folder));
  EXPECT_FALSE(FolderExists(install.Group));
  EXPECT_FALSE(UninstallKeyExists(UninstallKeyName));
  RemoveTree(otherGroup);
  DeleteUninstallKey("AndereKey");
}

// Every line aimed at something that is not Frelby's, read by the installer's rollback
// and by the uninstaller alike: the foreign objects stay as they were, Frelby's go.
TEST(DoctoredLog, TouchesNothingOutsideFrelbysPlacesInRollbackOrUninstall) {
  for (int uninstaller = 0; uninstaller < 2; ++uninstaller) {
    FakeInstall install(uninstaller ? "doctored-uninstall" : "doctored-rollback");
    std::string outside = install.Base + "draussen\\";
    std::string sibling = install.Base + "Frelbyfremd";  // begins with the install folder's name
    CreateDirectoryA(outside.c_str(), nullptr);
    CreateDirectoryA((outside + "leer").c_str(), nullptr);
    CreateDirectoryA(sibling.c_str(), nullptr);
    WriteText(outside + "victim.txt", "not Frelby's");
    ASSERT_TRUE(MakeHostLink(install.Folder + "link", outside.substr(0, outside.size() - 1)));
    std::string winIni = ReadText("C:\\windows\\win.ini"), systemIni = ReadText("C:\\windows\\system.ini");
    std::set<std::string> foreign = SnapshotTree(install.Base + "draussen");
    install.WriteLog("NC link\\victim.txt\nSD " + install.Folder + "link\\leer\nSD " + sibling + "\nSD " + install.Folder +
                     "..\\draussen\\leer\nCL " + install.Folder + "link\\victim.txt\nCI " + outside + "leer\nIS \nWC win.ini\n"
                     "IN [win.ini][windows][load]\nKA " + outside + "victim.txt\nEA NC link\\victim.txt\n");
    if (uninstaller) {
      EXPECT_EQ(UninstallFrom(install.Folder.c_str()), UninstallFolderKept);  // the link stays
    } else {
      SetInstallFolder(install.Folder.c_str());
      InstallState.LogOpened = 1;
      InstallState.CreatedDirCount = 4;
      InstallState.CreatedDirFlags[3] = 1;
      EXPECT_EQ(RollBackInstallation(), 1);
    }
    EXPECT_EQ(SnapshotTree(install.Base + "draussen"), foreign) << uninstaller;
    EXPECT_TRUE(FolderExists(sibling));
    EXPECT_EQ(ReadText("C:\\windows\\win.ini"), winIni);
    EXPECT_EQ(ReadText("C:\\windows\\system.ini"), systemIni);
    EXPECT_FALSE(FileExists(install.Folder + "frelby.exe"));
    EXPECT_FALSE(FolderExists(install.Group));
    EXPECT_FALSE(UninstallKeyExists(UninstallKeyName));
    RemoveHostLink(install.Folder + "link");
  }
}

// "uninst.exe /S" run as the list of installed programs runs it: its exit status for
// each outcome of the README's table, and what it leaves.
TEST(Uninstaller, EveryExitStatusOfTheUnattendedUninstaller) {
  struct Row { const char* Options; const char* Log; bool UsersFile; DWORD Status; bool GameStays, FolderStays; } rows[] = {
      {"/S", "", false, 0, false, false},
      {"/s", "", true, 1, false, true},
      {"/S", nullptr, false, 2, true, true},                 // no log
      {"/S", "ID 151 1\nNC frelby.exe\n", false, 2, false, true},  // a damaged level record
      {"/S /X", "", false, 3, true, true},
      {"/Y /S", "", false, 3, true, true}};
  // The helper copies go as they end, or on Windows 95/98 at the restart (their folders stay).
  auto copyEntries = [] {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::set<std::string> entries;
    for (const std::string& entry : SnapshotTree(temp))
      if (entry.find("\\frb") != entry.npos && (entry.back() != '\\' || !Win9xPersonality())) entries.insert(entry);
    return entries;
  };
  size_t copiesBefore = copyEntries().size();
  for (const Row& row : rows) {
    FakeInstall install("uninstall-status");
    std::string program = install.Folder + UninstallerFile, line = "\"" + program + "\" " + row.Options;
    ASSERT_TRUE(CopyFileA(HostPath(Win9xPersonality() ? UNINST_PERSONALITY_EXE : UNINST_EXE).c_str(), program.c_str(), FALSE));
    if (row.Log) install.WriteLog("");
    if (row.Log && row.Log[0]) WriteText(install.Folder + "deinst.log", row.Log);
    if (row.UsersFile) WriteText(install.Folder + "spielstand.sav", "mine");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::set<std::string> before = copyEntries();
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    // Another program (a virus scanner, say) reads the copy's folder until the copy has
    // moved its own file out, and so when the copy first tries to remove the folder.
    std::string held;
    while (held.empty() && row.Status != 3 && !Win9xPersonality() && WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT)
      for (const std::string& entry : copyEntries())
        if (entry.back() == '\\' && !before.count(entry)) held = entry;
    WIN32_FIND_DATAA found;
    HANDLE reader = held.empty() ? INVALID_HANDLE_VALUE : FindFirstFileA((held + "*").c_str(), &found);
    DWORD status = 99;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    for (int i = 0; i < 100 && reader != INVALID_HANDLE_VALUE && FileExists(held + UninstallerFile); ++i) Sleep(100);
    if (reader != INVALID_HANDLE_VALUE) FindClose(reader);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(status, row.Status) << line;
    // The helper copy removes uninst.exe (and so the folder) a moment after the original ended.
    for (int i = 0; i < 100 && (FileExists(program) || FolderExists(install.Folder) != row.FolderStays) && row.Status < 2; ++i)
      Sleep(100);
    EXPECT_EQ(FileExists(install.Folder + "frelby.exe"), row.GameStays) << line;
    EXPECT_EQ(FolderExists(install.Folder), row.FolderStays) << line;
    EXPECT_EQ(FileExists(program), row.Status >= 2) << line;
    for (int i = 0; i < 100 && (!CarryOutWininit() || copyEntries().size() != copiesBefore); ++i) Sleep(100);
    EXPECT_EQ(copyEntries().size(), copiesBefore) << line << ": the helper copy stays";
  }
}

TEST(Uninstaller, UndoesAnInstallationAtADriveRoot) {
  ResetInstallState();
  std::string scratch = ScratchFolder("drive-root");
  std::string drive = SmallDrive();
  if (drive.empty()) GTEST_SKIP() << "no drive of the tests' own";
  WriteText(drive + "frelby.exe", "game");
  WriteText(drive + "deinst.log", "ID 0\nNC frelby.exe\nPN Frelby\n");
  EXPECT_EQ(UninstallFrom(drive.c_str()), UninstallComplete);
  EXPECT_FALSE(FileExists(drive + "frelby.exe"));
  EXPECT_FALSE(FileExists(drive + "deinst.log"));
  RemoveTree(scratch);
}

TEST(Uninstaller, WithoutALogNothingIsTouched) {
  FakeInstall install("uninstall-no-log");
  EXPECT_EQ(UninstallFrom(install.Folder.c_str()), UninstallNoLog);
  EXPECT_TRUE(FileExists(install.Folder + "frelby.exe"));
  EXPECT_TRUE(FileExists(install.Group + "\\Frelby.lnk"));
  EXPECT_TRUE(UninstallKeyExists(UninstallKeyName));
}

TEST(Uninstaller, ADamagedLevelRecordStopsAndKeepsTheLog) {
  FakeInstall install("uninstall-damaged");
  WriteText(install.Folder + "deinst.log", "ID 151 1\nNC frelby.exe\n");
  EXPECT_EQ(UninstallFrom(install.Folder.c_str()), UninstallStopped);
  EXPECT_FALSE(FileExists(install.Folder + "frelby.exe"));  // undone before the stop
  EXPECT_TRUE(FileExists(install.Folder + "deinst.log"));
  EXPECT_TRUE(FolderExists(install.Folder));
}

TEST(Uninstaller, TrustsOnlyRecordsInsideTheInstallAndStartMenuFolders) {
  ResetInstallState();
  ASSERT_TRUE(SetInstallFolder("C:\\Programme\\Frelby\\"));
  LoadTrustedPlaces();
  std::string group = ProgramsFolder() + "\\Frelby";
  struct Case { const char* code; std::string argument; int trusted; } cases[] = {
      {"NC", "frelby.exe", 1},
      {"NC", "resource\\hilfe.txt", 1},
      {"NC", "..\\autoexec.bat", 0},
      {"NC", "resource\\..\\..\\x", 0},
      {"NC", "C:\\autoexec.bat", 0},
      {"NC", "\\autoexec.bat", 0},
      {"NC", "a/../../x", 0},
      {"NC", "temp.un_", 1},
      {"NC", "nul", 0},
      {"NC", "resource.\\x", 0},
      {"KA", "C:\\Programme\\Frelby\\highscore.dat", 1},
      {"KA", group + "\\Frelby.lnk", 1},
      {"KA", "C:\\Programme\\highscore.dat", 0},
      {"KR", "FrelbyKey", 1},
      {"KR", "AndereKey", 0},
      {"IS", "", 0},
      {"EA", "NC frelby.exe", 0},
      {"SD", "C:\\Programme\\Frelby\\resource", 1},
      {"SD", "c:\\programme\\frelby\\resource", 1},
      {"SD", "C:\\Programme\\Frelby\\", 0},
      {"SD", "C:\\Programme\\Frelby\\..\\Andere", 0},
      {"SD", "C:\\Programme\\Frelbyx\\y", 0},
      {"SD", "C:\\Windows", 0},
      {"CI", group, 1},
      {"CI", group + "\\Unter", 1},
      {"CI", group + "x", 0},
      {"CI", ProgramsFolder(), 0},
      {"CL", group + "\\Frelby.lnk", 1},
      {"CL", group, 0},
      {"CL", group + "\\..\\Andere.lnk", 0},
      {"CL", "C:\\Windows\\win.ini", 0},
      {"RK", "FrelbyKey", 1},
      {"RK", "AndereKey", 0},
      {"PG", "Frelby", 1},
      {"PG", "Zubehör", 0},
      {"WC", "frelby.ini", 0},
      {"IN", "[win.ini][windows][load]", 0},
      {"PI", "D:\\Spiele\\Frelby\\", 1},
      {"PI", "D:\\", 1},
      {"PI", "c:\\programme\\frelby\\", 0},  // its own folder
      {"PI", "D:\\Spiele\\Frelby", 0},
      {"PI", "Spiele\\Frelby\\", 0},
      {"PI", "D:\\Spiele\\..\\Frelby\\", 0},
      {"ID", "2 0 1", 1},
      {"PN", "Frelby", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(RecordIsTrusted(LogRecordKindOfCode(c.code), c.argument.c_str()), c.trusted) << c.code << " " << c.argument;
  // A link at each depth below either trusted folder ("l", beside the real folder "a"):
  // every record through it is refused; the link itself and the same path without it are not.
  std::string base = ScratchFolder("trust-links"), outside = base + "draussen";
  std::string roots[] = {base + "Frelby\\", group + "\\"};
  CreateDirectoryA(outside.c_str(), nullptr);
  CreateDirectoryA(group.c_str(), nullptr);
  ASSERT_TRUE(SetInstallFolder(roots[0].c_str()));
  LoadTrustedPlaces();
  for (const std::string& root : roots) {
    std::string level = root;
    for (int depth = 1; depth <= 3; ++depth, level += "a\\") {
      CreateDirectoryA(level.c_str(), nullptr);
      ASSERT_TRUE(MakeHostLink(level + "l", outside)) << level;
      std::string tail = level.substr(root.size());
      for (const std::string& via : {tail + "l\\", tail + "a\\"}) {
        int trusted = via == tail + "a\\";
        struct Record { const char* code; std::string argument; int trusted; };
        std::vector<Record> records = {{"KA", root + via + "x", trusted}};
        if (root == roots[0])
          records.insert(records.end(), {{"NC", via + "x", trusted}, {"SD", root + via + "x", trusted},
                                         {"NC", tail + "l", 1}, {"SD", root + tail + "l", 1}});
        else
          records.insert(records.end(), {{"CL", root + via + "x.lnk", trusted}, {"CI", root + via + "x", trusted},
                                         {"CL", root + tail + "l", 1}});
        for (const Record& r : records)
          EXPECT_EQ(RecordIsTrusted(LogRecordKindOfCode(r.code), r.argument.c_str()), r.trusted) << r.code << " " << r.argument;
      }
    }
  }
  for (const std::string& root : roots)
    for (std::string level = root; level.size() <= root.size() + 4; level += "a\\") RemoveHostLink(level + "l");
  RemoveTree(base);
  RemoveTree(group);
}

TEST(Uninstaller, RefusesAnInstallFolderWithoutItsFinalBackslash) {
  ResetInstallState();
  EXPECT_FALSE(SetInstallFolder("C:\\Programme\\Frelby"));
  EXPECT_EQ(UninstallFrom("C:\\Programme\\Frelby"), UninstallNoLog);
}

}  // namespace
