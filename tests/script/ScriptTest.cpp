// Script generation from time lines built through the model's own operations: the
// merged clip rows with their transitions, the image row with keying and envelopes, the
// sound rows with envelopes, offsets and speed, and the round trip back through the
// parser into the same spans.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/UserMessages.h"
#include "media/ResourceLists.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "script/Script.h"
#include "script/ScriptCommands.h"
#include "script/ScriptTestMedia.h"

namespace movara {
namespace {

// A time line with its clips; the clips outlive the box.
struct TTimeLine {
  std::vector<std::unique_ptr<TClipGraphic>> clips;
  TLayerBox box;

  TClipGraphic* Clip(TClipType type, const std::string& file, double rate = 25) {
    auto c = std::make_unique<TClipGraphic>();
    c->SetFileName(file);
    c->SetClipType(type);
    c->SetMaxDuration(type == ctStillImage ? 0 : 100000);
    c->SetMovieTimeBase(rate);
    clips.push_back(std::move(c));
    return clips.back().get();
  }
  TLayerItem* Put(TLayerNumber n, TClipGraphic* clip, int first, int frames) {
    return box.RowByNumber(n)->InsertLayerItem(first, false, true, false, box.DefaultFx3dID(), clip, frames);
  }
  TLayerItem* PutColour(TLayerNumber n, TColor colour, int first, int frames) {
    TLayerItem* i = Put(n, nullptr, first, frames);
    i->SetUniformColor(ucSelected);
    i->SetUniformColorValue(colour);
    return i;
  }
};

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}

// The envelope of a block: level at frame pairs after the start point's level.
void Envelope(TLayerItem* item, int startLevel, std::vector<std::pair<int, int>> inner, int endLevel) {
  TLevelBox* lb = item->LevelBox();
  lb->StartPoint()->Level = startLevel;
  lb->EndPoint()->Level = endLevel;
  for (auto [frame, level] : inner) lb->AddPoint(frame)->Level = level;
}

// Clip rows A and B with an overlap and its transition, a colour block after a gap.
void BuildVideo1(TTimeLine& t, const std::string& folder) {
  t.Put(lnFirstClipTop, t.Clip(ctMovie, folder + "a.avi"), 0, 100);
  t.Put(lnFirstClipBottom, t.Clip(ctAnimation, folder + "b.avi", 10), 75, 125);
  t.PutColour(lnFirstClipTop, 0x123456, 250, 50);
}

// The image row: a keyed still with an envelope, a clip with an envelope, a still keyed
// onto the other track.
void BuildVideo2(TTimeLine& t, const std::string& folder) {
  TLayerItem* p = t.Put(lnImage, t.Clip(ctStillImage, folder + "my pic.bmp"), 25, 50);
  p->SetComposeMode(cmKeyOnThisLayer);
  p->SetColorKey(0x00FF00);
  Envelope(p, 100, {{25, 0}}, 50);
  TLayerItem* c = t.Put(lnImage, t.Clip(ctAnimation, folder + "c.avi"), 100, 50);
  Envelope(c, 100, {}, 0);
  TLayerItem* q = t.Put(lnImage, t.Clip(ctStillImage, folder + "q.bmp"), 150, 25);
  q->SetComposeMode(cmKeyOnOtherLayer);
  q->SetColorKey(0x0000FF);
}

// Three sound rows: default envelope; half speed with an envelope; a movie's sound from
// its 10th frame followed by a sound.
void BuildAudio(TTimeLine& t, const std::string& folder) {
  t.Put(lnAudioFirst, t.Clip(ctAudio, folder + "s1.wav"), 25, 50);
  TLayerItem* s2 = t.Put(lnAudioSecond, t.Clip(ctAudio, folder + "s2.wav"), 0, 50);
  s2->SetSpeed(50);
  Envelope(s2, 50, {{25, 100}}, 20);
  TLayerItem* m = t.Put(lnAudioThird, t.Clip(ctMovie, folder + "m.avi"), 0, 100);
  m->SetOffsetFrame(10);
  t.Put(lnAudioThird, t.Clip(ctAudio, folder + "s3.wav"), 100, 50);
}

const std::vector<std::string> kVideo1 = {
    "*** Video1 ***",
    "Avi ?/m/a.avi*0*100*0*100 3000",
    "Fx  $101 1000",
    "Avi ?/m/b.avi*0*50*1000*100 4000",
    "Nop null 2000",
    "Col $00123456 2000",
    "Nop null",
};
const std::vector<std::string> kVideo2 = {
    "*** Video2 ***",
    "Nop null 1000",
    "Bmp /m/my%20pic.bmp 1000 $0000FF00 -1 255 0",
    "Bmp /m/my%20pic.bmp 1000 $0000FF00 -1 0 0",
    "Bmp /m/my%20pic.bmp 0 $0000FF00 -1 128 0",
    "Nop null 1000",
    "Avi ?/m/c.avi*0*50*0*100 2000 $FFFFFFFF $FFFFFFFF 255",
    "Avi ?/m/c.avi*50*50*0*100 0 $FFFFFFFF $FFFFFFFF 0",
    "Bmp /m/q.bmp 1000 $000000FF -1 -1 1",
    "Nop null",
};
const std::vector<std::string> kAudio = {
    "*** Audio1 ***",
    "Nop null 1000",
    "Aud ?/m/s1.wav*0*2000*0*100 2000",
    "Nop null",
    "*** Audio2 ***",
    "Aud ?/m/s2.wav*0*2000*0*50 2000",
    "sg 3",
    "sl 0 50",
    "sl 1000 100",
    "sl 2000 20",
    "Nop null",
    "*** Audio3 ***",
    "Aud ?/m/m.avi*400*4400*0*100 4000",
    "Aud ?/m/s3.wav*0*2000*0*100 2000",
    "Nop null",
};

TEST(MakeScript, WholeTimeLine) {
  TTimeLine t;
  t.box.EnsureRangeItem();  // the range row writes nothing
  BuildVideo1(t, "/m/");
  BuildVideo2(t, "/m/");
  BuildAudio(t, "/m/");
  ASSERT_EQ(t.box.RowByNumber(lnFirstFx3d)->ItemCount(), 1);
  TScopedMessageRecorder messages;
  TScript s;
  EXPECT_TRUE(s.MakeScript(&t.box));
  std::vector<std::string> expected = kVideo1;
  expected.insert(expected.end(), kVideo2.begin(), kVideo2.end());
  expected.insert(expected.end(), kAudio.begin(), kAudio.end());
  EXPECT_EQ(s.Lines(), expected);
  EXPECT_EQ(s.Text(), Join(expected));
  EXPECT_TRUE(messages.Texts().empty());
  EXPECT_EQ(s.LayerBox(), &t.box);
  // made anew each time
  EXPECT_TRUE(s.MakeScript(&t.box));
  EXPECT_EQ(s.Lines(), expected);
}

TEST(MakeScript, MissingMediaKeepTheirTimeBlackOrSilent) {
  // a clip leading into a transition, an enveloped still on the image row and a sound
  // whose files are gone
  TTimeLine t;
  BuildVideo1(t, "/m/");
  BuildVideo2(t, "/m/");
  BuildAudio(t, "/m/");
  for (const auto& c : t.clips)
    for (const char* gone : {"/m/a.avi", "/m/my pic.bmp", "/m/s2.wav"})
      if (c->FullFileName() == gone) c->SetMissing(true);
  TScript s;
  EXPECT_TRUE(s.MakeScript(&t.box));
  std::vector<std::string> expected = kVideo1;
  expected[1] = "Col $00000000 3000";  // black, for the transition to blend from
  std::vector<std::string> video2 = kVideo2;
  video2.erase(video2.begin() + 2, video2.begin() + 5);
  video2.insert(video2.begin() + 2, "Nop null 2000");  // the film track shows through
  expected.insert(expected.end(), video2.begin(), video2.end());
  std::vector<std::string> audio = kAudio;
  const auto a2 = std::find(audio.begin(), audio.end(), "*** Audio2 ***");
  audio.erase(a2 + 1, a2 + 6);
  audio.insert(a2 + 1, "Nop null 2000");  // silence
  expected.insert(expected.end(), audio.begin(), audio.end());
  EXPECT_EQ(s.Lines(), expected);
}

TEST(MakeScript, EmptyTimeLineAndSingleSections) {
  TTimeLine t;
  TScript s;
  EXPECT_TRUE(s.MakeScript(&t.box));
  EXPECT_EQ(s.Text(), "");
  t.box.EnsureRangeItem();
  EXPECT_TRUE(s.MakeScript(&t.box));
  EXPECT_EQ(s.Count(), 0);

  BuildAudio(t, "/m/");
  s.MakeScript(&t.box);
  EXPECT_EQ(s.Lines(), kAudio);  // no "*** Video1 ***" without clip blocks
}

TEST(MakeScript, ClipAfterAGapAndTimeBase) {
  TTimeLine t;
  t.Put(lnFirstClipTop, t.Clip(ctStillImage, "/m/p.bmp"), 50, 25);
  TScript s;
  s.MakeScript(&t.box);
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"*** Video1 ***", "Nop null 2000", "Bmp /m/p.bmp 1000", "Nop null"}));
  s.SetTimeBase(30);
  s.SetTimeBase(0);  // refused
  EXPECT_EQ(s.TimeBase(), 30);
  s.MakeScript(&t.box);
  EXPECT_EQ(s.Lines()[1], "Nop null 1667");
  EXPECT_EQ(s.Lines()[2], "Bmp /m/p.bmp 833");
}

