#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/MyIniFile.h"
#include "base/Trace.h"
#include "pages/FontItem.h"
#include "pages/PageRecord.h"
#include "pages/PageTestHelpers.h"
#include "pages/PageText.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Append;
using movara::test::HandHeader;
using movara::test::HandRecord;
using movara::test::THandItem;

namespace {

TFontItem Sample() {
  TFontItem it;
  it.Selected = true;
  it.PosX = -17;
  it.PosY = 400;
  it.Text = "Zażółć\r\ngęślą jaźń";
  it.Bold = true;
  it.Underline = true;
  it.FontName = "Courier New";
  it.FontSize = 72;
  it.FontColor = 0x123456;
  it.TextVisible = false;
  it.Shadowed = true;
  it.Outlined = true;
  it.ShadowX = -3;
  it.ShadowY = 7;
  it.OutlineWidth = 4;
  it.ShadowColor = 0xABCDEF;
  it.OutlineColor = 0xFF0000;
  it.WordWrap = true;
  return it;
}

void ExpectSameItem(const TFontItem& a, const TFontItem& b) {
  EXPECT_EQ(a.Selected, b.Selected);
  EXPECT_EQ(a.PosX, b.PosX);
  EXPECT_EQ(a.PosY, b.PosY);
  EXPECT_EQ(a.Text, b.Text);
  EXPECT_EQ(a.Bold, b.Bold);
  EXPECT_EQ(a.Italic, b.Italic);
  EXPECT_EQ(a.Underline, b.Underline);
  EXPECT_EQ(a.FontName, b.FontName);
  EXPECT_EQ(a.FontSize, b.FontSize);
  EXPECT_EQ(a.FontColor, b.FontColor);
  EXPECT_EQ(a.TextVisible, b.TextVisible);
  EXPECT_EQ(a.Shadowed, b.Shadowed);
  EXPECT_EQ(a.Outlined, b.Outlined);
  EXPECT_EQ(a.ShadowX, b.ShadowX);
  EXPECT_EQ(a.ShadowY, b.ShadowY);
  EXPECT_EQ(a.OutlineWidth, b.OutlineWidth);
  EXPECT_EQ(a.ShadowColor, b.ShadowColor);
  EXPECT_EQ(a.OutlineColor, b.OutlineColor);
  EXPECT_EQ(a.WordWrap, b.WordWrap);
}

}  // namespace

TEST(FontItem, DefaultsOfANewItem) {
  const TFontItem it;
  EXPECT_FALSE(it.Selected);
  EXPECT_EQ(it.PosX, 0);
  EXPECT_EQ(it.PosY, 0);
  EXPECT_EQ(it.Text, "");
  EXPECT_FALSE(it.Bold || it.Italic || it.Underline);
  EXPECT_EQ(it.FontName, "Time New Roman");
  EXPECT_EQ(it.FontSize, 20);
  EXPECT_EQ(it.FontColor, RGBColor(255, 255, 0));  // yellow
  EXPECT_TRUE(it.TextVisible);
  EXPECT_FALSE(it.Shadowed || it.Outlined || it.WordWrap);
  EXPECT_EQ(it.ShadowX, 1);
  EXPECT_EQ(it.ShadowY, 1);
  EXPECT_EQ(it.OutlineWidth, 1);
  EXPECT_EQ(it.ShadowColor, 0x008080u);
  EXPECT_EQ(it.OutlineColor, 0x000080u);
  EXPECT_EQ(PageSizeRect(psVideo), Rect(0, 0, 720, 576));
  EXPECT_EQ(PageSizeRect(psFullVideo), Rect(0, 0, 768, 576));
  EXPECT_EQ(PageSizeRect(psSquare512), Rect(0, 0, 512, 512));
}

