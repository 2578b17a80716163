#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/UserMessages.h"
#include "pages/PageEditBox.h"
#include "pages/PageRecord.h"
#include "pages/PageTestHelpers.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Append;
using movara::test::HandHeader;
using movara::test::HandRecord;
using movara::test::PutLE32;
using movara::test::THandItem;

namespace {

const std::string kCrLf = "\r\n";

std::string NotRecognised(const std::string& folder, const std::string& name) {
  return "Plik " + folder + name + " nie został rozpoznany przez Edytora Tekstu";
}
std::string ReadError(const std::string& file) {
  return "[852]. Wystąpił bląd podczas próby odczytu pliku \"" + file + "\"";
}
std::string ShortRead(int read, long long announced, const std::string& skipped) {
  return "[851] Uwaga! Odczytanych zostało tylko " + std::to_string(read) + " elem.w z wszystkich " +
         std::to_string(announced) + ". " + kCrLf + " Pominięto:" + kCrLf + skipped;
}

THandItem Item(const std::string& text, int x = 10, int y = 20) {
  THandItem h;
  h.text = text;
  h.x = x;
  h.y = y;
  return h;
}

class PageFile : public ::testing::Test {
 protected:
  void SetUp() override { SetDataFolderForTests(tmp_.File("data")); }
  void TearDown() override { SetDataFolderForTests(""); }
  // Opens bytes written to a file of the given name; returns the messages shown.
  std::vector<std::string> Open(const std::vector<uint8_t>& bytes, const std::string& name = "p.pte") {
    test::WriteBytes(tmp_.File(name), bytes);
    TScopedMessageRecorder rec;
    box_.OpenFileNamed(tmp_.File(name));
    return rec.Texts();
  }
  test::TTempDir tmp_;
  TPageEditBox box_;
};

}  // namespace

TEST_F(PageFile, SaveAndOpenAgainFieldByField) {
  box_.SetPageSize(psSquare512);
  box_.SetPageColor(RGBColor(1, 2, 3));
  TFontItem* a = box_.AddFontItem(false, true);
  a->Text = "Pierwszy\r\nwiersz";
  a->Bold = a->Shadowed = a->WordWrap = true;
  a->ShadowX = -4;
  a->FontColor = 0xFEDCBA;
  TFontItem* b = box_.AddFontItem(false, false);
  b->FontName = "Courier New";
  b->Outlined = true;
  b->OutlineWidth = 5;
  b->PosX = -100;
  std::string saved;
  box_.OnSavedDocument = [&](TPageEditBox&, const std::string& f) { saved = f; };
  box_.SetFileName(tmp_.File("strona.pte"));
  ASSERT_TRUE(box_.SaveFile());
  EXPECT_FALSE(box_.Modified());
  EXPECT_TRUE(box_.Saved());
  EXPECT_EQ(saved, tmp_.File("strona.pte"));

  TPageEditBox again;
  TScopedMessageRecorder rec;
  ASSERT_TRUE(again.OpenFileNamed(tmp_.File("strona.pte")));
  EXPECT_TRUE(rec.Texts().empty());
  EXPECT_EQ(again.LastOpenResult(), porOk);
  EXPECT_FALSE(again.Modified());
  EXPECT_EQ(again.FileName(), tmp_.File("strona.pte"));
  EXPECT_EQ(again.PageSize(), psSquare512);
  EXPECT_EQ(again.PageColor(), RGBColor(1, 2, 3));
  ASSERT_EQ(again.ItemCount(), 2);
  TFontItem expectA = *a;
  expectA.Selected = false;  // selection is not taken from the file
  EXPECT_TRUE(again.Items(0)->SameContent(expectA));
  EXPECT_TRUE(again.Items(1)->SameContent(*b));
  EXPECT_EQ(again.Items(0)->Owner, &again);
  // The file keeps the selection flag all the same.
  const auto bytes = test::ReadBytes(tmp_.File("strona.pte"));
  EXPECT_EQ(bytes[32 + 4], 1);
}