TEST(MakeScript, ClipEnteringThroughATransitionFromBefore) {
  // B begins before A: B, the transition over the overlap, then A continues after it
  TTimeLine t;
  t.Put(lnFirstClipBottom, t.Clip(ctMovie, "/m/b.avi"), 0, 100);
  t.Put(lnFirstClipTop, t.Clip(ctMovie, "/m/a.avi"), 50, 100);
  TScript s;
  s.MakeScript(&t.box);
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"*** Video1 ***", "Avi ?/m/b.avi*0*100*0*100 2000", "Fx  $101 2000",
                                                 "Avi ?/m/a.avi*0*100*2000*100 2000", "Nop null"}));
}

TEST(MakeScript, ShortClipInsideALongOne) {
  // a long clip interrupted by a shorter one on the other row comes back after it
  TTimeLine t;
  t.Put(lnFirstClipTop, t.Clip(ctMovie, "/m/long.avi"), 0, 200);
  t.Put(lnFirstClipBottom, t.Clip(ctMovie, "/m/short.avi"), 50, 50);
  TScript s;
  s.MakeScript(&t.box);
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"*** Video1 ***", "Avi ?/m/long.avi*0*100*0*100 2000", "Fx  $101 2000",
                                                 "Avi ?/m/short.avi*0*50*2000*100 0",
                                                 "Avi ?/m/long.avi*100*200*0*100 4000", "Nop null"}));
}

