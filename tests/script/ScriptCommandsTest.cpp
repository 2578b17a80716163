// The film script language: words and numbers, file names, every command kind with its
// defaults and errors, sections with envelopes, the action spans of the video tracks,
// transition progress, clip frames and level interpolation.
#include <gtest/gtest.h>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/Trace.h"
#include "media/Avi.h"
#include "media/ResourceLists.h"
#include "script/ScriptCommands.h"
#include "script/ScriptTestMedia.h"

namespace movara {
namespace {

using test::TTempDir;

template <class E, class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(no exception)";
}

std::string FxWord(int32_t id) { return Format("$%X", static_cast<unsigned>(id)); }

// ---------------------------------------------------------------------------------
// Words, numbers, ScanStr

TEST(ScriptWords, BlanksOnlySeparate) {
  EXPECT_EQ(GetWord("  Fx   $1A  400 ", 0), "Fx");
  EXPECT_EQ(GetWord("  Fx   $1A  400 ", 1), "$1A");
  EXPECT_EQ(GetWord("  Fx   $1A  400 ", 2), "400");
  EXPECT_EQ(GetWord("  Fx   $1A  400 ", 3), "");
  EXPECT_EQ(GetWord("a\tb c", 0), "a\tb");  // a tab is no separator
  EXPECT_EQ(GetWord("", 0), "");
  EXPECT_TRUE(IsCommentLine("*** Video1 ***"));
  EXPECT_FALSE(IsCommentLine(""));
  EXPECT_FALSE(IsCommentLine(" *"));
}

TEST(ScriptWords, Integers) {
  EXPECT_EQ(ScriptStrToInt("400"), 400);
  EXPECT_EQ(ScriptStrToInt("-1"), -1);
  EXPECT_EQ(ScriptStrToInt("$1A"), 26);
  EXPECT_EQ(ScriptStrToInt("$1a"), 26);
  EXPECT_EQ(ScriptStrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(ScriptStrToInt("$20000005"), 0x20000005);
  EXPECT_EQ(ScriptStrToInt("2147483647"), 2147483647);
  EXPECT_EQ(ScriptStrToInt("-2147483648"), INT32_MIN);
  for (const char* bad : {"", "$", "12x", "x", "2147483648", "$100000000", "1 2", "--1"})
    EXPECT_THROW(ScriptStrToInt(bad), EConvertError) << bad;
  EXPECT_EQ(MessageOf<EConvertError>([] { ScriptStrToInt("12x"); }), "'12x' is not a valid integer value");
}

TEST(ScriptWords, ScanStrStopsQuietlyAndChecksTypes) {
  std::string a, b;
  int32_t x = 7, y = 8, z = 9;
  ScanStr("word 12", "%s %d %d %D", {&a, &x, &y, &z});
  EXPECT_EQ(a, "word");
  EXPECT_EQ(x, 12);
  EXPECT_EQ(y, 8);  // the line ran out: untouched
  EXPECT_EQ(z, 9);
  ScanStr("w 1 2 3", "%S %D", {&b, &y, &z});  // the format ran out
  EXPECT_EQ(b, "w");
  EXPECT_EQ(y, 1);
  EXPECT_EQ(z, 9);
  EXPECT_EQ(MessageOf<EScriptException>([&] { ScanStr("a 1.5", "%s %F", {&a, &x}); }),
            "Error in ScanStr. Cannot read type \"%F\"");
  EXPECT_THROW(ScanStr("a b", "%s %d", {&a, &x}), EConvertError);
  // a bad format word after the line has ended is never reached
  EXPECT_NO_THROW(ScanStr("a", "%s %Q", {&a, &x}));
}

TEST(ScriptWords, PercentEncodingRoundTrip) {
  EXPECT_EQ(EncodeScriptFileName("/m/my film 100%?*.avi"), "/m/my%20film%20100%25%3F%2A.avi");
  EXPECT_EQ(EncodeScriptFileName("/plain/name_ok.bmp"), "/plain/name_ok.bmp");
  // control characters would split the line or the word
  EXPECT_EQ(EncodeScriptFileName("a\nb\rc\td\x7f\x01.bmp"), "a%0Ab%0Dc%09d%7F%01.bmp");
  for (const std::string s : {"/a b/c d.bmp", "%20 literal", "??**%%", "", "/zażółć gęślą.wav", "%0A\n%7f\x7f"})
    EXPECT_EQ(DecodeScriptFileName(EncodeScriptFileName(s)), s) << s;
  EXPECT_EQ(DecodeScriptFileName("a%3fb%2ac"), "a?b*c");
  // only those escapes decode; anything else stays as written
  EXPECT_EQ(DecodeScriptFileName("a%41b%2"), "a%41b%2");
  EXPECT_EQ(DecodeScriptFileName("%0a%1F%7f%80"), "\n\x1f\x7f%80");
  EXPECT_EQ(DecodeScriptFileName("%"), "%");
  // encoded names are single words without '?' or '*'
  const std::string e = EncodeScriptFileName("x y?z*");
  EXPECT_EQ(e.find_first_of(" ?*"), std::string::npos);
}

TEST(ScriptWords, SplitLines) {
  EXPECT_EQ(SplitScriptLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitScriptLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitScriptLines("").empty());
}

// ---------------------------------------------------------------------------------
// Commands

class ScriptParse : public ::testing::Test {
 protected:
  void SetUp() override { CreateResourceLists(); }
  TTempDir dir;
};

TEST_F(ScriptParse, UnknownAndEmptyWordsGiveNoCommand) {
  EXPECT_EQ(ParseScriptLine(""), nullptr);
  EXPECT_EQ(ParseScriptLine("   "), nullptr);
  EXPECT_EQ(ParseScriptLine("Bitmap x 100"), nullptr);
  // the integers are read before the word is looked at
  EXPECT_THROW(ParseScriptLine("*** Video1 ***"), EConvertError);
}

TEST_F(ScriptParse, NopWithAndWithoutDuration) {
  auto n = ParseScriptLine("Nop null");
  ASSERT_TRUE(n);
  EXPECT_EQ(n->Code, scNop);
  EXPECT_EQ(n->Duration, 0);
  EXPECT_EQ(n->Level, 0);  // every field of a NOP is zero
  auto m = ParseScriptLine("nop null 400");
  EXPECT_EQ(m->Code, scNop);
  EXPECT_EQ(m->Duration, 400);
  EXPECT_THROW(ParseScriptLine("Nop null 4O0"), EConvertError);
}

TEST_F(ScriptParse, BitmapDefaultsAndAllIntegers) {
  const std::string file = test::MakeScriptBmp(dir, "pic.bmp");
  auto c = ParseScriptLine("bmp " + file + " 2000");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->Code, scBitmap);
  EXPECT_EQ(c->Duration, 2000);
  EXPECT_EQ(c->ColorKey, -1);
  EXPECT_EQ(c->Spare, -1);
  EXPECT_EQ(c->Level, -1);
  EXPECT_EQ(c->KeyMode, 0);
  ASSERT_TRUE(c->Picture && c->SecondPicture);
  EXPECT_EQ(c->Picture, DIBList()->FindItem(file));
  EXPECT_EQ(c->SecondPicture, DIBFYList()->FindItem(file));
  // "DIBList" holds the rows flipped, "DIBFYList" as loaded
  EXPECT_EQ(c->Picture->ScanLine(0)[0], c->SecondPicture->ScanLine(c->SecondPicture->Height() - 1)[0]);
  EXPECT_NE(c->Picture->ScanLine(0)[0], c->SecondPicture->ScanLine(0)[0]);

  auto k = ParseScriptLine("Bmp " + file + " 1500 $0000FF00 $0000FF80 128 1");
  EXPECT_EQ(k->ColorKey, 0xFF00);
  EXPECT_EQ(k->Spare, 0xFF80);
  EXPECT_EQ(k->Level, 128);
  EXPECT_EQ(k->KeyMode, 1);
  EXPECT_EQ(k->Picture, c->Picture);  // loaded once
}

TEST_F(ScriptParse, FileNamesWithBlanksAndPercent) {
  const std::string file = test::MakeScriptBmp(dir, "my pic 50%.bmp");
  const std::string word = EncodeScriptFileName(file);
  auto c = ParseScriptLine("Bmp " + word + " 1000");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->FileName, file);
  EXPECT_TRUE(c->Picture);
}

