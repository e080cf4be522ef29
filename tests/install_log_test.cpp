// The install log's format on disk, its backward reading and the cutting of lines.
#include <gtest/gtest.h>
#include <io.h>

#include "base/install_state.h"
#include "support/pipeline.h"
#include "support/test_support.h"
#include "system/install_log.h"
#include "system/kept_aside.h"
#include "system/log_reader.h"

namespace {

std::string Cut(const char* line, std::string* code = nullptr) {
  char c[3], argument[LogLineCapacity];
  CutLogLine(line, c, argument);
  if (code) *code = c;
  return argument;
}

class InstallLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetInstallState();
    folder = ScratchFolder("install-log");
  }
  // Opens a log holding `bytes` for reading, as the rollback does.
  void OpenForReading(const std::string& bytes) {
    WriteText(folder + "deinst.log", bytes);
    InstallState.LogFile = fopen((folder + "deinst.log").c_str(), "rt");
    ASSERT_NE(InstallState.LogFile, nullptr);
    InstallState.PendingLogLines = CountLogLines(InstallState.LogFile);
  }
  void TearDown() override {
    if (InstallState.LogFile) fclose(InstallState.LogFile);
  }
  std::string folder;
};

TEST_F(InstallLogTest, RecordsAreWrittenInTextModeWithCrLf) {
  InstallState.LogFile = fopen((folder + "deinst.log").c_str(), "wt");
  int flags[2] = {0, 1};
  AppendLevelRecord(flags, 2);
  AppendLogRecord(RecordNewFile, "resource\\a.anx");
  AppendLogRecord(RecordMenuLink, "P\\Frelby\\Frelby deinstallieren.lnk");
  AppendLevelRecord(flags, 0);
  fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
  EXPECT_EQ(ReadText(folder + "deinst.log"),
            "ID 2 0 1\r\nNC resource\\a.anx\r\nCL P\\Frelby\\Frelby deinstallieren.lnk\r\nID 0\r\n");
}

TEST_F(InstallLogTest, NoRecordIsWrittenWithoutAnOpenLog) {
  AppendLogRecord(RecordNewFile, "frelby.exe");
  AppendLevelRecord(nullptr, 0);
  EXPECT_FALSE(FileExists(folder + "deinst.log"));
}

TEST_F(InstallLogTest, ReadsLinesFromTheLastToTheFirst) {
  OpenForReading("ID 1 1\r\nNC a\r\nNC b\r\nXX other\r\nPN Frelby\r\n");
  ASSERT_EQ(InstallState.PendingLogLines, 5);
  InstallState.PendingLogLines = 3;
  char line[LogLineCapacity];
  ASSERT_TRUE(ReadPendingLogLine(line));
  EXPECT_STREQ(line, "NC b\n");
  EXPECT_EQ(InstallState.PendingLogLines, 2);
  ASSERT_TRUE(ReadPendingLogLine(line));
  EXPECT_STREQ(line, "NC a\n");
  ASSERT_TRUE(ReadPendingLogLine(line));
  EXPECT_STREQ(line, "ID 1 1\n");
  EXPECT_EQ(InstallState.PendingLogLines, 0);
  EXPECT_FALSE(ReadPendingLogLine(line));
}

TEST_F(InstallLogTest, LastLineWithoutLineEndIsCountedAndReadWhole) {
  OpenForReading("ID 0\r\nNC frelby.exe");
  ASSERT_EQ(InstallState.PendingLogLines, 2);
  char line[LogLineCapacity];
  ASSERT_TRUE(ReadPendingLogLine(line));
  EXPECT_EQ(Cut(line), "frelby.exe");
  int last = RecordUnknown;
  EXPECT_TRUE(LastLogKinds(InstallState.LogFile, &last));
  EXPECT_EQ(last, RecordNewFile);
}

TEST_F(InstallLogTest, ARecordThatCannotBeWrittenFailsTheInstallation) {
  WriteText(folder + "deinst.log", "ID 0\n");
  InstallState.LogFile = OpenUnwritable(folder + "deinst.log");
  EXPECT_FALSE(AppendLogRecord(RecordNewFile, "frelby.exe"));
  EXPECT_EQ(InstallState.FailureCode, FailureLogWrite);
  InstallState.FailureCode = 0;
  EXPECT_FALSE(CloseInstallLog("Frelby"));
  EXPECT_EQ(InstallState.LogFile, nullptr);
  EXPECT_EQ(InstallState.FailureCode, FailureLogWrite);
  EXPECT_EQ(ReadText(folder + "deinst.log"), "ID 0\n");
  // Its last record written, but its handle cannot be closed.
  InstallState.FailureCode = 0;
  InstallState.LogFile = fopen((folder + "deinst.log").c_str(), "at");
  HANDLE handle = (HANDLE)_get_osfhandle(_fileno(InstallState.LogFile));
  SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
  EXPECT_FALSE(CloseInstallLog("Frelby"));
  EXPECT_EQ(InstallState.FailureCode, FailureLogWrite);
  EXPECT_EQ(ReadText(folder + "deinst.log"), "ID 0\nPN Frelby\r\n");
  SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
  CloseHandle(handle);
}