TEST(MakeScript, AdjacentTransitionsAreSeparated) {
  // rows outside a box: clip A, then two transitions that meet
  TLayerRow a(nullptr, ltBmpAvi, lnFirstClipTop);
  TLayerRow fx(nullptr, ltFx3d, lnFirstFx3d);
  TLayerRow b(nullptr, ltBmpAvi, lnFirstClipBottom);
  TClipGraphic clip;
  clip.SetFileName("/m/a.bmp");
  clip.SetClipType(ctStillImage);
  a.InsertLayerItem(0, false, false, false, -1, &clip, 100);
  fx.InsertLayerItem(50, false, false, false, 0x105, nullptr, 50);
  fx.InsertLayerItem(100, false, false, false, 0x106, nullptr, 50);
  TScript s;
  EXPECT_TRUE(s.MakeScriptVideo(&a, &fx, &b, true));
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"*** Video1 ***", "Bmp /m/a.bmp 2000", "Fx  $105 2000", "Nop null",
                                                 "Fx  $106 2000", "Nop null"}));
  // the transition row alone writes nothing, not even with the header kept
  TLayerRow emptyA(nullptr, ltBmpAvi, lnFirstClipTop);
  TScript u;
  EXPECT_TRUE(u.MakeScriptVideo(&emptyA, &fx, &b, true));
  EXPECT_EQ(u.Count(), 0);
}