TEST_F(ScriptParse, MissingFilesName) {
  const std::string missing = dir.File("none.bmp");
  EXPECT_EQ(MessageOf<EScriptException>([&] { ParseScriptLine("Bmp " + missing + " 100"); }),
            "[Lista komend] Nastąpił błąd w trakcie ładowania pliku \"" + missing + "\".");
  // a compound argument is named with its '?' and '*' made blanks
  const std::string avi = dir.File("none.avi");
  EXPECT_EQ(MessageOf<EScriptException>([&] { ParseScriptLine("Avi ?" + avi + "*0*10*0*100 400"); }),
            "[Lista komend] Nastąpił błąd w trakcie ładowania pliku \" " + avi + " 0 10 0 100\".");
  EXPECT_EQ(MessageOf<EScriptException>([&] { ParseScriptLine("Aud " + dir.File("none.wav") + " 400"); }),
            "[Lista komend] Nastąpił błąd w trakcie ładowania pliku \"" + dir.File("none.wav") + "\".");
  // an empty name (a block without a file) is reported too
  EXPECT_THROW(ParseScriptLine("Bmp"), EScriptException);
  EXPECT_THROW(ParseScriptLine("Col"), EScriptException);
}

TEST_F(ScriptParse, ColourParsesAsBitmap) {
  auto c = ParseScriptLine("Col $000000FF 3000 $00FF00FF -1 200 0");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->Code, scBitmap);
  EXPECT_EQ(c->Color, 0xFFu);
  EXPECT_EQ(c->Duration, 3000);
  ASSERT_TRUE(c->Picture);
  EXPECT_EQ(c->Picture, c->SecondPicture);
  EXPECT_EQ(c->Picture->Width(), 256);
  EXPECT_EQ(c->Picture, DIBColorList()->FindItem(0xFF));
  EXPECT_EQ(c->ColorKey, 0xFF00FF);
  EXPECT_EQ(c->Level, 200);
  EXPECT_THROW(ParseScriptLine("Col red 100"), EConvertError);
}