TEST_F(InstallLogTest, EachRecordIsOnDiskBeforeTheNextAction) {
  InstallState.LogFile = fopen((folder + "deinst.log").c_str(), "wt");
  int flags[1] = {1};
  EXPECT_TRUE(AppendLevelRecord(flags, 1));
  EXPECT_EQ(ReadText(folder + "deinst.log"), "ID 1 1\r\n");
  EXPECT_TRUE(AppendLogRecord(RecordNewFile, "frelby.exe"));
  EXPECT_EQ(ReadText(folder + "deinst.log"), "ID 1 1\r\nNC frelby.exe\r\n");
}

// What stands at a name is moved to "<name>~alt", its KA record first; an aside name
// already taken is kept unless the caller says it holds only an older copy (a shortcut).
TEST_F(InstallLogTest, KeepFileAsideMovesOnlyWhereTheAsideNameIsFreeOrStale) {
  struct Case { int StaleMayGo; const char* Aside; bool LogWritable; int Moved; const char* AsideAfter; } cases[] = {
      {0, nullptr, true, 1, "new"},          {1, nullptr, true, 1, "new"},
      {0, "the user's", true, 0, "the user's"}, {1, "older link", true, 1, "new"},
      {0, nullptr, false, 0, ""},            {1, "older link", false, 0, ""}};
  std::string path = folder + "x.lnk", aside = path + "~alt";
  for (const Case& c : cases) {
    std::string what = std::to_string(c.StaleMayGo) + (c.Aside ? c.Aside : "-") + std::to_string(c.LogWritable);
    WriteText(folder + "deinst.log", "ID 0\n");
    InstallState.LogFile = c.LogWritable ? fopen((folder + "deinst.log").c_str(), "at") : OpenUnwritable(folder + "deinst.log");
    WriteText(path, "new");
    DeleteFileA(aside.c_str());
    if (c.Aside) WriteText(aside, c.Aside);
    EXPECT_EQ(KeepFileAside(path.c_str(), c.StaleMayGo), c.Moved) << what;
    EXPECT_EQ(ReadText(aside), c.AsideAfter) << what;
    EXPECT_EQ(FileExists(path), !c.Moved) << what;
    EXPECT_EQ(ReadText(folder + "deinst.log"), c.Moved ? "ID 0\nKA " + path + "\r\n" : "ID 0\n") << what;
    fclose(InstallState.LogFile);
    InstallState.LogFile = nullptr;
  }
  EXPECT_EQ(KeepFileAside((folder + "nothing").c_str(), 0), 1);  // nothing there: the name is free
}

TEST_F(InstallLogTest, EmptyFileHasNoLines) {
  OpenForReading("");
  EXPECT_EQ(InstallState.PendingLogLines, 0);
  char line[LogLineCapacity];
  EXPECT_FALSE(ReadPendingLogLine(line));
}

TEST_F(InstallLogTest, LineOver499CharactersIsReadInPieces) {
  std::string longLine = "NC " + std::string(600, 'x');
  OpenForReading("ID 0\r\n" + longLine + "\r\n");
  ASSERT_EQ(InstallState.PendingLogLines, 3);
  char line[LogLineCapacity];
  ASSERT_TRUE(ReadPendingLogLine(line));
  EXPECT_EQ(std::string(line), std::string(104, 'x') + "\n");
  ASSERT_TRUE(ReadPendingLogLine(line));
  EXPECT_EQ(std::string(line), "NC " + std::string(496, 'x'));
}

TEST_F(InstallLogTest, PercentSignsInArgumentsAreWrittenAsTheyAre) {
  InstallState.LogFile = fopen((folder + "deinst.log").c_str(), "wt");
  AppendLogRecord(RecordNewFile, "100% %d %x %%.txt");
  AppendLogRecord(RecordEntryFolder, "C:\\50% Rabatt\\%d");
  fclose(InstallState.LogFile);
  InstallState.LogFile = nullptr;
  EXPECT_EQ(ReadText(folder + "deinst.log"), "NC 100% %d %x %%.txt\r\nSD C:\\50% Rabatt\\%d\r\n");
}