TEST(MakeScript, HeaderKeptOrDropped) {
  // a sound row whose blocks write nothing (a still picture) loses its header unless kept
  TLayerRow row(nullptr, ltAudio, lnAudioSecond);
  TClipGraphic clip;
  clip.SetFileName("/m/p.bmp");
  clip.SetClipType(ctStillImage);
  row.InsertLayerItem(0, false, false, false, -1, &clip, 10);
  TScript s;
  EXPECT_TRUE(s.MakeScriptVideo(&row, nullptr, nullptr, false));
  EXPECT_EQ(s.Count(), 0);
  EXPECT_TRUE(s.MakeScriptVideo(&row, nullptr, nullptr, true));
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"*** Audio2 ***"}));
  // rows above the image row write nothing at all
  TLayerRow range(nullptr, ltRange, lnRange);
  range.InsertLayerItem(0, false, false, false, -1, nullptr, 10);
  EXPECT_TRUE(s.MakeScriptVideo(&range, nullptr, nullptr, true));
  EXPECT_EQ(s.Count(), 1);
}

TEST(MakeScript, UnexpectedBlockTypes) {
  // a sequence block moved onto a clip row: its type is unknown to the script
  TLayerRow a(nullptr, ltBmpAvi, lnFirstClipTop);
  TLayerItem* odd = a.InsertLayerItem(0, false, false, false, -1, nullptr, 25);
  odd->SetMediaType(ltSequence);
  TScopedMessageRecorder messages;
  TScript s;
  EXPECT_FALSE(s.MakeScriptVideo(&a, nullptr, nullptr, true));
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"[1001] Błąd generowania skryptu: LayerType = ltNone"}));
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"*** Video1 ***"}));
}

TEST(MakeScript, NegativeDelayIsReportedAndTheWalkGoesOn) {
  // rows outside a box: B inside a long A with no transition; the long clip re-opened
  // after B lies behind the position the walk has reached
  TLayerRow a(nullptr, ltBmpAvi, lnFirstClipTop);
  TLayerRow fx(nullptr, ltFx3d, lnFirstFx3d);
  TLayerRow b(nullptr, ltBmpAvi, lnFirstClipBottom);
  TClipGraphic clip;
  clip.SetFileName("/m/p.bmp");
  clip.SetClipType(ctStillImage);
  a.InsertLayerItem(0, false, false, false, -1, &clip, 200);
  a.InsertLayerItem(300, false, false, false, -1, &clip, 50);
  b.InsertLayerItem(50, false, false, false, -1, &clip, 50);
  TScopedMessageRecorder messages;
  TScript s;
  EXPECT_TRUE(s.MakeScriptVideo(&a, &fx, &b, true));
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"[1004] Błąd generowania skryptu: Delay < 0"}));
  ASSERT_GE(s.Count(), 2);
  EXPECT_EQ(s.Lines().back(), "Nop null");
}