TEST_F(ScriptParse, FxNumbersAndDirection) {
  const int32_t id = test::SomeFxID();
  auto f = ParseScriptLine("fx  " + FxWord(id));  // two blanks, lower case
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Code, scFx3d);
  EXPECT_EQ(f->FxID, id);
  EXPECT_FALSE(f->Reverse);
  EXPECT_EQ(f->Duration, 0);
  auto r = ParseScriptLine("Fx " + FxWord(id | ScriptReverseFlag) + " 1000");
  EXPECT_EQ(r->FxID, id);
  EXPECT_TRUE(r->Reverse);
  EXPECT_EQ(r->Duration, 1000);
  auto d = ParseScriptLine(Format("Fx %d 500", id));  // decimal works too
  EXPECT_EQ(d->FxID, id);

  const std::string unknown = FxWord(test::UnknownFxID());
  EXPECT_EQ(MessageOf<EScriptException>([&] { ParseScriptLine("Fx  " + unknown + " 1000"); }),
            "[Lista komend] Nastąpił błąd w trakcie rozpoznania efektu \"" + unknown + "\".");
  EXPECT_EQ(MessageOf<EScriptException>([] { ParseScriptLine("Fx"); }),
            "[Lista komend] Nastąpił błąd w trakcie rozpoznania efektu \"\".");
}

TEST_F(ScriptParse, AudioCompoundAndEnvelopeSetUp) {
  const std::string wav = test::MakeScriptWav(dir, "s.wav");
  auto a = ParseScriptLine("Aud ?" + wav + "*500*2500*7*50 2000");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Code, scAudio);
  EXPECT_EQ(a->StartPosition, 500);
  EXPECT_EQ(a->EndPosition, 2500);
  EXPECT_EQ(a->Speed, 50);
  EXPECT_EQ(a->Duration, 2000);
  EXPECT_EQ(a->AudioReader, AudioFileList()->FindItem(wav));
  ASSERT_TRUE(a->LevelList);
  const TScriptLevelList& l = *a->LevelList;
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Length(), 2000);
  EXPECT_EQ(l.SampleRate(), 22050);
  EXPECT_EQ(l.Points(0)->Level, 50);
  EXPECT_EQ(l.Points(1)->Level, 50);
  EXPECT_EQ(l.Points(1)->Sample, 44100);
  EXPECT_DOUBLE_EQ(l.GainOfLevel(50), 1.0);
  EXPECT_DOUBLE_EQ(l.GainOfLevel(100), 2.0);
  EXPECT_DOUBLE_EQ(l.GainOfLevel(0), 0.0);

  auto plain = ParseScriptLine("AUD " + wav + " 700");
  EXPECT_EQ(plain->StartPosition, 0);
  EXPECT_EQ(plain->EndPosition, -1);
  EXPECT_EQ(plain->Speed, 100);
  auto negative = ParseScriptLine("Aud ?" + wav + "*0*100*0*-5 100");
  EXPECT_EQ(negative->Speed, 100);
}