TEST_F(PageFile, EmptyPageAndTheSmallestRecord) {
  box_.SetPageColor(0x00ABCDEF);
  box_.SetFileName(tmp_.File("pusta.pte"));
  ASSERT_TRUE(box_.SaveFile());
  EXPECT_EQ(test::ReadBytes(tmp_.File("pusta.pte")), HandHeader(0, 0x00ABCDEF, 0));
  TPageEditBox again;
  ASSERT_TRUE(again.OpenFileNamed(tmp_.File("pusta.pte")));
  EXPECT_EQ(again.ItemCount(), 0);
  EXPECT_EQ(again.PageColor(), 0x00ABCDEFu);

  TFontItem* it = box_.AddFontItem(false, false);
  it->Text = "A";
  it->FontName = "Arial";
  ASSERT_TRUE(box_.SaveFile());
  const auto bytes = test::ReadBytes(tmp_.File("pusta.pte"));
  ASSERT_EQ(bytes.size(), 32u + 88u);
  EXPECT_EQ(bytes[32], 88);
  EXPECT_EQ(bytes[28], 1);
}

TEST_F(PageFile, HandWrittenFileOpens) {
  std::vector<uint8_t> f = HandHeader(1, 0x00336699, 2);
  THandItem a = Item("Tytuł", 33, 44);
  a.selected = 1;
  a.bold = 1;
  Append(f, HandRecord(a));
  Append(f, HandRecord(Item("Podtytuł", 55, 66)));
  EXPECT_TRUE(Open(f).empty());
  EXPECT_EQ(box_.PageSize(), psFullVideo);
  EXPECT_EQ(box_.PageColor(), 0x00336699u);
  ASSERT_EQ(box_.ItemCount(), 2);
  EXPECT_EQ(box_.Items(0)->Text, "Tytuł");
  EXPECT_TRUE(box_.Items(0)->Bold);
  EXPECT_FALSE(box_.Items(0)->Selected);
  EXPECT_EQ(box_.Items(1)->PosX, 55);
}

TEST_F(PageFile, ForeignAndMissingFiles) {
  std::vector<std::string> msgs = Open({'P', 'T', 'E', '1', '.', '1', 0, 0}, "obcy.pte");
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0], NotRecognised(tmp_.Path(), "obcy.pte"));
  EXPECT_EQ(box_.LastOpenResult(), porNotRecognised);
  EXPECT_EQ(box_.ItemCount(), 0);
  EXPECT_TRUE(box_.Modified());
  // The page does not keep the foreign file's name: saving cannot overwrite it.
  EXPECT_FALSE(box_.HasFileName());

  box_.SetModified(false);
  TScopedMessageRecorder rec;
  EXPECT_FALSE(box_.OpenFile("&Ostatni/brak&&.pte"));
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{"Plik 'Ostatni/brak&.pte' nie istnieje !"});
  EXPECT_EQ(box_.LastOpenResult(), porMissing);
}

TEST_F(PageFile, ShortFileKeepsWhatWasRead) {
  std::vector<uint8_t> f = HandHeader(2, 0x00FF0000, 5);
  Append(f, HandRecord(Item("jeden")));
  Append(f, HandRecord(Item("dwa")));
  std::vector<uint8_t> third = HandRecord(Item("trzy"));
  third.resize(40);  // cut inside the third record
  Append(f, third);
  const std::vector<std::string> msgs = Open(f);
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0], ShortRead(2, 5, "3 - 5"));
  EXPECT_EQ(box_.LastOpenResult(), porDamaged);
  ASSERT_EQ(box_.ItemCount(), 2);
  EXPECT_EQ(box_.Items(1)->Text, "dwa");
  EXPECT_EQ(box_.PageSize(), psSquare512);
  EXPECT_EQ(box_.PageColor(), 0x00FF0000u);
  EXPECT_TRUE(box_.Modified());
  EXPECT_TRUE(box_.HasFileName());  // a damaged page may be saved over its file
}