TEST(MakeScript, BlockWithoutClipKeepsItsTime) {
  TLayerRow a(nullptr, ltBmpAvi, lnFirstClipTop);
  a.InsertLayerItem(0, false, false, false, -1, nullptr, 25);
  TClipGraphic clip;
  clip.SetFileName("/m/p.bmp");
  clip.SetClipType(ctStillImage);
  a.InsertLayerItem(25, false, false, false, -1, &clip, 25);
  TScript s;
  EXPECT_TRUE(s.MakeScriptVideo(&a, nullptr, nullptr, true));
  EXPECT_EQ(s.Lines(),
            (std::vector<std::string>{"*** Video1 ***", "Nop null 1000", "Bmp /m/p.bmp 1000", "Nop null"}));
}

TEST(MakeScript, Conversions) {
  EXPECT_EQ(TScript::ScriptLevelOf(100), 255);
  EXPECT_EQ(TScript::ScriptLevelOf(50), 128);  // 127.5 to even
  EXPECT_EQ(TScript::ScriptLevelOf(0), 0);
  EXPECT_EQ(TScript::ScriptLevelOf(30), 76);  // 76.5 to even
  TScript s;
  EXPECT_EQ(s.FramesToMs(-5), 0);
  EXPECT_EQ(s.FramesToMs(3), 120);
  TLayerRow row(nullptr, ltBmpAvi, lnFirstClipTop);
  TClipGraphic clip;
  clip.SetClipType(ctMovie);
  clip.SetMaxDuration(1000);
  clip.SetMovieTimeBase(15);
  TLayerItem* i = row.InsertLayerItem(0, false, false, false, -1, &clip, 100);
  EXPECT_EQ(s.AVIFrameOf(i, 25), 15);
  EXPECT_EQ(s.AVIFrameOf(i, 5), 3);
  clip.SetMovieTimeBase(12.5);
  EXPECT_EQ(s.AVIFrameOf(i, 1), 0);  // 0.5 to even
  EXPECT_EQ(s.AVIFrameOf(i, 3), 2);  // 1.5 to even
}

// The script window's edits replace the script: whatever line ends the editor uses, the
// text reads back with CR LF, and a film made without regenerating uses the edit.
TEST(ScriptText, EditedTextReplacesTheLines) {
  TScript s;
  s.SetText("*** Video1 ***\r\nCol $00FF0000 1000\r\nNop null\r\n");
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"*** Video1 ***", "Col $00FF0000 1000", "Nop null"}));
  EXPECT_EQ(s.Text(), "*** Video1 ***\r\nCol $00FF0000 1000\r\nNop null\r\n");
  // the editor's own line ends, a lone CR, an empty line kept, no end after the last
  s.SetText("*** Video1 ***\nCol $000000FF 2000\r\rNop null");
  EXPECT_EQ(s.Lines(), (std::vector<std::string>{"*** Video1 ***", "Col $000000FF 2000", "", "Nop null"}));
  EXPECT_EQ(s.Text(), "*** Video1 ***\r\nCol $000000FF 2000\r\n\r\nNop null\r\n");
  s.SetText("*** Video1 ***\nCol $000000FF 2000\nNop null");
  TActionCommandList actions;
  ASSERT_NO_THROW(actions.Generate(s.Text()));
  ASSERT_GE(actions.ActionCount(), 1);
  EXPECT_EQ(actions.Actions(0)->Length, 2000);
  s.SetText("");
  EXPECT_EQ(s.Count(), 0);
}

// ---------------------------------------------------------------------------------
// Round trip: the script parses back into the spans of the time line.