TEST_F(ScriptParse, GroupAndLevelLines) {
  auto g = ParseScriptLine("sg 3");
  EXPECT_EQ(g->Code, scSampleGroup);
  EXPECT_EQ(g->Count, 3);
  auto l = ParseScriptLine("SL 1200 80");
  EXPECT_EQ(l->Code, scSampleLevel);
  EXPECT_EQ(l->Time, 1200);
  EXPECT_EQ(l->Level, 80);
}

TEST_F(ScriptParse, AviCompoundPlainAndSpeed) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string file = test::MakeScriptAvi(dir, "clip one.avi", 250);
  const std::string word = EncodeScriptFileName(ShortPathName(file));
  auto c = ParseScriptLine("Avi ?" + word + "*0*249*0*100 10000");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->Code, scAvi);
  EXPECT_EQ(c->Duration, 10000);
  EXPECT_EQ(c->FirstFrame, 0);
  EXPECT_EQ(c->LastFrame, 249);
  EXPECT_EQ(c->Offset, 0);
  EXPECT_EQ(c->Speed, 100);
  EXPECT_EQ(c->ColorKey, -1);
  EXPECT_EQ(c->Level, -1);
  EXPECT_EQ(c->KeyMode, 0);
  EXPECT_EQ(c->Avi, AVIList()->FindItem(file));

  auto p = ParseScriptLine("AVI " + word + " 400 $FF -1 77 1");
  EXPECT_EQ(p->FirstFrame, 0);
  EXPECT_EQ(p->LastFrame, -1);
  EXPECT_EQ(p->Speed, 100);
  EXPECT_EQ(p->ColorKey, 0xFF);
  EXPECT_EQ(p->Level, 77);
  EXPECT_EQ(p->KeyMode, 1);
  auto z = ParseScriptLine("Avi ?" + word + "*3*9*120*0 400");
  EXPECT_EQ(z->Speed, 100);  // 0 means normal speed
  EXPECT_EQ(z->Offset, 120);
  EXPECT_EQ(z->FirstFrame, 3);
}

// ---------------------------------------------------------------------------------
// Sections

TEST_F(ScriptParse, SectionsAndBadLines) {
  const std::vector<std::string> lines = {"*** video1 ***", "Col $00000001 100", "Nop null 50",
                                          "*** Video2 ***", "Nop null 7",        "Col $00000002 10",
                                          "",               "Nop null"};
  TScriptCommandList v1(lkVideo);
  EXPECT_EQ(v1.Generate(lines, 1), 2);  // header case-blind, ends at the next comment line
  EXPECT_EQ(v1.Commands(1)->Duration, 50);
  EXPECT_EQ(v1.Commands(2), nullptr);
  TScriptCommandList missing(lkVideo);
  EXPECT_EQ(missing.Generate(lines, 3), 0);
  TScriptCommandList audio(lkAudio);
  EXPECT_EQ(audio.Generate(lines, 1), 0);  // "*** Audio1 ***" is not there

  TScriptCommandList v2(lkVideo);
  EXPECT_EQ(MessageOf<EMovara>([&] { v2.Generate(lines, 2); }), "Cannot convert script line: ");
  EXPECT_EQ(v2.Count(), 2);  // the commands before the bad line stay

  TScriptCommandList v3(lkVideo);
  EXPECT_EQ(MessageOf<EMovara>([&] { v3.Generate({"*** Video1 ***", "Nop null", "Frame x 1"}, 1); }),
            "Cannot convert script line: Frame x 1");
  TScriptCommandList v4(lkVideo);
  const std::string unknown = FxWord(test::UnknownFxID());
  EXPECT_THROW(v4.Generate({"*** Video1 ***", "Col $0 100", "Fx " + unknown + " 100", "Col $0 100"}, 1),
               EScriptException);
  EXPECT_EQ(v4.Count(), 1);
}

