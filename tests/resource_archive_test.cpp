// The archive reader: magic, directory, lookups, and files outside the format.
#include <gtest/gtest.h>

#include <string.h>

#include <set>

#include "payload/resource_archive.h"
#include "support/pipeline.h"
#include "tools/pack/archive_writer.h"
#include "tools/pack/cp1252.h"

namespace {

class ArchiveReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { folder = ScratchFolder("archive"); }
  ArchiveReader* Open(const Bytes& bytes) {
    WriteBytes(folder + "temp.uni", bytes);
    return OpenArchive((folder + "temp.uni").c_str());
  }
  std::string folder;
};

TEST_F(ArchiveReaderTest, OpensAtTheDataAreaAndFindsNamesIgnoringCase) {
  ArchiveReader* reader = Open(RawArchive({{"frelby.exe", Bytes(10, 1)}, {"Frelby.EXE", Bytes(3, 2)}, {"b", {}}}));
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->EntryCount, 3u);
  EXPECT_EQ(ftell(reader->ArchiveFile), 27 + 3 * 136);
  EXPECT_EQ(FindEntryOffset(reader, "FRELBY.EXE"), 27u + 3 * 136);
  EXPECT_EQ(FindEntrySize(reader, "FRELBY.EXE"), 10u);
  EXPECT_EQ(FindEntryOffset(reader, "b"), 27u + 3 * 136 + 13);
  EXPECT_EQ(FindEntrySize(reader, "b"), 0u);
  EXPECT_EQ(FindEntryOffset(reader, "absent"), 0u);
  EXPECT_EQ(FindEntrySize(reader, "absent"), 0u);
  EXPECT_EQ(FindEntryOffset(reader, "frelby.ex"), 0u);
  EXPECT_EQ(ftell(reader->ArchiveFile), 27 + 3 * 136);
  EXPECT_TRUE(ArchiveIsWellFormed(reader, 27 + 3 * 136 + 13) == 0);  // duplicate names
  CloseArchive();
}

TEST_F(ArchiveReaderTest, MagicIsTheFirstSevenLettersCaseSensitive) {
  Bytes archive = RawArchive({});
  memcpy(archive.data(), "Glimmer-anything-here!!", 23);
  ArchiveReader* reader = Open(archive);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->EntryCount, 0u);
  EXPECT_EQ(FindEntryOffset(reader, "x"), 0u);
  CloseArchive();
  memcpy(archive.data(), "glimmer", 7);
  EXPECT_EQ(Open(archive), nullptr);
}

TEST_F(ArchiveReaderTest, ShortFilesAndOversizedCountsAreRefused) {
  Bytes archive = RawArchive({{"a", Bytes(5, 1)}});
  EXPECT_EQ(Open(Bytes(archive.begin(), archive.begin() + 20)), nullptr);   // inside the magic
  EXPECT_EQ(Open(Bytes(archive.begin(), archive.begin() + 25)), nullptr);   // inside the count
  EXPECT_EQ(Open(Bytes(archive.begin(), archive.begin() + 100)), nullptr);  // inside the directory
  Bytes huge = RawArchive({});
  huge[23] = 0x40; huge[24] = 0x42; huge[25] = 0x0F; huge[26] = 0x00;  // a million entries in 27 bytes
  EXPECT_EQ(Open(huge), nullptr);
  EXPECT_EQ(OpenArchive((folder + "missing").c_str()), nullptr);
}

TEST_F(ArchiveReaderTest, NameWithoutTerminatorIsNeverReadPast) {
  ArchiveReader* reader = Open(RawArchive({{std::string(128, 'n'), Bytes(2, 1)}}));
  ASSERT_NE(reader, nullptr);
  // The name asked for goes on with the byte that lies beyond the field (the offset's
  // first): only a comparison that stays inside the 128 bytes misses it.
  const char* beyond = (const char*)&reader->Directory[0].Name[0] + ArchiveNameCapacity;
  std::string asked = std::string(128, 'n') + std::string(beyond, strnlen(beyond, 4));
  ASSERT_EQ(asked.size(), 129u);
  EXPECT_EQ(FindEntrySize(reader, asked.c_str()), 0u);
  EXPECT_EQ(FindEntryOffset(reader, asked.c_str()), 0u);
  EXPECT_FALSE(ArchiveIsWellFormed(reader, 27 + 136 + 2));
  CloseArchive();
}