TEST(PageRecord, WriterLaysOutTheTableByteForByte) {
  TFontItem it = Sample();
  it.Text = "A";
  it.FontName = "Arial";
  std::vector<uint8_t> mine;
  AppendItemRecord(mine, it);
  EXPECT_EQ(mine.size(), 88u);  // 80 + 2 + 6
  EXPECT_EQ(ItemRecordSize(it), 88u);

  THandItem h;
  h.selected = 1, h.x = -17, h.y = 400, h.bold = 1, h.underline = 1, h.size = 72;
  h.color = 0x123456, h.visible = 0, h.shadowed = 1, h.outlined = 1, h.sx = -3, h.sy = 7;
  h.outline = 4, h.shadowColor = 0xABCDEF, h.outlineColor = 0xFF0000, h.wordWrap = 1;
  h.text = "A";
  h.font = "Arial";
  EXPECT_EQ(mine, HandRecord(h));

  const std::vector<uint8_t> page = WritePageBytes(psSquare512, 0x00C0FFEE, {&it, &it});
  std::vector<uint8_t> hand = HandHeader(2, 0x00C0FFEE, 2);
  Append(hand, HandRecord(h));
  Append(hand, HandRecord(h));
  EXPECT_EQ(page, hand);
}

TEST(PageRecord, HandWrittenFileReadsAsTheTableSays) {
  THandItem a;
  a.x = 100, a.y = -5, a.italic = 1, a.size = -30, a.color = 0xFF00FF, a.shadowed = 1;
  a.sx = 5, a.sy = -2, a.text = "Linia 1\r\nLinia 2", a.font = "Times New Roman";
  THandItem b;
  b.selected = 7, b.bold = 2, b.visible = 0, b.outlined = 1, b.outline = -3;
  b.text = "", b.font = "";
  std::vector<uint8_t> file = HandHeader(1, 0x00112233, 2);
  Append(file, HandRecord(a));
  Append(file, HandRecord(b));
  const TPageReadResult r = ReadPageBytes(file.data(), file.size());
  ASSERT_TRUE(r.Complete());
  EXPECT_EQ(r.PageSize, psFullVideo);
  EXPECT_EQ(r.PageColor, 0x00112233u);
  EXPECT_EQ(r.Announced, 2u);
  ASSERT_EQ(r.Items.size(), 2u);
  const TFontItem& x = r.Items[0];
  EXPECT_EQ(x.PosX, 100);
  EXPECT_EQ(x.PosY, -5);
  EXPECT_TRUE(x.Italic);
  EXPECT_FALSE(x.Bold);
  EXPECT_EQ(x.FontSize, -30);
  EXPECT_EQ(x.FontColor, 0xFF00FFu);
  EXPECT_TRUE(x.Shadowed);
  EXPECT_EQ(x.ShadowX, 5);
  EXPECT_EQ(x.ShadowY, -2);
  EXPECT_EQ(x.Text, "Linia 1\r\nLinia 2");
  EXPECT_EQ(x.FontName, "Times New Roman");
  const TFontItem& y = r.Items[1];
  EXPECT_TRUE(y.Selected);  // any non-zero value
  EXPECT_TRUE(y.Bold);
  EXPECT_FALSE(y.TextVisible);
  EXPECT_TRUE(y.Outlined);
  EXPECT_EQ(y.OutlineWidth, -3);
  EXPECT_EQ(y.Text, "");
  EXPECT_EQ(y.FontName, "");
}

TEST(PageRecord, EmptyPageIsThirtyTwoBytes) {
  const std::vector<uint8_t> page = WritePageBytes(psVideo, 0, {});
  EXPECT_EQ(page, HandHeader(0, 0, 0));
  const TPageReadResult r = ReadPageBytes(page.data(), page.size());
  EXPECT_TRUE(r.Complete());
  EXPECT_TRUE(r.Items.empty());
}

TEST(PageRecord, RoundTripFieldByField) {
  TFontItem a = Sample();
  TFontItem b;  // defaults
  TFontItem c = Sample();
  c.Text = std::string("tab\there");
  c.PosX = INT32_MIN;
  c.PosY = INT32_MAX;
  c.FontColor = 0x80000005;  // a system colour survives as stored
  const std::vector<uint8_t> page = WritePageBytes(psFullVideo, 0xFFFFFF, {&a, &b, &c});
  const TPageReadResult r = ReadPageBytes(page.data(), page.size());
  ASSERT_TRUE(r.Complete());
  ASSERT_EQ(r.Items.size(), 3u);
  ExpectSameItem(r.Items[0], a);
  ExpectSameItem(r.Items[1], b);
  ExpectSameItem(r.Items[2], c);
}