TEST_F(ScriptParse, SoundEnvelopes) {
  const std::string wav = test::MakeScriptWav(dir, "e.wav");
  std::vector<std::string> traces;
  TraceSink old = SetTraceSink([&](const std::string& s) { traces.push_back(s); });
  const std::vector<std::string> lines = {
      "*** Audio1 ***",
      "Aud ?" + wav + "*0*4000*0*100 4000",
      "sg 4",
      "sl 0 20",
      "sl 1000 100",
      "Nop null 5",  // not a level line: dropped
      "sl 4000 70",
      "Nop null 300",
      "Aud " + wav + " 1000",
      "sg 3",
      "sl 500 0",
      "*** Audio2 ***",  // ends the envelope early
      "Nop null",
  };
  TScriptCommandList l(lkAudio);
  EXPECT_EQ(l.Generate(lines, 1), 3);
  SetTraceSink(old);
  const TScriptLevelList* e = l.Commands(0)->LevelList.get();
  ASSERT_TRUE(e);
  ASSERT_EQ(e->Count(), 3);
  EXPECT_EQ(e->Points(0)->Level, 20);
  EXPECT_EQ(e->Points(1)->Time, 1000);
  EXPECT_EQ(e->Points(1)->Level, 100);
  EXPECT_EQ(e->Points(2)->Time, 4000);
  EXPECT_EQ(e->Points(2)->Level, 70);
  EXPECT_EQ(l.Commands(1)->Code, scNop);
  EXPECT_EQ(l.Commands(1)->Duration, 300);
  const TScriptLevelList* f = l.Commands(2)->LevelList.get();
  ASSERT_EQ(f->Count(), 3);
  EXPECT_EQ(f->Points(1)->Level, 0);
  EXPECT_EQ(l.AudioKind(0), aaAudio);
  EXPECT_EQ(l.AudioKind(1), aaNop);
  EXPECT_EQ(std::count(traces.begin(), traces.end(),
                       "[TScriptCommandList.Generate] Expected command \"scSampleLevel\" but not found."),
            1);
}

TEST_F(ScriptParse, GroupRunningPastTheEndIsACommandOfItsOwn) {
  const std::string wav = test::MakeScriptWav(dir, "g.wav");
  TScriptCommandList l(lkAudio);
  EXPECT_EQ(l.Generate({"*** Audio1 ***", "Aud " + wav + " 1000", "sg 5", "sl 100 70"}, 1), 3);
  EXPECT_EQ(l.Commands(1)->Code, scSampleGroup);
  EXPECT_EQ(l.Commands(2)->Code, scSampleLevel);
  EXPECT_EQ(l.Commands(0)->LevelList->Count(), 2);
  EXPECT_EQ(l.AudioKind(1), aaNone);
  // after a command other than AUD the envelope is read and changes nothing
  TScriptCommandList v(lkVideo);
  EXPECT_EQ(v.Generate({"*** Video1 ***", "Nop null 10", "sg 1", "sl 0 10", "Nop null 20"}, 1), 2);
  EXPECT_EQ(v.Commands(1)->Duration, 20);
}

// ---------------------------------------------------------------------------------
// Actions

std::string Video1(const std::vector<std::string>& body, const std::vector<std::string>& video2 = {}) {
  std::string s = "*** Video1 ***\r\n";
  for (const auto& l : body) s += l + "\r\n";
  if (!video2.empty()) {
    s += "*** Video2 ***\r\n";
    for (const auto& l : video2) s += l + "\r\n";
  }
  return s + "*** Audio1 ***\r\nNop null\r\n";
}

TEST_F(ScriptParse, StepKinds) {
  const std::string fx = "Fx " + FxWord(test::SomeFxID()) + " 100";
  TScriptCommandList l(lkVideo);
  l.Generate(SplitScriptLines(Video1({"Nop null 10", "Col $1 100", fx, "Col $2 100", fx, "Col $3 100", "Col $4 100",
                                      fx, "Nop null", "Fx " + FxWord(test::SomeFxID()), "Col $5 1"})),
             1);
  ASSERT_EQ(l.Count(), 11);
  const TStepKind expected[] = {skNop,  skStillFxStill, skNone, skStillFxStill, skNone, skStill,
                                skStill, skNone,         skNop,  skNone,         skStill};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(l.StepKind(i), expected[i]) << i;
  EXPECT_EQ(l.StepKind(-1), skNone);
  EXPECT_EQ(l.StepKind(11), skNone);
}