TEST_F(ArchiveReaderTest, WellFormedMeansContiguousDataThatFillsTheFile) {
  Bytes archive = RawArchive({{"a", Bytes(5, 1)}, {"sub\\b", Bytes(7, 2)}});
  ArchiveReader* reader = Open(archive);
  ASSERT_NE(reader, nullptr);
  EXPECT_TRUE(ArchiveIsWellFormed(reader, (unsigned)archive.size()));
  EXPECT_FALSE(ArchiveIsWellFormed(reader, (unsigned)archive.size() + 1));
  EXPECT_FALSE(ArchiveIsWellFormed(reader, 100));  // directory larger than the file
  reader->Directory[1].Offset += 1;
  EXPECT_FALSE(ArchiveIsWellFormed(reader, (unsigned)archive.size() + 1));
  CloseArchive();
}

TEST_F(ArchiveReaderTest, NamesWindowsTakesForTheSameFileAreRefused) {
  struct Case { std::string A, B; bool Unique; } cases[] = {
      {"a.txt", "A.TXT", false}, {"\xC4rger.txt", "\xE4rger.txt", false}, {"\x8A\x9C", "\x9A\x8C", false},
      {"\x9F", "\xFF", false}, {"sub\\\xDE", "SUB\\\xFE", false}, {"\xD7", "\xF7", true}, {"\xDF", "ss", true},
      {"a", "b", true}};
  for (const Case& c : cases) {
    Bytes archive = RawArchive({{c.A, Bytes(1, 1)}, {"x", Bytes()}, {c.B, Bytes(2, 2)}});
    ArchiveReader* reader = Open(archive);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(ArchiveIsWellFormed(reader, (unsigned)archive.size()) != 0, c.Unique) << c.A << " " << c.B;
    CloseArchive();
  }
}

TEST(PackerNames, ManifestNamesAreStoredInCodePage1252OrRefused) {
  struct Case { std::string Utf8, Stored; bool Storable; } cases[] = {
      {"frelby.exe", "frelby.exe", true}, {"\xC3\xA4rger.txt", "\xE4rger.txt", true},
      {"\xE2\x82\xAC.txt", "\x80.txt", true}, {"\xC5\xA0", "\x8A", true}, {"\xC5\xB8", "\x9F", true},
      {"\xCE\xA9.txt", "", false},       // Greek Omega has no byte in code page 1252
      {"\xC2\x81", "", false},           // a C1 control
      {"\xC3", "", false},                // cut short
      {"\xC0\xAE", "", false},           // an overlong "."
      {"\xF0\x9F\x98\x80", "", false}};  // beyond the first plane
  for (const Case& c : cases) {
    std::string stored;
    EXPECT_EQ(Utf8ToCp1252(c.Utf8, stored) != 0, c.Storable) << c.Utf8;
    if (c.Storable) {
      EXPECT_EQ(stored, c.Stored);
    }
  }
  std::string error;
  std::vector<PackEntry> entries = {{"frelby.exe", {1}, 1}, {"\xC4.txt", {2}, 2}, {"\xE4.TXT", {3}, 3}};
  EXPECT_TRUE(BuildArchive(entries, error).empty());
  EXPECT_EQ(error, "line 3: the same file name for Windows as \xC4.txt: \xE4.TXT");
  entries = {{"frelby.exe", {1}, 1}, {"nul.dat", {2}, 7}};
  EXPECT_TRUE(BuildArchive(entries, error).empty());
  EXPECT_EQ(error, "line 7: name not allowed in the target folder: nul.dat");
}

