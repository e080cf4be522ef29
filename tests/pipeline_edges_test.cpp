// The pipeline at its edges: how much each tick moves, a tick's budget that ends with
// an entry, a temporary file that cannot be deleted, and '%' in the target folder.
#include <gtest/gtest.h>

#include <stdio.h>

#include <shlobj.h>

#include "base/install_state.h"
#include "support/payload_module.h"
#include "support/pipeline.h"
#include "system/rollback.h"

namespace {

class PipelineEdgeTest : public ::testing::Test {
 protected:
  void Prepare(const std::string& name, const Bytes& payload, const std::string& below = "Frelby\\") {
    ResetInstallState();
    parent = ScratchFolder(name);
    target = parent + below;
    SetTarget(target);
    InstallState.InstanceHandle = LoadPayloadModule(payload);
    ASSERT_NE(InstallState.InstanceHandle, nullptr);
    CoInitialize(nullptr);
  }
  void TearDown() override { CloseLog(); }
  bool LogHas(const std::string& line) { return ("\n" + LogText()).find("\n" + line + "\r\n") != std::string::npos; }
  std::string parent, target;
};

// The size a file has on disk with the bytes of every open stream written out.
long long FlushedSize(const std::string& path) {
  _flushall();
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

Bytes Counting(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = (uint8_t)(i * 13 + 1);
  return bytes;
}

// 100 bytes: staging moves 5 on each of ticks 2-18 and the last 15 on tick 19;
// expansion 2 on each of ticks 21-59 and the last 22 on tick 60.
TEST_F(PipelineEdgeTest, EachTickMovesItsSliceAndTheLastTickTheRest) {
  struct Stage {
    const char* File;
    int FirstTick, LastTick;
    unsigned Slice;
    bool Compressed;
  };
  for (const Stage& stage : {Stage{"temp.un_", 2, 19, 5, false}, Stage{"temp.uni", 21, 60, 2, true}}) {
    Bytes data = Counting(100);
    Prepare("slices", stage.Compressed ? Compress(data) : data);
    RunTicks(1, stage.FirstTick - 1);
    std::vector<long long> sizes, expected;
    for (int tick = stage.FirstTick; tick <= stage.LastTick; ++tick) {
      RunTicks(tick, tick);
      sizes.push_back(FlushedSize(target + stage.File));
      expected.push_back(tick == stage.LastTick ? 100 : (long long)stage.Slice * (tick - stage.FirstTick + 1));
    }
    EXPECT_EQ(sizes, expected) << stage.File;
    EXPECT_EQ(InstallState.FailureCode, 0);
    CloseLog();
  }
}

TEST_F(PipelineEdgeTest, ABudgetEndingWithAnEntryClosesItAndOpensTheNextOnTheNextTick) {
  // DataTotal 340: 10 bytes a tick, and "a" holds exactly 10.
  Prepare("budget-end", Compress(PackArchive({{"a", Bytes(10, 'a')}, {"b", Bytes(330, 'b')}})));
  RunTicks(1, 62);
  EXPECT_EQ(ReadBytes(target + "a"), Bytes(10, 'a'));  // closed: every byte on disk
  EXPECT_TRUE(LogHas("NC a"));
  EXPECT_FALSE(LogHas("NC b"));
  EXPECT_FALSE(FileExists(target + "b"));
  RunTicks(63, 63);
  EXPECT_TRUE(LogHas("NC b"));
  EXPECT_TRUE(FileExists(target + "b~neu"));
  RunTicks(64, 95);
  EXPECT_EQ(ReadBytes(target + "b"), Bytes(330, 'b'));
  EXPECT_EQ(InstallState.FailureCode, 0);
}

// A temporary file that cannot be deleted at the end of its stage (read-only) stays,
// and so does its flag; the install goes on without a failure code.
TEST_F(PipelineEdgeTest, ATemporaryFileThatCannotBeDeletedIsNoFailure) {
  struct Case {
    const char* File;
    int ReadOnlyAfterTick;
    int InstallStateRecord::*Present;
  };
  for (const Case& c : {Case{"temp.un_", 19, &InstallStateRecord::StagedPayloadPresent},
                        Case{"temp.uni", 60, &InstallStateRecord::ExpandedPayloadPresent}}) {
    Prepare("undeletable", Compress(PackArchive({{"a.txt", Bytes(20, 'a')}})));
    RunTicks(1, c.ReadOnlyAfterTick);
    ASSERT_TRUE(SetFileAttributesA((target + c.File).c_str(), FILE_ATTRIBUTE_READONLY));
    RunTicks(c.ReadOnlyAfterTick + 1, 95);
    EXPECT_EQ(InstallState.FailureCode, 0) << c.File;
    // It goes all the same, read-only or not (or, in use, at the next restart).
    EXPECT_FALSE(FileExists(target + c.File)) << c.File;
    EXPECT_EQ(InstallState.*c.Present, 0) << c.File;
    EXPECT_EQ(ReadBytes(target + "a.txt"), Bytes(20, 'a')) << c.File;
    SetFileAttributesA((target + c.File).c_str(), FILE_ATTRIBUTE_NORMAL);
    CloseLog();
  }
}

std::string UninstallString() {
  HKEY key;
  char value[512] = "";
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\FrelbyKey", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return "<no key>";
  DWORD size = sizeof value - 1;
  RegQueryValueExA(key, "UninstallString", nullptr, nullptr, (BYTE*)value, &size);
  RegCloseKey(key);
  return value;
}

TEST_F(PipelineEdgeTest, PercentSignsInTheTargetReachEveryPathAndRecordAsTheyAre) {
  Prepare("percent", Compress(PackArchive({{"frelby.exe", Bytes(30, 'f')}, {"sub\\x.txt", Bytes(10, 'x')}})),
          "50% %d %x\\Frelby\\");
  std::set<std::string> before = SnapshotTree(parent);
  std::string menu = ProgramsFolder() + "\\Frelby";
  RunTicks(1, 100);
  EXPECT_EQ(InstallState.FailureCode, 0);
  EXPECT_EQ(std::string(InstallState.LogPath), target + "deinst.log");
  EXPECT_EQ(LogText().substr(0, 14), "ID 4 0 0 1 1\r\n");
  EXPECT_TRUE(LogHas("SD " + target + "sub"));
  EXPECT_TRUE(LogHas("NC sub\\x.txt"));
  EXPECT_TRUE(LogHas("CL " + menu + "\\Frelby.lnk"));
  EXPECT_EQ(ReadBytes(target + "frelby.exe"), Bytes(30, 'f'));
  EXPECT_EQ(ReadBytes(target + "sub\\x.txt"), Bytes(10, 'x'));
  EXPECT_EQ(LinkTarget(menu + "\\Frelby.lnk"), target + "frelby.exe");
  EXPECT_EQ(LinkTarget(menu + "\\Frelby deinstallieren.lnk"), target + "uninst.exe");
  EXPECT_EQ(UninstallString(), "\"" + target + "uninst.exe\"");
  CloseLog();
  EXPECT_EQ(RollBackInstallation(), 1);
  EXPECT_EQ(SnapshotTree(parent), before);
  EXPECT_FALSE(FolderExists(menu));
  EXPECT_EQ(UninstallString(), "<no key>");
}

}  // namespace