TEST_F(ScriptParse, StepKindsWithClips) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string avi = test::MakeScriptAvi(dir, "k.avi", 50);
  const std::string fx = "Fx " + FxWord(test::SomeFxID()) + " 100";
  TScriptCommandList l(lkVideo);
  l.Generate(SplitScriptLines(Video1({"Col $1 100", fx, "Avi " + avi + " 100", fx, "Avi " + avi + " 100", fx,
                                      "Col $2 100", "Avi " + avi + " 40"})),
             1);
  const TStepKind expected[] = {skStillFxAvi, skNone, skAviFxAvi, skNone, skAviFxStill, skNone, skStill, skAvi};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(l.StepKind(i), expected[i]) << i;
}

TEST_F(ScriptParse, ActionsOfStillTransitionStill) {
  const int32_t id = test::SomeFxID();
  for (bool reverse : {false, true}) {
    TActionCommandList a;
    const std::string fx = "FX " + FxWord(reverse ? (id | ScriptReverseFlag) : id) + " 1000";
    EXPECT_EQ(a.Generate(Video1({"Col $000000FF 2000", fx, "Col $0000FF00 3000", "Nop null"})), 0);
    ASSERT_EQ(a.ActionCount(), 4);
    const TScriptAction* s0 = a.Actions(0);
    EXPECT_EQ(s0->Kind, skStill);
    EXPECT_EQ(s0->Start, 0);
    EXPECT_EQ(s0->Length, 2000);
    EXPECT_EQ(s0->ActionFlags, afPicture);
    const TScriptAction* t = a.Actions(1);
    EXPECT_EQ(t->Kind, skStillFxStill);
    EXPECT_EQ(t->Start, 2000);
    EXPECT_EQ(t->Length, 1000);
    EXPECT_EQ(t->CommandA, a.CommandList(0).Commands(0));
    EXPECT_EQ(t->CommandB, a.CommandList(0).Commands(1));
    EXPECT_EQ(t->CommandC, a.CommandList(0).Commands(2));
    EXPECT_EQ(a.Actions(2)->Start, 3000);
    EXPECT_EQ(a.Actions(2)->Length, 3000);
    EXPECT_EQ(a.Actions(3)->Kind, skNop);
    EXPECT_EQ(a.Actions(3)->Start, 6000);

    TScriptAction cur, next;
    a.GetActionAt(2500, cur, next);
    EXPECT_EQ(cur.Kind, skStillFxStill);
    EXPECT_EQ(cur.Progress, 500);
    EXPECT_EQ(next.Start, 3000);
    a.GetActionAt(2250, cur, next);
    EXPECT_EQ(cur.Progress, reverse ? 750 : 250);
    a.GetActionAt(2000, cur, next);
    EXPECT_EQ(cur.Progress, reverse ? 1000 : 0);
    a.GetActionAt(1999, cur, next);
    EXPECT_EQ(cur.Kind, skStill);
    EXPECT_EQ(cur.Progress, 0);
    a.GetActionAt(3000, cur, next);
    EXPECT_EQ(cur.Start, 3000);
  }
}

TEST_F(ScriptParse, GetActionAtEdges) {
  TActionCommandList a;
  TScriptAction cur, next;
  cur.Kind = skAviFxAvi;
  a.GetActionAt(0, cur, next);  // no actions: both zero
  EXPECT_EQ(cur.Kind, skNone);
  EXPECT_EQ(cur.CommandA, nullptr);
  EXPECT_EQ(next.Kind, skNone);

  const std::string fx = "Fx " + FxWord(test::SomeFxID());
  a.Generate(Video1({"Col $1 0", fx + " 16", "Col $2 0", "Col $3 100"}));
  // a picture of zero length gives no span of its own before the transition
  ASSERT_EQ(a.ActionCount(), 3);
  EXPECT_EQ(a.Actions(0)->Kind, skStillFxStill);
  EXPECT_EQ(a.Actions(1)->Length, 0);
  a.GetActionAt(1, cur, next);
  EXPECT_EQ(cur.Progress, 62);  // 62.5 rounds to even
  a.GetActionAt(3, cur, next);
  EXPECT_EQ(cur.Progress, 188);  // 187.5 rounds to even
  a.GetActionAt(16, cur, next);  // the zero-length picture is never the match
  EXPECT_EQ(cur.CommandA, a.CommandList(0).Commands(3));
  a.GetActionAt(100000, cur, next);  // past the end: the last action, nothing after it
  EXPECT_EQ(cur.CommandA, a.CommandList(0).Commands(3));
  EXPECT_EQ(next.Kind, skNone);
  EXPECT_EQ(next.CommandA, nullptr);
  a.GetActionAt(-40, cur, next);  // before the start too
  EXPECT_EQ(cur.CommandA, a.CommandList(0).Commands(3));
}