TEST(ArchiveNames, OnlyNamesInsideTheTargetFolderAreSafe) {
  for (const char* safe : {"frelby.exe", "resource\\a.anx", "a\\b\\c.d", "..x", "naïve.txt", "nul_x", "com10",
                            "console.txt", "lpt", "a b", "resource\\aux_x\\y", "x~alt.txt", "temp.unx"})
    EXPECT_TRUE(ArchiveNameIsSafe(safe)) << safe;
  for (const char* unsafe : {"", "..\\x", "a\\..\\..\\x", "..", ".", "a\\.\\b", "\\x", "C:\\x", "C:x", "a/b",
                             "a\\", "a\\\\b", "a*b", "a?b", "a|b", "a\"b", "a<b", "a>b", "a\tb",
                             // Windows would store these under another name, or open a device.
                             "x..", "a.", "a ", "res.\\x", "res \\x", "nul", "NUL.txt", "Con", "con .txt", "aux\\x",
                             "resource\\prn.dat", "COM1", "lpt9.log", "com\xB9", "LPT\xB3.x", "conin$", "CONOUT$",
                             // The installer's own files, and the names it keeps files aside under.
                             "deinst.log", "DEINST.LOG", "temp.un_", "Temp.Uni", "x~alt", "sub\\y~ALT", "z~weg"})
    EXPECT_FALSE(ArchiveNameIsSafe(unsafe)) << unsafe;
  EXPECT_FALSE(ArchiveNameIsSafe(std::string(128, 'x').c_str()));
  EXPECT_TRUE(ArchiveNameIsSafe(std::string(127, 'x').c_str()));
  // Every device name, in any case, with an extension, below a folder; a letter more is a name.
  std::vector<std::string> devices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* port : {"COM", "LPT"})
    for (char digit : std::string("123456789\xB9\xB2\xB3")) devices.push_back(port + std::string(1, digit));
  for (const std::string& device : devices) {
    std::string lower = device;
    for (char& c : lower) c = (char)tolower((unsigned char)c);
    for (const std::string& name : {device, lower, device + ".txt", lower + " .log", "sub\\" + device + ".dat\\x"})
      EXPECT_FALSE(ArchiveNameIsSafe(name.c_str())) << name;
    for (const std::string& name : {device + "_", "x" + lower, device + "_.txt"}) EXPECT_TRUE(ArchiveNameIsSafe(name.c_str())) << name;
  }
}

// The letters code page 1252 has in both cases, which Windows takes for the same file
// name; no other two bytes are the same, to the comparison, the archive check and the packer.
TEST(ArchiveNames, ExactlyTheLetterPairsOfCodePage1252AreTheSameName) {
  std::set<std::pair<int, int>> pairs = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
  for (int c = 'a'; c <= 'z'; ++c) pairs.insert({c, c - 0x20});
  for (int c = 0xE0; c <= 0xFE; ++c)
    if (c != 0xF7) pairs.insert({c, c - 0x20});
  std::string wrong;
  for (int a = 1; a < 256; ++a)
    for (int b = 1; b < 256; ++b) {
      const char x[] = {'n', (char)a, 0}, y[] = {'n', (char)b, 0};
      if (ArchiveNamesEqual(x, y) != (a == b || pairs.count({a, b}) || pairs.count({b, a}))) wrong += " " + std::to_string(a) + "/" + std::to_string(b);
    }
  EXPECT_EQ(wrong, "");
  for (const auto& pair : pairs) {
    ArchiveEntry entries[2] = {{{'n', (char)pair.first, 0}, 0, 0}, {{'n', (char)pair.second, 0}, 0, 0}};
    ArchiveReader reader = {nullptr, 2, entries};
    ArchiveNameIndex index;
    EXPECT_FALSE(IndexArchiveNames(&reader, &index)) << pair.first;
    std::string error;
    EXPECT_TRUE(BuildArchive({{entries[0].Name, {1}, 1}, {entries[1].Name, {2}, 2}}, error).empty()) << pair.first;
    entries[1].Name[1] = '_';
    ASSERT_TRUE(IndexArchiveNames(&reader, &index)) << pair.first;
    FreeArchiveNameIndex(&index);
  }
}

}  // namespace