TEST(MakeScript, RoundTripThroughTheParser) {
  REQUIRE_PROGRAM("ffmpeg");
  test::TTempDir dir;
  CreateResourceLists();
  const std::string folder = dir.Path() + "media 1/";
  ASSERT_EQ(test::RunCommand("mkdir -p " + test::Quote(folder)).exitCode, 0);
  for (const char* avi : {"a.avi", "b.avi", "c.avi"}) test::MakeScriptAvi(dir, std::string("media 1/") + avi, 250);
  test::MakeScriptAvi(dir, "media 1/m.avi", 250, true);
  for (const char* bmp : {"my pic.bmp", "q.bmp"}) test::MakeScriptBmp(dir, std::string("media 1/") + bmp);
  for (const char* wav : {"s1.wav", "s2.wav", "s3.wav"}) test::MakeScriptWav(dir, std::string("media 1/") + wav, 8000);

  TTimeLine t;
  BuildVideo1(t, folder);
  BuildVideo2(t, folder);
  BuildAudio(t, folder);
  TScript s;
  s.MakeScript(&t.box);

  TActionCommandList actions;
  ASSERT_NO_THROW(actions.Generate(s.Text()));
  struct TSpan {
    TStepKind kind;
    int start, length;
    std::string file;
  };
  auto fileOf = [](const TScriptCommand* c) { return c ? c->FileName : std::string("-"); };
  // Video1: A alone, the transition A to B, B, the gap, the colour, the closing NOP
  const std::vector<TSpan> v1 = {{skAvi, 0, 3000, folder + "a.avi"},    {skAviFxAvi, 3000, 1000, folder + "a.avi"},
                                 {skAvi, 4000, 4000, folder + "b.avi"}, {skNop, 8000, 2000, ""},
                                 {skStill, 10000, 2000, ""},            {skNop, 12000, 0, ""}};
  ASSERT_EQ(actions.ActionCount(), static_cast<int>(v1.size()));
  for (size_t k = 0; k < v1.size(); ++k) {
    const TScriptAction* a = actions.Actions(static_cast<int>(k));
    EXPECT_EQ(a->Kind, v1[k].kind) << k;
    EXPECT_EQ(a->Start, v1[k].start) << k;
    EXPECT_EQ(a->Length, v1[k].length) << k;
    EXPECT_EQ(fileOf(a->CommandA), v1[k].file) << k;
  }
  const TScriptAction* fx = actions.Actions(1);
  EXPECT_EQ(fx->CommandB->FxID, t.box.RowByNumber(lnFirstFx3d)->Items(0)->Fx3dID());
  EXPECT_EQ(fileOf(fx->CommandC), folder + "b.avi");
  EXPECT_EQ(fx->CommandC->Offset, 1000);
  EXPECT_EQ(fx->CommandC->LastFrame, 50);  // 125 frames of a 10 per second clip
  EXPECT_EQ(actions.Actions(4)->CommandA->Color, 0x123456u);

  // Video2: the envelope segments keep the block's time and carry its levels and key
  actions.SelectTrack(1);
  const std::vector<TSpan> v2 = {{skNop, 0, 1000, ""},
                                 {skStill, 1000, 1000, folder + "my pic.bmp"},
                                 {skStill, 2000, 1000, folder + "my pic.bmp"},
                                 {skStill, 3000, 0, folder + "my pic.bmp"},
                                 {skNop, 3000, 1000, ""},
                                 {skAvi, 4000, 2000, folder + "c.avi"},
                                 {skAvi, 6000, 0, folder + "c.avi"},
                                 {skStill, 6000, 1000, folder + "q.bmp"},
                                 {skNop, 7000, 0, ""}};
  ASSERT_EQ(actions.ActionCount(), static_cast<int>(v2.size()));
  for (size_t k = 0; k < v2.size(); ++k) {
    const TScriptAction* a = actions.Actions(static_cast<int>(k));
    EXPECT_EQ(a->Kind, v2[k].kind) << k;
    EXPECT_EQ(a->Start, v2[k].start) << k;
    EXPECT_EQ(a->Length, v2[k].length) << k;
    EXPECT_EQ(fileOf(a->CommandA), v2[k].file) << k;
  }
  const TScriptCommand* keyed = actions.Actions(1)->CommandA;
  EXPECT_EQ(keyed->ColorKey, 0x00FF00);
  EXPECT_EQ(keyed->Level, 255);
  EXPECT_EQ(keyed->KeyMode, 0);
  EXPECT_EQ(actions.Actions(2)->CommandA->Level, 0);
  EXPECT_EQ(actions.Actions(3)->CommandA->Level, 128);
  // halfway through the second segment the level is halfway from 0 to the end's 128
  EXPECT_EQ(InterpolateLevel(actions.Actions(2)->CommandA, actions.Actions(3)->CommandA, 500), 64);
  EXPECT_EQ(actions.Actions(7)->CommandA->KeyMode, 1);
  EXPECT_EQ(actions.Actions(7)->CommandA->Level, -1);

  // Sound: the sections parse with their envelopes
  const std::vector<std::string> lines = SplitScriptLines(s.Text());
  TScriptCommandList a2(lkAudio);
  ASSERT_EQ(a2.Generate(lines, 2), 2);
  const TScriptCommand* aud = a2.Commands(0);
  EXPECT_EQ(aud->Speed, 50);
  EXPECT_EQ(aud->EndPosition, 2000);
  ASSERT_EQ(aud->LevelList->Count(), 3);
  EXPECT_EQ(aud->LevelList->Points(1)->Time, 1000);
  EXPECT_EQ(aud->LevelList->Points(1)->Level, 100);
  EXPECT_EQ(aud->LevelList->Points(2)->Level, 20);
  TScriptCommandList a3(lkAudio);
  ASSERT_EQ(a3.Generate(lines, 3), 3);
  EXPECT_EQ(a3.Commands(0)->StartPosition, 400);
  EXPECT_EQ(a3.Commands(0)->FileName, folder + "m.avi");
  EXPECT_EQ(a3.AudioKind(0), aaAudio);
  EXPECT_EQ(a3.AudioKind(2), aaNop);
}

}  // namespace
}  // namespace movara