TEST_F(ScriptParse, SecondTrackAndTrackSelection) {
  const std::string fx = "Fx " + FxWord(test::SomeFxID()) + " 500";
  TActionCommandList a;
  a.Generate(Video1({"Col $1 1000"}, {"Nop null 400", "Col $2 1000 $00FF00 -1 255 0", fx, "Col $3 600", "Col $4 200"}));
  EXPECT_EQ(a.ActionCount(), 1);
  a.SelectTrack(1);
  EXPECT_EQ(a.Track(), 1);
  ASSERT_EQ(a.ActionCount(), 3);
  EXPECT_EQ(a.Actions(0)->Kind, skNop);
  EXPECT_EQ(a.Actions(0)->ActionFlags, afLevel);  // a NOP's level is 0, not "none"
  // the picture before a transition gives no action, yet takes its time; the FX
  // command itself takes none
  EXPECT_EQ(a.Actions(1)->Start, 1400);
  EXPECT_EQ(a.Actions(1)->Length, 600);
  EXPECT_EQ(a.Actions(1)->ActionFlags, 0);
  EXPECT_EQ(a.Actions(2)->Start, 2000);
  a.SelectTrack(5);
  EXPECT_EQ(a.Track(), 1);
  a.SelectTrack(0);
  EXPECT_EQ(a.ActionCount(), 1);
  EXPECT_EQ(a.Actions(0)->ActionFlags, afPicture);
  EXPECT_EQ(a.Actions(1), nullptr);

  // a new script replaces the old actions
  a.Generate(Video1({"Col $1 10", "Col $1 20"}));
  EXPECT_EQ(a.ActionCount(), 2);
  EXPECT_EQ(a.Actions(1)->Start, 10);
}

TEST_F(ScriptParse, LevelFlagOnTrackZero) {
  TActionCommandList a;
  a.Generate(Video1({"Col $1 100 $FFFFFFFF -1 128", "Col $1 100"}));
  EXPECT_EQ(a.Actions(0)->ActionFlags, afPicture | afLevel);
  EXPECT_EQ(a.Actions(1)->ActionFlags, afPicture);
}

TEST_F(ScriptParse, AviFrames) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string file = test::MakeScriptAvi(dir, "f.avi", 100);
  auto c = ParseScriptLine("Avi ?" + file + "*10*40*400*100 1000");
  ASSERT_TRUE(c && c->Avi);
  TScriptAction action;
  action.Length = 2000;
  ASSERT_TRUE(GetAVIFrame(c.get(), action, false, fmAlone, 200));
  EXPECT_EQ(c->Avi->Position(), 25);  // 600 ms = 15 frames, from frame 10
  GetAVIFrame(c.get(), action, true, fmComing, 2000);  // 2000 - (2000 - 400)
  EXPECT_EQ(c->Avi->Position(), 20);
  EXPECT_TRUE(c->Avi->FlipDIBY());
  GetAVIFrame(c.get(), action, false, fmComing, 0);  // negative clip time counts as 0
  EXPECT_EQ(c->Avi->Position(), 10);
  GetAVIFrame(c.get(), action, false, fmLeaving, 0);  // 1000 + 400 = 35 frames, capped at 40
  EXPECT_EQ(c->Avi->Position(), 40);
  EXPECT_EQ(GetAVIFrame(nullptr, action, false, fmAlone, 0), nullptr);
  auto nop = ParseScriptLine("Nop null 5");
  EXPECT_EQ(GetAVIFrame(nop.get(), action, false, fmAlone, 0), nullptr);
}