// Garbled, truncated and hostile files: each loads what it can, says so in the file's
// own messages, and never reads outside the file.
TEST_F(PageFile, CorpusOfBadFiles) {
  struct TCase {
    const char* what;
    std::vector<uint8_t> bytes;
    int items;
    std::vector<std::string> messages;  // "@" stands for the file name
    std::string text = "a";             // of the first item, when one is read
  };
  std::vector<TCase> cases;

  auto header = [](uint32_t count, uint8_t size = 0) { return HandHeader(size, 0, count); };
  {
    std::vector<uint8_t> f = header(0x80000000u);  // 2^31 items announced
    Append(f, HandRecord(Item("a")));
    cases.push_back({"count 2^31", f, 1, {ShortRead(1, 2147483648LL, "2 - 2147483648")}});
  }
  {
    std::vector<uint8_t> f = header(0xFFFFFFFFu);
    cases.push_back(
        {"count 2^32-1, no records", f, 0, {ShortRead(0, 4294967295LL, "1 - 4294967295")}});
  }
  {
    std::vector<uint8_t> f = header(2);
    Append(f, HandRecord(Item("a"), 0));
    Append(f, HandRecord(Item("b")));
    cases.push_back({"record length 0", f, 0, {ShortRead(0, 2, "1 - 2")}});
  }
  {
    std::vector<uint8_t> f = header(2);
    Append(f, HandRecord(Item("a")));
    Append(f, HandRecord(Item("b"), 0xFFFFFFF0u));
    cases.push_back({"negative record length", f, 1, {ShortRead(1, 2, "2")}});
  }
  {
    std::vector<uint8_t> f = header(1);
    Append(f, HandRecord(Item("a"), 81));
    cases.push_back({"record shorter than its head and terminators", f, 0, {ShortRead(0, 1, "1")}});
  }
  {
    std::vector<uint8_t> f = header(1);
    Append(f, HandRecord(Item("a"), 0x7FFFFFFF));
    cases.push_back({"record length past the end", f, 0, {ShortRead(0, 1, "1")}});
  }
  {
    // The text runs to the end of the record with no zero; the font name is empty.
    std::vector<uint8_t> f = header(1);
    std::vector<uint8_t> r = HandRecord(Item("abcde"));
    r.resize(85);
    PutLE32(r, 0, 85);
    Append(f, r);
    cases.push_back({"names without a terminating zero", f, 1, {}});
    cases.back().text = "abcde";
  }
  {
    std::vector<uint8_t> f = header(1, 3);  // page size byte past psSquare512
    Append(f, HandRecord(Item("a")));
    cases.push_back({"page size 3", f, 1, {ReadError("@")}});
  }
  {
    std::vector<uint8_t> f = header(3, 200);
    Append(f, HandRecord(Item("a")));
    cases.push_back({"page size 200 and a short read", f, 1,
                     {ShortRead(1, 3, "2 - 3"), ReadError("@")}});
  }
  {
    std::vector<uint8_t> f = header(1);
    f.resize(20);
    cases.push_back({"header cut short", f, 0, {ReadError("@")}});
  }
  cases.push_back({"magic only", {'P', 'T', 'E', '1', '.', '0'}, 0, {ReadError("@")}});
  cases.push_back({"empty file", {}, 0, {"!"}});
  {
    std::vector<uint8_t> f = header(4);
    for (int i = 0; i < 300; ++i) f.push_back(static_cast<uint8_t>(i * 37 + 11));
    cases.push_back({"garbage records", f, -1, {"*"}});
  }

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TPageEditBox box;
    const std::string file = tmp_.File("bad.pte");
    test::WriteBytes(file, c.bytes);
    TScopedMessageRecorder rec;
    const bool ok = box.OpenFileNamed(file);
    EXPECT_EQ(ok, c.messages.empty());
    if (c.items >= 0) {
      EXPECT_EQ(box.ItemCount(), c.items);
    }
    if (c.items > 0 && box.ItemCount() > 0) {
      EXPECT_EQ(box.Items(0)->Text, c.text);
      EXPECT_EQ(box.Items(0)->FontName, c.text == "a" ? "Arial" : "");
    }
    const std::vector<std::string> got = rec.Texts();
    if (c.messages == std::vector<std::string>{"!"}) {
      EXPECT_EQ(got, std::vector<std::string>{NotRecognised(tmp_.Path(), "bad.pte")});
    } else if (c.messages == std::vector<std::string>{"*"}) {
      EXPECT_FALSE(got.empty());
    } else {
      ASSERT_EQ(got.size(), c.messages.size());
      for (size_t i = 0; i < got.size(); ++i) {
        std::string want = c.messages[i];
        if (want == "@" || want.find("\"@\"") != std::string::npos) want = ReadError(file);
        EXPECT_EQ(got[i], want);
      }
    }
    // Whatever was read renders.
    TDIB d;
    box.DeselectAll();
    EXPECT_TRUE(box.RenderToBitmap(d));
  }
}

