// The payload pipeline's stages run tick by tick on real files: staging, expansion,
// extraction, and the demo payload installed whole.
#include <gtest/gtest.h>

#include "base/install_state.h"
#include "payload/extraction.h"
#include "payload/payload_checksum.h"
#include "support/payload_module.h"
#include "support/pipeline.h"
#include "system/rollback.h"

namespace {

// The records of the two temporary files, written before each is created.
const std::string Temporaries = "NC temp.un_\r\nNC temp.uni\r\n";

// An entry's records: NC when it is opened (under its writing name), CS with its CRC-32
// once it is whole and has its name.
std::string Opened(const std::string& name) { return "NC " + name + "\r\n"; }
std::string Whole(const std::string& name, const Bytes& bytes) {
  char crc[16];
  snprintf(crc, sizeof crc, "%08X", (unsigned)Crc32Update(0, bytes.data(), bytes.size()));
  return "CS " + std::string(crc) + " " + name + "\r\n";
}
std::string Entry(const std::string& name, const Bytes& bytes) { return Opened(name) + Whole(name, bytes); }

class PipelineTest : public ::testing::Test {
 protected:
  void Prepare(const std::string& name, const Bytes& payload) {
    ResetInstallState();
    parent = ScratchFolder(name);
    target = parent + "Frelby\\";
    SetTarget(target);
    InstallState.InstanceHandle = LoadPayloadModule(payload);
    ASSERT_NE(InstallState.InstanceHandle, nullptr);
    CoInitialize(nullptr);
  }
  void TearDown() override { CloseLog(); }
  std::string parent, target;
};

TEST_F(PipelineTest, StagingCopiesTheResourceInEighteenSlices) {
  for (size_t size : {100u, 10u, 18u * 700u, 250001u}) {
    Bytes payload(size);
    for (size_t i = 0; i < size; ++i) payload[i] = (uint8_t)(i * 7 + size);
    Prepare("staging", payload);
    RunTicks(1, 18);
    EXPECT_TRUE(InstallState.StagedPayloadPresent);
    RunTicks(19, 19);
    EXPECT_EQ(ReadBytes(target + "temp.un_"), payload) << size;
    EXPECT_EQ(InstallState.FailureCode, 0);
    CloseLog();
  }
}

TEST_F(PipelineTest, StagingRecordsWhichLevelsItCreated) {
  Prepare("levels", Bytes(50, 1));
  RunTicks(1, 19);
  EXPECT_EQ(LogText(), "ID 3 0 0 1\r\nNC temp.un_\r\n");
  CloseLog();
  DeleteFileA(InstallState.LogPath);
  DeleteFileA(InstallState.StagedPayloadPath);
  RunTicks(1, 19);  // every level exists now
  EXPECT_EQ(LogText(), "ID 3 0 0 0\r\nNC temp.un_\r\n");
  CloseLog();
  SetTarget(parent + "a\\b\\c\\");
  RunTicks(1, 1);
  EXPECT_EQ(LogText(), "ID 5 0 0 1 1 1\r\nNC temp.un_\r\n");
  EXPECT_TRUE(FolderExists(parent + "a\\b\\c"));
}

TEST_F(PipelineTest, ATargetDeeperThanTheFlagsHoldStopsTheWalkWithCode5) {
  Prepare("deep", Bytes(50, 1));
  std::string deep = "C:\\q\\";  // 121 levels that still leave room for the log's name
  RemoveTree(deep);
  CreateDirectoryA(deep.c_str(), nullptr);
  for (int i = 0; i < 120; ++i) {
    deep += "d\\";
    CreateDirectoryA(deep.c_str(), nullptr);
  }
  SetTarget(deep);
  RunTicks(1, 1);
  EXPECT_EQ(InstallState.FailureCode, 5);
  std::string expected = "ID 120";
  for (int i = 0; i < 120; ++i) expected += " 0";
  expected += "\r\nNC temp.un_";
  EXPECT_EQ(LogText(), expected + "\r\n");
  RunTicks(2, 19);
  EXPECT_TRUE(InstallState.StagedPayloadPresent);
  RunTicks(20, 100);  // no later stage begins
  EXPECT_FALSE(FileExists(deep + "temp.uni"));
  EXPECT_EQ(LogText(), expected + "\r\n");
  CloseLog();
  RemoveTree("C:\\q");
}

TEST_F(PipelineTest, ExpansionMovesFortiethsAndDeletesTheStagedFile) {
  for (size_t size : {100u, 39u, 0u, 400000u, 1000000u}) {  // the last: 25,000 a tick, in three reads
    Bytes archive(size);
    for (size_t i = 0; i < size; ++i) archive[i] = (uint8_t)((i / 3) ^ size);
    Prepare("expansion", Compress(archive));
    RunTicks(1, 59);
    EXPECT_TRUE(InstallState.StagedPayloadPresent);
    EXPECT_TRUE(InstallState.ExpandedPayloadPresent);
    EXPECT_EQ(InstallState.ExpandedSize, size);
    RunTicks(60, 60);
    EXPECT_FALSE(InstallState.StagedPayloadPresent);
    EXPECT_FALSE(FileExists(target + "temp.un_"));
    EXPECT_EQ(ReadBytes(target + "temp.uni"), archive) << size;
    EXPECT_EQ(InstallState.FailureCode, 0);
    CloseLog();
  }
}

TEST_F(PipelineTest, ATruncatedPayloadFailsTheReadWithCode13) {
  Bytes archive(100000, 'x');
  for (size_t i = 0; i < archive.size(); ++i) archive[i] = (uint8_t)(i * i >> 3);
  Bytes payload = Compress(archive);
  payload.resize(payload.size() * 3 / 4);
  Prepare("truncated", payload);
  RunTicks(1, 100);
  EXPECT_EQ(InstallState.FailureCode, 13);
  EXPECT_TRUE(InstallState.StagedPayloadPresent);
  EXPECT_TRUE(InstallState.ExpandedPayloadPresent);
  EXPECT_TRUE(FileExists(target + "temp.un_"));
  EXPECT_TRUE(FileExists(target + "temp.uni"));
}

TEST_F(PipelineTest, ExtractionSpreadsEntriesOverTicksAndLogsEachOnce) {
  // DataTotal 350: ticks 62-94 move 10 bytes each, tick 95 the last 20.
  Bytes big(345, 'b');
  Prepare("extraction", Compress(PackArchive({{"first.dat", {}}, {"big.dat", big}, {"tail.dat", Bytes(5, 't')}})));
  RunTicks(1, 62);
  std::string opened = "ID 3 0 0 1\r\n" + Temporaries + Entry("first.dat", {}) + Opened("big.dat");
  EXPECT_EQ(LogText(), opened);
  EXPECT_FALSE(FileExists(target + "big.dat")) << "an entry has its name only once whole";
  RunTicks(63, 94);
  EXPECT_EQ(LogText(), opened);
  RunTicks(95, 95);
  EXPECT_EQ(LogText(), opened + Whole("big.dat", big) + Entry("tail.dat", Bytes(5, 't')));
  EXPECT_FALSE(FileExists(target + "big.dat~neu"));
  EXPECT_EQ(ReadBytes(target + "big.dat"), big);
  EXPECT_EQ(ReadBytes(target + "tail.dat"), Bytes(5, 't'));
  EXPECT_EQ(ReadBytes(target + "first.dat").size(), 0u);
  EXPECT_TRUE(FileExists(target + "first.dat"));
  EXPECT_FALSE(InstallState.ExpandedPayloadPresent);
  EXPECT_FALSE(FileExists(target + "temp.uni"));
}

TEST_F(PipelineTest, SmallArchiveIsOpenedOnTick62AndMovedOnTick95) {
  Prepare("extraction-small", Compress(PackArchive({{"a.txt", Bytes(20, 'a')}, {"b.txt", Bytes(10, 'b')}})));
  RunTicks(1, 62);
  EXPECT_TRUE(FileExists(target + "a.txt~neu"));  // opened, under its writing name
  EXPECT_FALSE(FileExists(target + "a.txt"));
  EXPECT_FALSE(FileExists(target + "b.txt"));
  RunTicks(63, 94);
  EXPECT_FALSE(FileExists(target + "b.txt"));
  RunTicks(95, 95);
  EXPECT_EQ(ReadBytes(target + "a.txt"), Bytes(20, 'a'));
  EXPECT_EQ(ReadBytes(target + "b.txt"), Bytes(10, 'b'));
}

TEST_F(PipelineTest, EmptyEntriesAfterTheLastDataByteAreCreatedToo) {
  Prepare("extraction-empty", Compress(PackArchive({{"data", Bytes(3400, 'd')}, {"empty1", {}}, {"empty2", {}}})));
  RunTicks(1, 95);
  EXPECT_EQ(InstallState.FailureCode, 0);
  EXPECT_TRUE(FileExists(target + "empty1"));
  EXPECT_TRUE(FileExists(target + "empty2"));
  EXPECT_EQ(LogText(), "ID 3 0 0 1\r\n" + Temporaries + Entry("data", Bytes(3400, 'd')) + Entry("empty1", {}) +
                           Entry("empty2", {}));
}

TEST_F(PipelineTest, MissingSubfoldersAreCreatedAndEachIsLoggedTopDown) {
  Prepare("extraction-folders",
          Compress(PackArchive({{"resource\\x", Bytes(40, 'x')}, {"resource\\y", Bytes(40, 'y')},
                                {"deep\\er\\z", Bytes(40, 'z')}})));
  RunTicks(1, 95);
  EXPECT_EQ(InstallState.FailureCode, 0);
  EXPECT_EQ(LogText(), "ID 3 0 0 1\r\n" + Temporaries + "SD " + target + "resource\r\n" + Entry("resource\\x", Bytes(40, 'x')) +
                           Entry("resource\\y", Bytes(40, 'y')) + "SD " + target + "deep\r\nSD " + target + "deep\\er\r\n" +
                           Entry("deep\\er\\z", Bytes(40, 'z')));
  EXPECT_EQ(ReadBytes(target + "deep\\er\\z"), Bytes(40, 'z'));
}

TEST_F(PipelineTest, ArchivesOutsideTheRulesAreRefusedBeforeAnythingIsWritten) {
  std::vector<Bytes> archives = {
      RawArchive({{"..\\escape.txt", Bytes(4, 'e')}}),
      RawArchive({{"C:\\escape.txt", Bytes(4, 'e')}}),
      RawArchive({{"\\escape.txt", Bytes(4, 'e')}}),
      RawArchive({{"a", Bytes(4, 'a')}, {"A", Bytes(4, 'b')}}),
  };
  Bytes shortData = RawArchive({{"a", Bytes(40, 'a')}});
  shortData.resize(shortData.size() - 10);  // sizes add up to more than the data area
  archives.push_back(shortData);
  Bytes longData = RawArchive({{"a", Bytes(40, 'a')}});
  longData.resize(longData.size() + 10);  // and to less
  archives.push_back(longData);
  Bytes header = RawArchive({});
  header[23] = 200;  // a directory larger than the file
  archives.push_back(header);
  for (const Bytes& archive : archives) {
    Prepare("extraction-refused", Compress(archive));
    RunTicks(1, 100);
    EXPECT_EQ(InstallState.FailureCode, 14);
    EXPECT_EQ(LogText(), "ID 3 0 0 1\r\n" + Temporaries);
    EXPECT_TRUE(InstallState.ExpandedPayloadPresent);
    EXPECT_FALSE(FileExists(parent + "escape.txt"));
    EXPECT_FALSE(FileExists("C:\\escape.txt"));
    CloseLog();
  }
}

// Every way extraction can fail at an entry: its code, nothing that was there changed
// (nothing written through a link), and whatever the run made on the disk named by its
// log on the disk, so that the rollback finds it.
TEST_F(PipelineTest, EachFailureOfExtractionLeavesOnlyWhatTheLogNames) {
  struct Row {
    const char* What;
    std::string Entry;
    std::vector<std::string> Folders, Files, Links;  // made before the run, below the target
    int LogFailsFromTick, Code;
    std::string MadeWhileWritten = "";  // another program's file under the entry's name, once it is open
    bool AsideTakenToo = false;         // and another under the name it would be kept aside as
  } rows[] = {
      {"a link as the entry's folder", "l\\x", {}, {}, {"l"}, 0, FailureEntryFolder},
      {"a link one level further down", "d\\l\\x", {"d"}, {}, {"d\\l"}, 0, FailureEntryFolder},
      {"a file where a folder must be", "f\\x", {}, {"f"}, {}, 0, FailureEntryFolder},
      {"a folder where the file must be", "x", {"x"}, {}, {}, 0, FailureEntryCreate},
      {"the aside name taken", "x", {}, {"x", "x~alt"}, {}, 0, FailureEntryCreate},
      {"no NC temp.uni record", "x", {}, {}, {}, 20, FailureLogWrite},
      {"no SD record", "s\\x", {}, {}, {}, 62, FailureLogWrite},
      {"no NC record", "x", {}, {}, {}, 62, FailureLogWrite},
      {"no KA record", "x", {}, {"x"}, {}, 62, FailureLogWrite},
      {"no CS record", "x", {}, {}, {}, 63, FailureLogWrite},
      {"a file made under the name in a folder the run made", "n\\x", {}, {}, {}, 0, FailureNone, "n\\x"},
      {"the same, its aside name taken too", "n\\x", {}, {}, {}, 0, FailureEntryCreate, "n\\x", true},
  };
  for (const Row& row : rows) {
    Prepare("extraction-failures", Compress(PackArchive({{row.Entry, Bytes(340, 'x')}})));
    InstallState.Silent = 1;  // no message box waits for an answer
    std::string outside = parent + "draussen";
    CreateDirectoryA(target.c_str(), nullptr);
    CreateDirectoryA(outside.c_str(), nullptr);
    for (const std::string& folder : row.Folders) CreateDirectoryA((target + folder).c_str(), nullptr);
    for (const std::string& file : row.Files) WriteText(target + file, "not this run's");
    for (const std::string& link : row.Links) ASSERT_TRUE(MakeHostLink(target + link, outside));
    std::set<std::string> before = SnapshotTree(parent);
    RunTicks(1, row.LogFailsFromTick ? row.LogFailsFromTick - 1 : 61);
    if (row.LogFailsFromTick) {
      fclose(InstallState.LogFile);
      InstallState.LogFile = OpenUnwritable(InstallState.LogPath);
    }
    RunTicks(row.LogFailsFromTick ? row.LogFailsFromTick : 62, 62);
    if (!row.MadeWhileWritten.empty()) WriteText(target + row.MadeWhileWritten, "another program's");
    if (row.AsideTakenToo) {
      WriteText(target + row.MadeWhileWritten + "~alt", "another program's");
      for (const std::string& entry : SnapshotTree(parent)) if (entry.find("~alt") != std::string::npos) before.insert(entry);
    }
    RunTicks(63, 95);
    EXPECT_EQ(InstallState.FailureCode, row.Code) << row.What;
    std::set<std::string> after = SnapshotTree(parent);
    std::string log = "\n" + LogText();
    for (const std::string& entry : before) EXPECT_EQ(after.count(entry), 1u) << row.What << ": " << entry;
    for (std::string entry : after) {
      if (before.count(entry)) continue;
      bool folder = entry.back() == '\\';
      entry = folder ? entry.substr(0, entry.size() - 1) : entry.substr(0, entry.rfind(' ', entry.rfind(' ') - 1));
      // A file under its writing name is named by its entry's NC.
      if (!folder && entry.size() > 4 && entry.compare(entry.size() - 4, 4, "~neu") == 0) entry.resize(entry.size() - 4);
      std::string record = folder ? "SD " + entry : "NC " + entry.substr(target.size());
      if (entry.size() > 4 && entry.compare(entry.size() - 4, 4, "~alt") == 0) record = "KA " + entry.substr(0, entry.size() - 4);
      if (entry != target + "deinst.log") {
        EXPECT_TRUE(entry.rfind(target, 0) == 0 && log.find("\n" + record + "\r\n") != std::string::npos) << row.What << ": " << entry;
      }
    }
    CloseLog();
    if (!row.MadeWhileWritten.empty()) {  // the rollback gives it back
      EXPECT_EQ(RollBackInstallation(), 1);
      EXPECT_EQ(ReadText(target + row.MadeWhileWritten), "another program's");
    }
    for (const std::string& link : row.Links) RemoveHostLink(target + link);
  }
}

TEST_F(PipelineTest, CreateEntryFoldersMakesEveryMissingLevel) {
  Prepare("entry-folders", Bytes(1, 0));
  InstallState.LogFile = fopen((parent + "deinst.log").c_str(), "wt");
  snprintf(InstallState.LogPath, PathCapacity, "%sdeinst.log", parent.c_str());
  EXPECT_EQ(CreateEntryFolders((parent + "one\\two\\three\\file").c_str()), 1);
  EXPECT_TRUE(FolderExists(parent + "one\\two\\three"));
  EXPECT_FALSE(FolderExists(parent + "one\\two\\three\\file"));
  std::string log = LogText();
  std::string deepest = "SD " + parent + "one\\two\\three\r\n";
  ASSERT_GE(log.size(), deepest.size());
  EXPECT_EQ(log.substr(log.size() - deepest.size()), deepest);
  EXPECT_EQ(CreateEntryFolders((parent + "one\\two\\three\\file").c_str()), 1);  // every level exists
  EXPECT_EQ(CreateEntryFolders((parent + "file").c_str()), 1);
  EXPECT_FALSE(FolderExists(parent + "file"));
  EXPECT_EQ(LogText(), log);
}

TEST_F(PipelineTest, TheDemoPayloadInstallsEveryFileByteForByte) {
  RemoveTree(ProgramsFolder() + "\\Frelby");  // no shortcut of an earlier run to keep aside
  Prepare("demo", DemoPayload());
  RunTicks(1, 100);
  EXPECT_EQ(InstallState.FailureCode, 0);
  std::vector<std::string> names = DemoEntryNames();
  ASSERT_EQ(names.size(), 38u);
  EXPECT_EQ(names[0], "frelby.exe");
  EXPECT_EQ(names[1], "uninst.exe");
  Bytes demo = DemoArchive();
  EXPECT_EQ(demo[27 + 128] | (demo[27 + 129] << 8), 5195);
  std::string expectedLog = "ID 3 0 0 1\r\n" + Temporaries;
  bool resourceSeen = false;
  for (const std::string& name : names) {
    EXPECT_EQ(ReadBytes(target + name), DemoEntrySource(name)) << name;
    if (name.rfind("resource\\", 0) == 0 && !resourceSeen) {
      expectedLog += "SD " + target + "resource\r\n";
      resourceSeen = true;
    }
    expectedLog += Entry(name, DemoEntrySource(name));
  }
  EXPECT_TRUE(resourceSeen);
  std::string log = LogText();
  EXPECT_EQ(log.substr(0, expectedLog.size()), expectedLog);
  std::string programs = ProgramsFolder();
  EXPECT_EQ(log.substr(expectedLog.size()), "CI " + programs + "\\Frelby\r\nCL " + programs + "\\Frelby\\Frelby.lnk\r\nCL " +
                                                 programs + "\\Frelby\\Frelby deinstallieren.lnk\r\nRK FrelbyKey\r\n");
  EXPECT_FALSE(FileExists(target + "temp.un_"));
  EXPECT_FALSE(FileExists(target + "temp.uni"));
  CloseLog();
  EXPECT_EQ(RollBackInstallation(), 1);  // leaves the prefix as it was
}

}  // namespace
