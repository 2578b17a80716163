#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/MyIniFile.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::TTempDir;

namespace {

void WriteText(const std::string& file, const std::string& text) {
  movara::test::WriteBytes(file, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string ReadText(const std::string& file) {
  std::vector<uint8_t> bytes = movara::test::ReadBytes(file);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(IniFile, MissingFileReadsDefaultsAndFirstWriteCreatesIt) {
  TTempDir dir;
  TMyIniFile ini(dir.File("none.ini"));
  EXPECT_EQ(ini.ReadString("A", "k", "def"), "def");
  EXPECT_EQ(ini.ReadInteger("A", "k", -7), -7);
  EXPECT_TRUE(ini.ReadBool("A", "k", true));
  EXPECT_FALSE(ini.SectionExists("A"));
  EXPECT_TRUE(ini.ReadSections().empty());

  ini.WriteInteger("A", "k", 42);
  EXPECT_EQ(ReadText(dir.File("none.ini")), "[A]\nk=42\n");
  EXPECT_EQ(ini.ReadInteger("A", "k", 0), 42);
}

TEST(IniFile, NamesAreCaseBlindAndValuesTrimmed) {
  TTempDir dir;
  WriteText(dir.File("a.ini"),
            "[Main App]\r\n  Left = 12 \r\nWindow State=2\r\nName =  two  words \r\n");
  TMyIniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadInteger("MAIN APP", "left", 0), 12);
  EXPECT_EQ(ini.ReadInteger("main app", "WINDOW STATE", 0), 2);
  EXPECT_EQ(ini.ReadString("Main App", "name", ""), "two  words");
  EXPECT_TRUE(ini.SectionExists("mAIN aPP"));
  EXPECT_TRUE(ini.ValueExists("main app", "NAME"));
  EXPECT_FALSE(ini.ValueExists("main app", "Top"));

  // a write through another spelling replaces the key, it does not add one
  ini.WriteInteger("MAIN APP", "LEFT", 5);
  EXPECT_EQ(ini.ReadSection("Main App"),
            (std::vector<std::string>{"Left", "Window State", "Name"}));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Main App"}));
  EXPECT_EQ(ini.ReadInteger("Main App", "Left", 0), 5);
  // the file keeps its CRLF line ends
  EXPECT_EQ(ReadText(dir.File("a.ini")),
            "[Main App]\r\nLeft=5\r\nWindow State=2\r\nName =  two  words \r\n");
}

TEST(IniFile, IntegersAndBooleans) {
  TTempDir dir;
  WriteText(dir.File("n.ini"),
            "[N]\nneg=-15\nhex=$1F\nhex2=0x10\nplus=+3\nbad=12a\nempty=\nbig=2147483648\n"
            "min=-2147483648\nt=1\nt2=-1\nf=0\nyes=yes\n");
  TMyIniFile ini(dir.File("n.ini"));
  EXPECT_EQ(ini.ReadInteger("N", "neg", 0), -15);
  EXPECT_EQ(ini.ReadInteger("N", "hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("N", "hex2", 0), 16);
  EXPECT_EQ(ini.ReadInteger("N", "plus", 0), 3);
  EXPECT_EQ(ini.ReadInteger("N", "bad", 9), 9);
  EXPECT_EQ(ini.ReadInteger("N", "empty", 9), 9);
  EXPECT_EQ(ini.ReadInteger("N", "big", 9), 9);
  EXPECT_EQ(ini.ReadInteger("N", "min", 0), -2147483647 - 1);
  EXPECT_TRUE(ini.ReadBool("N", "t", false));
  EXPECT_TRUE(ini.ReadBool("N", "t2", false));  // any non-zero integer
  EXPECT_FALSE(ini.ReadBool("N", "f", true));
  EXPECT_TRUE(ini.ReadBool("N", "yes", true));  // not a number: the default
  EXPECT_FALSE(ini.ReadBool("N", "yes", false));

  ini.WriteBool("N", "w", true);
  EXPECT_EQ(ini.ReadString("N", "w", ""), "1");
  ini.WriteBool("N", "w", false);
  EXPECT_EQ(ini.ReadString("N", "w", ""), "0");
}

TEST(IniFile, ParsingRules) {
  TTempDir dir;
  WriteText(dir.File("p.ini"),
            "\xEF\xBB\xBF"
            "orphan=1\n"
            "[S]\n"
            "k=first\n"
            "k=second\n"
            "no equals sign\n"
            "; k=commented\n"
            "=no key\n"
            "[T]\n"
            "a=1\n"
            "[s]\n"
            "extra=3\n"
            "last=no newline");
  TMyIniFile ini(dir.File("p.ini"));
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"S", "T"}));
  EXPECT_EQ(ini.ReadString("S", "k", ""), "first");
  EXPECT_EQ(ini.ReadString("S", "orphan", "x"), "x");
  EXPECT_EQ(ini.ReadSection("S"), (std::vector<std::string>{"k", "extra", "last"}));
  EXPECT_EQ(ini.ReadString("s", "last", ""), "no newline");
  EXPECT_EQ(ini.ReadInteger("S", "extra", 0), 3);
}

TEST(IniFile, RewriteKeepsCommentsAndOtherLines) {
  TTempDir dir;
  std::string file = dir.File("c.ini");
  WriteText(file,
            "\xEF\xBB\xBF; settings of the program\n"
            "[A]\n"
            "; the left edge\n"
            "Left=1\n"
            "\n"
            "[B]\n"
            "x = 1\n");
  TMyIniFile ini(file);
  ini.WriteInteger("A", "Left", 2);
  ini.WriteInteger("A", "Top", 3);
  ini.WriteString("C", "name", "new");
  EXPECT_EQ(ReadText(file),
            "\xEF\xBB\xBF; settings of the program\n"
            "[A]\n"
            "; the left edge\n"
            "Left=2\n"
            "Top=3\n"
            "\n"
            "[B]\n"
            "x = 1\n"
            "\n"
            "[C]\n"
            "name=new\n");
}

TEST(IniFile, Utf8ValuesRoundTrip) {
  TTempDir dir;
  std::string file = dir.File("Ustawienia ąę.ini");
  TMyIniFile ini(file);
  const std::string polish = "Zażółć gęślą jaźń /home/łódź/Film 1.mvf";
  ini.WriteString("Strona Tytułowa", "Czcionka", polish);
  TMyIniFile again(file);
  EXPECT_EQ(again.ReadString("Strona Tytułowa", "Czcionka", ""), polish);
  EXPECT_EQ(ReadText(file), "[Strona Tytułowa]\nCzcionka=" + polish + "\n");
}

TEST(IniFile, EraseDeleteAndClear) {
  TTempDir dir;
  std::string file = dir.File("e.ini");
  TMyIniFile ini(file);
  ini.WriteInteger("A", "x", 1);
  ini.WriteInteger("A", "y", 2);
  ini.WriteInteger("B", "z", 3);
  ini.DeleteKey("a", "X");
  EXPECT_EQ(ini.ReadSection("A"), (std::vector<std::string>{"y"}));
  ini.EraseSection("a");
  EXPECT_FALSE(ini.SectionExists("A"));
  EXPECT_EQ(ini.ReadInteger("A", "y", -1), -1);
  EXPECT_EQ(ini.ReadInteger("B", "z", 0), 3);
  ini.Clear();
  EXPECT_TRUE(ini.ReadSections().empty());
  EXPECT_EQ(ReadText(file), "");
}

TEST(IniFile, TwoObjectsOnOneFileSeeEachOther) {
  TTempDir dir;
  TMyIniFile first(dir.File("shared.ini"));
  TMyIniFile second(dir.File("shared.ini"));
  first.WriteInteger("A", "x", 1);
  second.WriteInteger("B", "y", 2);
  first.WriteInteger("A", "z", 3);  // must not lose what the second object wrote
  EXPECT_EQ(second.ReadInteger("A", "x", 0), 1);
  EXPECT_EQ(first.ReadInteger("B", "y", 0), 2);
  EXPECT_EQ(second.ReadInteger("A", "z", 0), 3);
}

TEST(IniFile, UnwritableFileThrowsAndLeavesNothingBehind) {
  TTempDir dir;
  TMyIniFile folder(dir.Path());  // a folder, not a file
  EXPECT_THROW(folder.WriteInteger("A", "x", 1), EIniFileError);
  EXPECT_THROW(folder.Clear(), EIniFileError);
  EXPECT_EQ(folder.ReadInteger("A", "x", 7), 7);

  TMyIniFile missingDir(dir.File("no/such/dir/x.ini"));
  EXPECT_THROW(missingDir.WriteString("A", "x", "1"), EIniFileError);
  EXPECT_EQ(missingDir.ReadString("A", "x", "d"), "d");

  // names and values the format cannot hold
  TMyIniFile ini(dir.File("ok.ini"));
  EXPECT_THROW(ini.WriteString("A", "x", "two\nlines"), EIniFileError);
  EXPECT_THROW(ini.WriteString("A", "a=b", "1"), EIniFileError);
  EXPECT_THROW(ini.WriteString("A]", "x", "1"), EIniFileError);
  EXPECT_THROW(ini.WriteString("", "x", "1"), EIniFileError);
  EXPECT_THROW(ini.WriteString("A", " ", "1"), EIniFileError);
  EXPECT_FALSE(std::filesystem::exists(dir.File("ok.ini")));
  // the failed rewrite of the folder left no temporary file in it
  EXPECT_FALSE(std::filesystem::exists(dir.File(".tmp~")));
}
