#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/Dib.h"
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

// Writers of one file in several threads (as two editors at once would be): a whole-file
// write is never mixed with another's, no INI write is lost to another's, and a group
// of INI writes lands whole.
TEST(IniFile, WritersOfOneFileTakeTurns) {
  TTempDir dir;
  constexpr int kRounds = 40;

  // whole files of one letter each: what is there is always one writer's whole file
  const std::string raw = dir.File("raw.bin");
  std::atomic<int> failed{0}, mixed{0};
  std::atomic<bool> writing{true};
  {
    std::vector<std::thread> writers;
    for (char letter : {'a', 'b', 'c'})
      writers.emplace_back([&, letter] {
        const std::string text(200000, letter);
        for (int i = 0; i < kRounds; ++i)
          if (!WriteWholeFile(raw, text.data(), text.size())) ++failed;
      });
    std::thread reader([&] {
      while (writing) {
        const std::string text = ReadText(raw);
        if (!text.empty() && (text.size() != 200000 || text.find_first_not_of(text[0]) != std::string::npos)) ++mixed;
      }
    });
    for (auto& t : writers) t.join();
    writing = false;
    reader.join();
  }
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(mixed, 0);
  EXPECT_FALSE(std::filesystem::exists(raw + ".tmp~"));

  // single writes of four objects: every one's last value is there
  const std::string file = dir.File("Movara.Ini");
  failed = 0;
  {
    std::vector<std::thread> writers;
    for (int k = 0; k < 4; ++k)
      writers.emplace_back([&, k] {
        TMyIniFile ini(file);
        for (int i = 0; i < kRounds; ++i) {
          try {
            ini.WriteInteger("Writer " + std::to_string(k), "Round", i);
          } catch (const EIniFileError&) {
            ++failed;
          }
        }
      });
    for (auto& t : writers) t.join();
  }
  EXPECT_EQ(failed, 0);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(TMyIniFile(file).ReadInteger("Writer " + std::to_string(k), "Round", -1), kRounds - 1);

  // groups: the file holds one group's keys or another's, never some of each; a key
  // another writer set meanwhile stays
  writing = true;
  mixed = 0;
  {
    std::vector<std::thread> writers;
    for (int k = 0; k < 2; ++k)
      writers.emplace_back([&, k] {
        TMyIniFile ini(file);
        for (int i = 0; i < kRounds; ++i) {
          ini.BeginUpdate();
          for (char key = 'a'; key <= 't'; ++key) ini.WriteInteger("Group", std::string(1, key), k * 1000 + i);
          ini.EndUpdate();
        }
      });
    writers.emplace_back([&] {
      TMyIniFile ini(file);
      for (int i = 0; i < kRounds; ++i) ini.WriteInteger("Other", "Round", i);
    });
    std::thread reader([&] {
      while (writing) {
        const std::string text = ReadText(file);
        std::set<std::string> values;
        bool group = false;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
          if (!line.empty() && line[0] == '[') group = line == "[Group]";
          else if (group && line.find('=') != std::string::npos) values.insert(line.substr(line.find('=') + 1));
        }
        if (values.size() > 1) ++mixed;
      }
    });
    for (auto& t : writers) t.join();
    writing = false;
    reader.join();
  }
  EXPECT_EQ(mixed, 0);
  const TMyIniFile ini(file);
  EXPECT_EQ(ini.ReadInteger("Other", "Round", -1), kRounds - 1);
  EXPECT_EQ(ini.ReadInteger("Writer 3", "Round", -1), kRounds - 1);
  const int last = ini.ReadInteger("Group", "a", -1);
  EXPECT_TRUE(last == kRounds - 1 || last == 1000 + kRounds - 1) << last;
  EXPECT_EQ(ini.ReadInteger("Group", "t", -1), last);
}

// A group that is left before its end writes nothing; reads inside it see its writes.
TEST(IniFile, GroupLeftBeforeItsEndWritesNothing) {
  TTempDir dir;
  const std::string file = dir.File("g.ini");
  TMyIniFile(file).WriteInteger("A", "x", 1);
  {
    TMyIniFile ini(file);
    ini.BeginUpdate();
    ini.WriteInteger("A", "x", 2);
    ini.Clear();
    ini.WriteInteger("B", "y", 3);
    EXPECT_EQ(ini.ReadInteger("B", "y", 0), 3);
    EXPECT_FALSE(ini.SectionExists("A"));
    EXPECT_EQ(TMyIniFile(file).ReadInteger("A", "x", 0), 1);  // not written yet
  }
  EXPECT_EQ(TMyIniFile(file).ReadInteger("A", "x", 0), 1);
  EXPECT_FALSE(TMyIniFile(file).SectionExists("B"));
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp~"));
}
