// setup.exe's command line: /S, /D= with the rest of the line, unknown options.
#include <gtest/gtest.h>

#include <string>

#include "shell/command_line.h"

namespace {

SetupOptions Read(const char* line) {
  SetupOptions options;
  ReadSetupOptions(line, &options);
  return options;
}

TEST(SetupOptions, NoneGivenForAnEmptyOrBlankLine) {
  EXPECT_FALSE(Read("").Given);
  EXPECT_FALSE(Read("   \t ").Given);
  EXPECT_FALSE(Read(nullptr).Given);
}

TEST(SetupOptions, SilentInAnyLetterCase) {
  SetupOptions options = Read("/S");
  EXPECT_TRUE(options.Given);
  EXPECT_TRUE(options.Silent);
  EXPECT_FALSE(options.HasTarget);
  EXPECT_STREQ(options.Unknown, "");
  EXPECT_TRUE(Read(" /s ").Silent);
}

TEST(SetupOptions, TargetTakesTheRestOfTheLineWithBlanks) {
  SetupOptions options = Read("/S /D=C:\\Meine Spiele\\Frelby  ");
  EXPECT_TRUE(options.Silent);
  EXPECT_TRUE(options.HasTarget);
  EXPECT_STREQ(options.Target, "C:\\Meine Spiele\\Frelby");
  // What looks like an option after /D= is part of the folder.
  EXPECT_STREQ(Read("/D=C:\\a /S").Target, "C:\\a /S");
  EXPECT_FALSE(Read("/D=C:\\a /S").Silent);
}

TEST(SetupOptions, QuotesAroundTheOptionOrTheFolderAreLeftOut) {
  EXPECT_STREQ(Read("/S \"/D=C:\\Meine Spiele\\Frelby\"").Target, "C:\\Meine Spiele\\Frelby");
  EXPECT_STREQ(Read("/S /D=\"C:\\Meine Spiele\\Frelby\"").Target, "C:\\Meine Spiele\\Frelby");
  EXPECT_TRUE(Read("\"/S\"").Silent);
}

TEST(SetupOptions, BackslashesBeforeAQuoteAreReadAsThePlatformSplitsALine) {
  const char* rows[][2] = {
      // A final backslash written before the closing quote is doubled by the quoting tools.
      {"/S \"/D=C:\\Silent Test\\Frelby\\\\\"", "C:\\Silent Test\\Frelby\\"},
      {"/S /D=\"C:\\Silent Test\\Frelby\\\\\"", "C:\\Silent Test\\Frelby\\"},
      {"/S /D=C:\\a\\\\\\\\\"", "C:\\a\\\\"},
      {"/S \"/D=C:\\a\\\"\"", "C:\\a"},                 // 2n+1: the quote is text, and left out
      {"/S /D=C:\\\\server\\a\\", "C:\\\\server\\a\\"},  // no quote follows: kept as written
  };
  for (auto& row : rows) EXPECT_STREQ(Read(row[0]).Target, row[1]) << row[0];
}

TEST(SetupOptions, AnEmptyOrOverlongTargetIsKeptEmpty) {
  EXPECT_TRUE(Read("/S /D=").HasTarget);
  EXPECT_STREQ(Read("/S /D=").Target, "");
  std::string line = "/S /D=C:\\" + std::string(600, 'x');
  SetupOptions options = Read(line.c_str());
  EXPECT_TRUE(options.TargetTooLong);
  EXPECT_STREQ(options.Target, "");
}

TEST(SetupOptions, TheFirstUnknownOptionIsNamedAndSilentStillSeen) {
  SetupOptions options = Read("/X /S /Y");
  EXPECT_STREQ(options.Unknown, "/X");
  EXPECT_TRUE(options.Silent);
  EXPECT_STREQ(Read("/SILENT").Unknown, "/SILENT");
  EXPECT_STREQ(Read("/D C:\\x").Unknown, "/D");
  std::string longOption = "/" + std::string(100, 'q');
  EXPECT_EQ(std::string(Read(longOption.c_str()).Unknown), longOption.substr(0, OptionTextCapacity - 4) + "...");
}

}  // namespace
