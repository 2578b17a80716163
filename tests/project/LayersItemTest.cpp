// Clip blocks: properties, their defaults and invariants, partners and clips.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LayersTestSupport.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"

namespace movara {
namespace {

using test::CheckInvariants;
using test::MakeClip;
using test::Row;

TEST(LayerItem, BlockWithoutRowReadsItsDefaults) {
  TLayerItem b;
  EXPECT_EQ(b.Parent(), nullptr);
  EXPECT_EQ(b.Duration(), 25);
  EXPECT_EQ(b.FirstFrame(), 0);
  EXPECT_EQ(b.LastFrame(), 25);
  EXPECT_EQ(b.Fx3dID(), -1);
  EXPECT_EQ(b.Speed(), 100);
  EXPECT_EQ(b.ColorKey(), 0x8000000Fu);
  EXPECT_EQ(b.Zoom(), zmSixFrames);
  EXPECT_EQ(b.IconSize(), isNormal);
  EXPECT_EQ(b.Color(), clBtnFace);
  EXPECT_EQ(b.ColorMarked(), 0x808000u);
  EXPECT_EQ(b.ClipType(), ctNone);
  EXPECT_EQ(b.MaxDuration(), 0);
  EXPECT_FALSE(b.HasMaxDuration());
  // a row-less block answers ltNone, cmNone and no keying whatever was stored
  b.SetComposeMode(cmKeyOnThisLayer);
  b.SetMediaType(ltAudio);
  EXPECT_EQ(b.LayerType(), ltNone);
  EXPECT_EQ(b.ComposeMode(), cmNone);
  EXPECT_EQ(b.StoredComposeMode(), cmKeyOnThisLayer);
  EXPECT_FALSE(b.UseColorKey());
  EXPECT_EQ(b.MediaType(), ltAudio);
  b.SetUniformColor(ucBlue);
  EXPECT_EQ(b.ClipType(), ctUniformColor);
}

TEST(LayerItem, WritesOfStartAndLength) {
  TLayerItem b;
  std::vector<std::string> events;
  b.OnDuration = [&](TLayerItem*) { events.push_back("duration"); };
  b.OnModified = [&](TLayerItem*) { events.push_back("modified"); };
  b.OnNeedUpdateLayerFx3d = [&](TLayerItem*) { events.push_back("fx3d"); };
  b.SetDuration(40);
  EXPECT_EQ(events, (std::vector<std::string>{"duration", "modified", "fx3d"}));
  events.clear();
  b.SetDuration(40);  // unchanged
  b.SetDuration(0);   // below 1
  b.SetDuration(-3);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(b.Duration(), 40);
  b.SetConstDuration(true);
  b.SetDuration(10);
  EXPECT_EQ(b.Duration(), 40);
  b.SetFirstFrame(-20);
  EXPECT_EQ(b.FirstFrame(), 0);
  EXPECT_TRUE(events.empty());
  b.SetFirstFrame(30);
  EXPECT_EQ(events, (std::vector<std::string>{"modified", "fx3d"}));
  // far beyond any film the position saturates instead of overflowing LastFrame
  b.SetFirstFrame(2147483647);
  EXPECT_GT(b.LastFrame(), b.FirstFrame());
}

TEST(LayerItem, NaturalLengthCapsDurationWrites) {
  auto movie = MakeClip(ctMovie, 100);
  TLayerBox box;
  TLayerItem* b = Row(box, lnFirstClipTop)->InsertLayerItem(0, false, false, false, -1, movie.get(), 50);
  b->SetOffsetFrame(30);
  EXPECT_TRUE(b->HasMaxDuration());
  EXPECT_EQ(b->MaxDuration(), 70);
  EXPECT_EQ(b->MaxLastFrame(), 70);
  // the offset is not deducted from the cap of a write
  b->SetDuration(120);
  EXPECT_EQ(b->Duration(), 100);
  b->SetDuration(90);
  EXPECT_EQ(b->Duration(), 90);
  EXPECT_EQ(movie->Duration(), 90);  // the thumbnail's length follows
}

TEST(LayerItem, LinkingAClipCutsTheLengthAndMarksItUsed) {
  auto sound = MakeClip(ctAudio, 30, "a.wav");
  TLayerBox box;
  TLayerRow* s1 = Row(box, lnAudioFirst);
  TLayerItem* b = s1->InsertLayerItem(10, false, false, false, -1, nullptr, 80);
  EXPECT_EQ(b->Duration(), 80);
  b->SetLinkClipGraphic(sound.get());
  EXPECT_EQ(b->Duration(), 30);
  EXPECT_TRUE(sound->Used());
  EXPECT_EQ(sound->Position(), 10);
  b->SetFirstFrame(44);
  EXPECT_EQ(sound->Position(), 44);
  // a second user keeps it used when the first lets go
  TLayerItem* c = s1->InsertLayerItem(200, false, false, false, -1, sound.get(), 10);
  b->SetLinkClipGraphic(nullptr);
  EXPECT_TRUE(sound->Used());
  s1->DeleteItem(c);
  EXPECT_FALSE(sound->Used());
  EXPECT_EQ(sound->Position(), 0);
  EXPECT_FALSE(sound->HasDestroyListeners());
}

TEST(LayerItem, RemovingAClipDeletesEveryBlockShowingIt) {
  auto movie = MakeClip(ctMovie, 60);
  auto other = MakeClip(ctStillImage, 0, "b.bmp");
  TLayerBox box;
  ASSERT_TRUE(test::DropClip(box, movie.get(), lnFirstClipTop, 100));
  ASSERT_TRUE(test::DropClip(box, movie.get(), lnImage, 400));
  ASSERT_TRUE(test::DropClip(box, other.get(), lnFirstClipBottom, 100));
  EXPECT_EQ(box.ProjectItemCount(), 6);  // 2 x (picture + sound), a still, a transition
  movie.reset();
  EXPECT_TRUE(CheckInvariants(box));
  EXPECT_EQ(box.ProjectItemCount(), 1);
  EXPECT_EQ(Row(box, lnFirstClipBottom)->ItemCount(), 1);
  EXPECT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 0);
  // the remaining block still refers to a live clip
  EXPECT_EQ(Row(box, lnFirstClipBottom)->Items(0)->LinkClipGraphic(), other.get());
}

TEST(LayerItem, PartnersLinkBothWaysAndLetGo) {
  TLayerBox box;
  TLayerItem* pic = Row(box, lnFirstClipTop)->InsertLayerItem(0, false, false, false, -1, nullptr, 20);
  TLayerItem* snd = Row(box, lnAudioSecond)->InsertLayerItem(0, false, false, false, -1, nullptr, 20);
  pic->SetLinkSynchronizeItem(snd);
  EXPECT_EQ(snd->LinkSynchronizeItem(), pic);
  EXPECT_TRUE(pic->SynchronizeBothItem());
  EXPECT_TRUE(snd->SynchronizeBothItem());
  // selecting either selects both
  snd->SetSelected(true);
  EXPECT_TRUE(pic->Selected());
  pic->Desynchronize();
  EXPECT_FALSE(snd->SynchronizeBothItem());
  EXPECT_FALSE(snd->Selected());
  EXPECT_TRUE(pic->Selected());
  pic->Synchronize();
  EXPECT_TRUE(snd->Selected());
  // clearing the partner leaves the former partner unsynchronised
  pic->SetLinkSynchronizeItem(nullptr);
  EXPECT_FALSE(snd->SynchronizeBothItem());
  EXPECT_EQ(snd->LinkSynchronizeItem(), nullptr);
  EXPECT_FALSE(pic->SynchronizeBothItem());
  // deleting a partner never leaves the other pointing at it
  pic->SetLinkSynchronizeItem(snd);
  Row(box, lnAudioSecond)->DeleteItem(snd);
  EXPECT_EQ(pic->LinkSynchronizeItem(), nullptr);
  EXPECT_FALSE(pic->SynchronizeBothItem());
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(LayerItem, RectangleFollowsFramesAndSetters) {
  TLayerBox box;
  TLayerItem* b = Row(box, lnFirstClipTop)->InsertLayerItem(25, false, false, false, -1, nullptr, 50);
  EXPECT_EQ(b->Left(), 72);
  EXPECT_EQ(b->Right(), 216);
  EXPECT_EQ(b->Height(), 58);
  box.SetZoom(zmTwoSeconds);
  EXPECT_EQ(b->Left(), 36);
  EXPECT_EQ(b->Width(), 72);
  b->SetLeft(500);
  EXPECT_EQ(b->Right(), 500);
  b->SetBottom(-4);
  EXPECT_EQ(b->Top(), -4);
}

TEST(LayerItem, EffectAndShortcutNames) {
  TLayerBox box;
  TLayerItem* t = Row(box, lnFirstFx3d)->InsertLayerItem(0, false, false, false, 0x101, nullptr, 10);
  EXPECT_EQ(t->Fx3dName(), "Przesuwanie w prawo");
  t->SetFx3dID(0x101 | 0x20000000);  // played backwards, same effect
  EXPECT_EQ(t->Fx3dName(), "Przesuwanie w prawo");
  t->SetFx3dID(12345);
  EXPECT_EQ(t->Fx3dName(), "Fx3d #???");
  t->SetFx3dID(-1);
  EXPECT_EQ(t->Fx3dName(), "Fx3d #???");
  TLayerItem* s = Row(box, lnSequence)->InsertLayerItem(0, false, false, false, 16463, nullptr, 10);
  EXPECT_EQ(s->Fx3dName(), "Ctrl+O");
  TLayerItem* a = Row(box, lnFirstClipTop)->InsertLayerItem(0, false, false, false, 0x101, nullptr, 10);
  EXPECT_EQ(a->Fx3dName(), "");
}

TEST(LayerItem, EnvelopeDefaultsByRow) {
  TLayerBox box;
  TLayerItem* s = Row(box, lnAudioFirst)->InsertLayerItem(0, false, false, false, -1, nullptr, 100);
  TLayerItem* i = Row(box, lnImage)->InsertLayerItem(0, false, false, false, -1, nullptr, 100);
  TLayerItem* a = Row(box, lnFirstClipTop)->InsertLayerItem(0, false, false, false, -1, nullptr, 100);
  ASSERT_NE(s->LevelBoxIfAny(), nullptr);
  ASSERT_NE(i->LevelBoxIfAny(), nullptr);
  EXPECT_EQ(a->LevelBoxIfAny(), nullptr);  // made only on first use elsewhere
  EXPECT_EQ(s->LevelBox()->StartPoint()->Level, 50);
  EXPECT_EQ(s->LevelBox()->EndPoint()->Frame, 100);
  EXPECT_EQ(s->LevelBox()->EndPoint()->PixelX, 288);
  EXPECT_EQ(i->LevelBox()->EndPoint()->Level, 100);
  // the envelope follows the length and the zoom
  s->SetDuration(50);
  EXPECT_EQ(s->LevelBox()->EndPoint()->Frame, 50);
  EXPECT_EQ(s->LevelBox()->EndPoint()->PixelX, 144);
  box.SetZoom(zmTwoSeconds);
  EXPECT_EQ(s->LevelBox()->EndPoint()->PixelX, 72);
}

}  // namespace
}  // namespace movara