TEST(ScriptLevels, InterpolateLevel) {
  TScriptCommand a, b;
  a.Code = scBitmap;
  a.Duration = 1000;
  a.Level = 200;
  b.Code = scAvi;
  b.Level = 100;
  EXPECT_EQ(InterpolateLevel(nullptr, &b, 0), -1);
  EXPECT_EQ(InterpolateLevel(&a, &b, 0), 200);
  EXPECT_EQ(InterpolateLevel(&a, &b, 250), 175);
  EXPECT_EQ(InterpolateLevel(&a, &b, 1000), 100);
  EXPECT_EQ(InterpolateLevel(&a, &b, 5000), 0);  // clamped
  EXPECT_EQ(InterpolateLevel(&a, nullptr, 500), 200);
  b.Level = -1;
  EXPECT_EQ(InterpolateLevel(&a, &b, 500), 200);
  // towards a command that is no picture the level stays
  TScriptCommand nop;
  nop.Code = scNop;
  EXPECT_EQ(InterpolateLevel(&a, &nop, 500), 200);
  // from a command that is no picture: from 0
  b.Level = 255;
  EXPECT_EQ(InterpolateLevel(&nop, &b, 0), 0);
  nop.Duration = 1000;
  EXPECT_EQ(InterpolateLevel(&nop, &b, 500), 128);  // 127.5 to even
  EXPECT_EQ(InterpolateLevel(&nop, nullptr, 500), 0);
  a.Level = -1;
  EXPECT_EQ(InterpolateLevel(&a, &b, 500), 0);
  a.Level = 0;
  a.Duration = 4;
  b.Level = 1;
  EXPECT_EQ(InterpolateLevel(&a, &b, 2), 0);  // 0.5 to even
  EXPECT_EQ(InterpolateLevel(&a, &b, 6), 2);  // 1.5 to even
  a.Duration = 0;
  EXPECT_EQ(InterpolateLevel(&a, &b, 2), 0);
}

TEST(ScriptLevels, LevelList) {
  TScriptLevelList l;
  EXPECT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Length(), 1000);
  EXPECT_EQ(l.Points(1)->Sample, 44100);
  l.Setup(2000, 0, 1000, 50, 0, 50, 100);
  l.ResetLevels();
  EXPECT_EQ(l.Points(1)->Sample, 2000);
  TScriptLevelPoint* p = l.InsertItem(1000);
  EXPECT_EQ(p->Level, 50);
  EXPECT_EQ(p->Sample, 1000);
  l.SetLevel(p, 130);
  EXPECT_EQ(p->Level, 100);  // clamped
  l.SetLevel(l.InsertItem(500), -4);
  EXPECT_EQ(l.Points(1)->Time, 500);
  EXPECT_EQ(l.Points(1)->Level, 0);
  EXPECT_EQ(l.InsertItem(1000), p);  // reused
  EXPECT_EQ(l.InsertItem(0), l.Points(0));
  EXPECT_EQ(l.InsertItem(2000), l.Points(l.Count() - 1));
  EXPECT_EQ(l.Count(), 4);
  // 50 at 0, 0 at 500, 100 at 1000, 50 at 2000
  EXPECT_EQ(l.GetLevelAtSample(0), 50);
  EXPECT_EQ(l.GetLevelAtSample(250), 25);
  EXPECT_EQ(l.GetLevelAtSample(750), 50);
  EXPECT_EQ(l.GetLevelAtSample(1500), 75);
  EXPECT_EQ(l.GetLevelAtSample(-10), 50);
  EXPECT_EQ(l.GetLevelAtSample(99999), 50);
  EXPECT_EQ(l.GetLevelAtSample(1), 50);  // 49.9 rounds to 50
  EXPECT_DOUBLE_EQ(l.GainAtSample(1000), 2.0);
  // a shorter length drops the points at or after it
  l.SetLength(1000);
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l.Points(2)->Time, 1000);
  l.SetLength(-5);
  EXPECT_EQ(l.Length(), 1000);
  // the sample rate moves every point's sample
  l.SetSampleRate(2000);
  EXPECT_EQ(l.Points(1)->Sample, 1000);
  l.SetUnityRange(60, 10);  // refused
  EXPECT_EQ(l.UnityHigh(), 50);
  l.SetDefaultLevel(101);  // refused
  EXPECT_EQ(l.DefaultLevel(), 50);
}

}  // namespace
}  // namespace movara