namespace movara {
namespace {

// Random time lines of colour blocks on rows A and B (with their transitions) and the
// image row: the walk always ends, every section closes with "Nop null", the script
// parses back and Video1 lasts as long as the clip rows.
TEST(MakeScript, RandomTimeLinesParseBackWithTheirLength) {
  std::mt19937 random(12345);
  for (int round = 0; round < 300; ++round) {
    TTimeLine t;
    const int blocks = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < blocks; ++k) {
      const TLayerNumber n = (random() % 3 == 0) ? lnImage : (random() % 2 ? lnFirstClipTop : lnFirstClipBottom);
      t.PutColour(n, static_cast<TColor>(random() % 0x1000000), static_cast<int>(random() % 300),
                  1 + static_cast<int>(random() % 120));
    }
    TScopedMessageRecorder messages;
    TScript s;
    s.MakeScript(&t.box);
    for (size_t i = 0; i + 1 < s.Lines().size(); ++i) {
      if (IsCommentLine(s.Lines()[i + 1])) {
        EXPECT_EQ(s.Lines()[i], "Nop null") << round;
      }
    }
    if (s.Count() > 0) {
      EXPECT_EQ(s.Lines().back(), "Nop null") << round;
    }
    TActionCommandList actions;
    ASSERT_NO_THROW(actions.Generate(s.Text())) << s.Text();
    int end = 0;
    for (TLayerNumber n : {lnFirstClipTop, lnFirstClipBottom}) {
      const TLayerRow* row = t.box.RowByNumber(n);
      if (row->ItemCount() > 0) end = std::max(end, row->Items(row->ItemCount() - 1)->LastFrame());
    }
    int total = 0;
    for (int i = 0; i < actions.ActionCount(); ++i) total += actions.Actions(i)->Length;
    EXPECT_EQ(total, end * 40) << round << "\n" << s.Text();
    EXPECT_TRUE(messages.Texts().empty()) << round << "\n" << s.Text();
  }
}

}  // namespace
}  // namespace movara