TEST_F(PageFile, AskToSaveBeforeOpening) {
  std::vector<uint8_t> f = HandHeader(0, 0, 1);
  Append(f, HandRecord(Item("z pliku")));
  test::WriteBytes(tmp_.File("inny.pte"), f);
  box_.AddFontItem(false, false)->Text = "niezapisany";
  box_.SetModified(true);
  {
    TScopedMessageRecorder rec;
    rec.Recorder().QueueAnswer(TMsgAnswer::Cancel);
    EXPECT_FALSE(box_.OpenFileNamed(tmp_.File("inny.pte")));
    EXPECT_EQ(rec.Texts(), std::vector<std::string>{kAskSavePageText});
    EXPECT_EQ(box_.Items(0)->Text, "niezapisany");
    EXPECT_EQ(box_.LastOpenResult(), porCancelled);
  }
  {
    // Yes without a name and without a dialog: not saved, so not opened.
    TScopedMessageRecorder rec;
    rec.Recorder().QueueAnswer(TMsgAnswer::Yes);
    EXPECT_FALSE(box_.OpenFileNamed(tmp_.File("inny.pte")));
    EXPECT_EQ(box_.Items(0)->Text, "niezapisany");
  }
  {
    // Yes with a dialog: saved under the chosen name, then opened.
    TScopedMessageRecorder rec;
    rec.Recorder().QueueAnswer(TMsgAnswer::Yes);
    TPageFileDialog asked;
    box_.OnFileDialog = [&](const TPageFileDialog& d) {
      asked = d;
      return tmp_.File("zapisany.pte");
    };
    box_.SetInitialDir("/start/");
    EXPECT_TRUE(box_.OpenFileNamed(tmp_.File("inny.pte")));
    EXPECT_TRUE(asked.Save);
    EXPECT_EQ(asked.Title, "Zapis pliku projektu Edytora Tekstu");
    EXPECT_EQ(asked.Filter, "Pliki projektu Edytora Tekstu(*.PTE)|*.PTE");
    EXPECT_EQ(asked.DefaultExt, "PTE");
    EXPECT_EQ(asked.InitialDir, "/start/");
    EXPECT_EQ(box_.InitialDir(), tmp_.Path());
    EXPECT_EQ(box_.Items(0)->Text, "z pliku");
    TPageEditBox check;
    ASSERT_TRUE(check.OpenFileNamed(tmp_.File("zapisany.pte")));
    EXPECT_EQ(check.Items(0)->Text, "niezapisany");
  }
  {
    // No: the changes go.
    box_.SetModified(true);
    TScopedMessageRecorder rec;
    rec.Recorder().QueueAnswer(TMsgAnswer::No);
    EXPECT_TRUE(box_.OpenFileNamed(tmp_.File("zapisany.pte")));
  }
}