// 498 characters, the line end and the 00 byte fill the 500-byte buffer exactly; at
// 499 characters the line end is left over and reads as a line of its own.
TEST_F(InstallLogTest, LinesUpTo498CharactersAreReadWholeAndOf499InTwoPieces) {
  struct Case {
    size_t Length;                       // characters before the line end
    std::vector<std::string> FromLast;   // the pieces, last line first
  };
  std::vector<Case> cases = {
      {498, {"NC " + std::string(495, 'x') + "\n"}},
      {499, {"\n", "NC " + std::string(496, 'x')}},
  };
  for (const Case& c : cases) {
    OpenForReading("ID 0\r\nNC " + std::string(c.Length - 3, 'x') + "\r\n");
    EXPECT_EQ(InstallState.PendingLogLines, (int)c.FromLast.size() + 1) << c.Length;
    char line[LogLineCapacity];
    for (const std::string& piece : c.FromLast) {
      ASSERT_TRUE(ReadPendingLogLine(line)) << c.Length;
      EXPECT_EQ(std::string(line), piece) << c.Length;
    }
    ASSERT_TRUE(ReadPendingLogLine(line));
    EXPECT_STREQ(line, "ID 0\n");
    fclose(InstallState.LogFile);
    InstallState.LogFile = nullptr;
  }
}

TEST(CutLogLine, TakesTheCodeAndTheArgumentWithoutTheLineEnd) {
  std::string code;
  EXPECT_EQ(Cut("RK FrelbyKey\n", &code), "FrelbyKey");
  EXPECT_EQ(code, "RK");
  EXPECT_EQ(Cut("SD C:\\Programme\\Frelby\\resource\n", &code), "C:\\Programme\\Frelby\\resource");
  EXPECT_EQ(Cut("CL P\\Frelby\\Frelby deinstallieren.lnk\n"), "P\\Frelby\\Frelby deinstallieren.lnk");
}

TEST(CutLogLine, ShortLinesKeepWhatFollowsTheBlank) {
  std::string code;
  EXPECT_EQ(Cut("ID 0\n", &code), "0");
  EXPECT_EQ(code, "ID");
  EXPECT_EQ(Cut("ID 0"), "0");
  EXPECT_EQ(Cut("ID\n", &code), "");
  EXPECT_EQ(code, "ID");
  EXPECT_EQ(Cut("\n", &code), "");
  EXPECT_EQ(Cut("", &code), "");
  EXPECT_EQ(code, "");
}

TEST(DecodeLevelRecord, GivesTheCountAndTheFlagsInOrder) {
  int flags[CreatedDirCapacity] = {};
  int stored = 0;
  EXPECT_EQ(DecodeLevelRecord("2 0 1", flags, CreatedDirCapacity, &stored), 2);
  ASSERT_EQ(stored, 2);
  EXPECT_EQ(flags[0], 0);
  EXPECT_EQ(flags[1], 1);
  EXPECT_EQ(DecodeLevelRecord("0", flags, CreatedDirCapacity, &stored), 0);
  EXPECT_EQ(stored, 0);
  EXPECT_EQ(DecodeLevelRecord("", flags, CreatedDirCapacity, &stored), 0);
  EXPECT_EQ(stored, 0);
}

TEST(DecodeLevelRecord, TwoBlanksInARowGiveAnExtraZeroFlag) {
  int flags[CreatedDirCapacity] = {};
  int stored = 0;
  EXPECT_EQ(DecodeLevelRecord("2  1", flags, CreatedDirCapacity, &stored), 2);
  ASSERT_EQ(stored, 2);
  EXPECT_EQ(flags[0], 0);
  EXPECT_EQ(flags[1], 1);
}

TEST(DecodeLevelRecord, StoresNoMoreFlagsThanThereIsRoomFor) {
  std::string argument = "150";
  for (int i = 0; i < 150; ++i) argument += " 1";
  int flags[CreatedDirCapacity + 1] = {};
  flags[CreatedDirCapacity] = 7;
  int stored = 0;
  EXPECT_EQ(DecodeLevelRecord(argument.c_str(), flags, CreatedDirCapacity, &stored), 150);
  EXPECT_EQ(stored, CreatedDirCapacity);
  EXPECT_EQ(flags[CreatedDirCapacity], 7);
}

}  // namespace