TEST(PageRecord, LongTextsAreCutToTheRecordAtACharacterBoundary) {
  TFontItem it;
  it.Text = std::string(4094, 'x') + "ż";  // 4096 bytes: the 2-byte letter does not fit
  it.FontName = std::string(5000, 'f');
  std::vector<uint8_t> rec;
  AppendItemRecord(rec, it);
  EXPECT_EQ(rec.size(), 80u + 4095u + 4096u);
  TFontItem back;
  DecodeItemRecord(rec.data(), rec.size(), back);
  EXPECT_EQ(back.Text, std::string(4094, 'x'));
  EXPECT_EQ(back.FontName, std::string(4095, 'f'));
  // A zero inside the text ends it, as it would in the file.
  it.Text = std::string("ab\0cd", 5);
  it.FontName = "Arial";
  rec.clear();
  AppendItemRecord(rec, it);
  DecodeItemRecord(rec.data(), rec.size(), back);
  EXPECT_EQ(back.Text, "ab");
  EXPECT_EQ(back.FontName, "Arial");
}

TEST(PageRecord, LongestRecordsKeepTheirNeighbours) {
  // Text and font name at their 4095-byte limits make an 8272-byte record, one byte
  // more than the reader takes; the record after it must still be found.
  TFontItem big;
  big.Text = std::string(4095, 't');
  big.FontName = std::string(4095, 'n');
  TFontItem small;
  small.Text = "next";
  small.FontName = "Arial";
  const std::vector<uint8_t> page = WritePageBytes(psVideo, 0, {&big, &small});
  const TPageReadResult r = ReadPageBytes(page.data(), page.size());
  ASSERT_EQ(r.Items.size(), 2u);
  EXPECT_TRUE(r.Complete());
  EXPECT_EQ(r.Items[0].Text, big.Text);
  EXPECT_EQ(r.Items[0].FontName, big.FontName);  // only its terminator is beyond 8271
  EXPECT_EQ(r.Items[1].Text, "next");
  EXPECT_EQ(r.Items[1].FontName, "Arial");
}

TEST(PageRecord, OlderFilesInTheWindowsCodePageReadAsUtf8) {
  THandItem h;
  h.text = "\xA5\xCA\xA3\xD1\xD3\x8C\x8F\xAF \xB9\xEA\xB3\xF1\xF3\x9C\x9F\xBF";  // Polish letters
  h.font = "Arial";
  std::vector<uint8_t> file = HandHeader(0, 0, 1);
  Append(file, HandRecord(h));
  const TPageReadResult r = ReadPageBytes(file.data(), file.size());
  ASSERT_EQ(r.Items.size(), 1u);
  EXPECT_EQ(r.Items[0].Text, "ĄĘŁŃÓŚŹŻ ąęłńóśźż");
  if (test::HaveProgram("iconv")) {
    // Every byte of the code page against the system's converter.
    std::string all;
    for (int b = 0xA0; b <= 0xFF; ++b) all += static_cast<char>(b);
    test::TTempDir tmp;
    test::WriteBytes(tmp.File("in"), std::vector<uint8_t>(all.begin(), all.end()));
    auto res = test::RunCommand("iconv -f CP1250 -t UTF-8 " + test::Quote(tmp.File("in")));
    ASSERT_EQ(res.exitCode, 0);
    EXPECT_EQ(TextFromFileBytes(all.data(), all.size()), res.output);
  }
}

TEST(PageClipboardRecord, FixedRecordsAfterTheirCount) {
  TFontItem a = Sample();
  TFontItem b;
  b.Text = "drugi";
  const std::vector<uint8_t> data = EncodeClipboardItems({&a, &b});
  ASSERT_EQ(data.size(), 4u + 2 * 8272u);
  EXPECT_EQ(data[0], 2);
  EXPECT_EQ(data[1] | data[2] | data[3], 0);
  // The head as in the file, the text at 80, the font name at 4176, zeros elsewhere.
  std::vector<uint8_t> fileRec;
  AppendItemRecord(fileRec, a);
  EXPECT_TRUE(std::equal(fileRec.begin() + 4, fileRec.begin() + 80, data.begin() + 4 + 4));
  const uint8_t* r2 = data.data() + 4 + 8272;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r2 + 80)), "drugi");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r2 + 4176)), "Time New Roman");
  EXPECT_EQ(r2[80 + 5], 0);
  EXPECT_EQ(r2[8271], 0);

  std::vector<TFontItem> back;
  ASSERT_TRUE(DecodeClipboardItems(data.data(), data.size(), back));
  ASSERT_EQ(back.size(), 2u);
  ExpectSameItem(back[0], a);
  ExpectSameItem(back[1], b);
}