TEST_F(PageFile, OpenDialogAndSaveFailures) {
  std::vector<uint8_t> f = HandHeader(0, 0, 0);
  std::filesystem::create_directories(tmp_.File("sub"));
  test::WriteBytes(tmp_.File("sub/d.pte"), f);
  TPageFileDialog asked;
  box_.OnFileDialog = [&](const TPageFileDialog& d) {
    asked = d;
    return d.Save ? tmp_.File("nie/ma/katalogu.pte") : tmp_.File("sub/d.pte");
  };
  ASSERT_TRUE(box_.OpenFile());
  EXPECT_FALSE(asked.Save);
  EXPECT_EQ(asked.Title, "Odczyt pliku projektu Edytora Tekstu");
  EXPECT_EQ(box_.InitialDir(), tmp_.File("sub/"));
  EXPECT_EQ(box_.FileName(), tmp_.File("sub/d.pte"));

  TScopedMessageRecorder rec;
  box_.AddFontItem(false, false);
  box_.SetModified(true);
  EXPECT_FALSE(box_.SaveFileAs());
  EXPECT_EQ(rec.Texts(), std::vector<std::string>{"[852]. Wystąpił bląd podczas próby zapisu pliku " +
                                                  tmp_.File("nie/ma/katalogu.pte")});
  EXPECT_TRUE(box_.Modified());

  box_.OnFileDialog = nullptr;  // cancelled
  box_.SetFileName(".");
  EXPECT_FALSE(box_.SaveFile());
  EXPECT_FALSE(box_.OpenFile());
  EXPECT_EQ(box_.LastOpenResult(), porCancelled);
}

TEST_F(PageFile, LoadersRenderThePage) {
  std::vector<uint8_t> f = HandHeader(2, RGBColor(0, 0, 255), 1);
  THandItem h = Item("Napis", 100, 100);
  h.selected = 1;
  h.size = 40;
  Append(f, HandRecord(h));
  test::WriteBytes(tmp_.File("a & b.pte"), f);
  TDIB d;
  ASSERT_TRUE(LoadPageToDIB(tmp_.File("a & b.pte"), d));
  EXPECT_EQ(d.Width(), 512);
  EXPECT_EQ(d.Height(), 512);
  EXPECT_EQ(d.BitCount(), 24);
  EXPECT_EQ(d.Pixel(5, 5), RGBColor(0, 0, 255));
  int yellow = 0;
  for (int y = 100; y < 160; ++y)
    for (int x = 90; x < 260; ++x) yellow += d.Pixel(x, y) == RGBColor(255, 255, 0);
  EXPECT_GT(yellow, 100);

  // Missing where named: the bare name in the program's folder.
  std::filesystem::create_directories(tmp_.File("data"));
  test::WriteBytes(tmp_.File("data/zapas.pte"), f);
  TDIB e;
  ASSERT_TRUE(LoadPageToBitmap(tmp_.File("gdzie/indziej/zapas.pte"), e));
  EXPECT_EQ(e, d);

  TScopedMessageRecorder rec;
  TDIB untouched(2, 2, 24);
  EXPECT_FALSE(LoadPageToDIB(tmp_.File("nie-ma.pte"), untouched));
  test::WriteBytes(tmp_.File("obcy.pte"), {'G', 'I', 'F', '8', '9', 'a'});
  EXPECT_FALSE(LoadPageToDIB(tmp_.File("obcy.pte"), untouched));
  EXPECT_EQ(untouched.Width(), 2);
  // A page read in part still renders, after its message.
  f.resize(f.size() - 3);
  test::WriteBytes(tmp_.File("cut.pte"), f);
  EXPECT_TRUE(LoadPageToDIB(tmp_.File("cut.pte"), untouched));
  EXPECT_EQ(untouched.Width(), 512);  // the header came through, the item did not
  EXPECT_EQ(rec.Texts().size(), 2u);
}