TEST(PageClipboardRecord, ShortOrLyingDataPastesNothing) {
  TFontItem a;
  std::vector<uint8_t> data = EncodeClipboardItems({&a, &a});
  std::vector<TFontItem> back;
  std::vector<std::string> traced;
  auto old = SetTraceSink([&](const std::string& l) { traced.push_back(l); });
  EXPECT_FALSE(DecodeClipboardItems(data.data(), data.size() - 1, back));
  EXPECT_TRUE(back.empty());
  ASSERT_EQ(traced.size(), 1u);
  EXPECT_EQ(traced[0],
            "[TPageEditBox.PasteFontItemsFromClipboard] Uncorrect size of buffer data: "
            "MemStream.Size < nSize * nCnt + SizeOf(nCnt) (16547 < 16548)");
  test::PutLE32(data, 0, 0x80000000u);  // a negative count
  EXPECT_FALSE(DecodeClipboardItems(data.data(), data.size(), back));
  test::PutLE32(data, 0, 0x7FFFFFFFu);
  EXPECT_FALSE(DecodeClipboardItems(data.data(), data.size(), back));
  EXPECT_FALSE(DecodeClipboardItems(data.data(), 3, back));
  SetTraceSink(old);
  // A count of zero is a valid, empty paste; bytes beyond the records are ignored.
  const std::vector<uint8_t> none = {0, 0, 0, 0, 9, 9};
  EXPECT_TRUE(DecodeClipboardItems(none.data(), none.size(), back));
  EXPECT_TRUE(back.empty());
}

TEST(PageText, HotkeysAndSettingsValues) {
  EXPECT_EQ(StripHotkey("&Plik"), "Plik");
  EXPECT_EQ(StripHotkey("/x/Tom && Jerry.pte"), "/x/Tom & Jerry.pte");
  EXPECT_EQ(StripHotkey(EscapeHotkey("/a&b/&&c&.pte")), "/a&b/&&c&.pte");
  EXPECT_EQ(EncodeSettingsText("a\r\nb\\n"), "a\\nb\\\\n");
  EXPECT_EQ(DecodeSettingsText("a\\nb\\\\n"), "a\r\nb\\n");
  EXPECT_EQ(DecodeSettingsText("C:\\Obrazki\\"), "C:\\Obrazki\\");  // other backslashes stay
  EXPECT_EQ(LimitTextBytes("abc", 2), "ab");
  EXPECT_EQ(LimitTextBytes("a€", 3), "a");  // the 3-byte sign does not fit
  EXPECT_TRUE(IsValidUtf8("zażółć"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));  // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_EQ(DecodeUtf8("a\xFF" "b"), std::u32string(U"a\uFFFDb"));
}

TEST(FontItemSettings, KeysRoundTripAndMissingKeysKeepValues) {
  test::TTempDir tmp;
  TMyIniFile ini(tmp.File("movara.ini"));
  TFontItem it = Sample();
  it.Text = "Dwie\r\nlinie \\ ukośnik";
  WriteFontItemSettings(ini, kPageEditSection, it);
  const std::vector<std::string> keys = ini.ReadSection(kPageEditSection);
  const std::vector<std::string> expected = {
      "Font Item Selected", "FontItemFPosX", "FontItemFPosY", "FontItem Text",
      "FontItem Bold", "FontItem Italic", "FontItem Underline", "FontItemFont Name",
      "FontItemFont Size", "FontItemFont Color", "FontItemText Visible", "FontItem Shadowed",
      "FontItem Outlined", "FontItem ShadowX", "FontItem ShadowY", "FontItem OutlineWidth",
      "FontItem ShadowColor", "FontItem OutlineColor", "FontItem WordWrap"};
  EXPECT_EQ(keys, expected);
  TFontItem back;
  ReadFontItemSettings(ini, kPageEditSection, back);
  ExpectSameItem(back, it);

  TMyIniFile empty(tmp.File("empty.ini"));
  TFontItem defaults;
  defaults.Text = "Edytor Strony";
  defaults.FontSize = 40;
  TFontItem read = defaults;
  ReadFontItemSettings(empty, kPageEditSection, read);
  ExpectSameItem(read, defaults);
}
