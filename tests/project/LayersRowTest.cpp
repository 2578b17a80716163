// Editing on one row, driven as the windows will: drops, mouse drags with snapping,
// resizes, the razor, selection with Shift and Ctrl, colour blocks, keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LayersTestSupport.h"
#include "base/Trace.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"

namespace movara {
namespace {

using test::CheckInvariants;
using test::Click;
using test::Drag;
using test::DropClip;
using test::MakeClip;
using test::Middle;
using test::Row;
using test::Spans;
using test::XOf;
using test::YOf;
using TSpans = std::vector<std::pair<int, int>>;

TEST(LayerBoxRows, NewProjectHasTheFixedRowsAndOneRangeBlock) {
  TLayerBox box;
  ASSERT_EQ(box.RowCount(), 9);
  const TLayerNumber created[] = {lnRange,           lnSequence,   lnImage,       lnFirstClipTop, lnFirstClipBottom,
                                  lnFirstFx3d,       lnAudioFirst, lnAudioSecond, lnAudioThird};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(box.Rows(i)->LayerNumber(), created[i]) << i;
  EXPECT_EQ(Spans(box, lnRange), (TSpans{{0, 50}}));
  EXPECT_EQ(box.TotalItemCount(), 1);
  EXPECT_FALSE(box.Modified());
  EXPECT_TRUE(box.BoxState().Empty());
  // screen order chains range first and sound 3 last, the transitions between A and B
  const TLayerNumber screen[] = {lnRange,           lnSequence,   lnImage,       lnFirstClipTop, lnFirstFx3d,
                                 lnFirstClipBottom, lnAudioFirst, lnAudioSecond, lnAudioThird};
  for (int i = 0; i < 9; ++i) {
    TLayerRow* r = Row(box, screen[i]);
    EXPECT_EQ(r->PrevRow(), i > 0 ? Row(box, screen[i - 1]) : nullptr);
    EXPECT_EQ(r->NextRow(), i < 8 ? Row(box, screen[i + 1]) : nullptr);
  }
  EXPECT_EQ(Row(box, lnRange)->ColorMarked(), 0xF1B165u);
  EXPECT_EQ(Row(box, lnFirstFx3d)->ColorMarked(), 0xD7C683u);
  EXPECT_EQ(Row(box, lnAudioThird)->ColorMarked(), 0xC0D4F6u);
  EXPECT_TRUE(Row(box, lnImage)->DrawCrossIf());
  EXPECT_FALSE(Row(box, lnFirstFx3d)->DrawCrossIf());
  EXPECT_EQ(box.AudioRowOf(Row(box, lnImage)), Row(box, lnAudioFirst));
  EXPECT_EQ(box.AudioRowOf(Row(box, lnFirstClipBottom)), Row(box, lnAudioThird));
  EXPECT_EQ(box.AudioRowOf(Row(box, lnFirstFx3d)), nullptr);
  EXPECT_EQ(box.AudioRowOf(Row(box, lnAudioFirst)), nullptr);
  EXPECT_EQ(box.RowByNumber(lnNone), nullptr);
  EXPECT_EQ(box.CountRowsOfTypes(LayerTypeBit(ltBmpAvi) | LayerTypeBit(ltImage)), 3);
  EXPECT_EQ(box.RowOfTypes(LayerTypeBit(ltBmpAvi), 1), Row(box, lnFirstClipBottom));
}

TEST(LayerBoxRows, HeightsFollowIconSizeAndEnvelopes) {
  TLayerBox box;
  EXPECT_EQ(Row(box, lnRange)->Height(), 10);
  EXPECT_EQ(Row(box, lnSequence)->Height(), 16);
  EXPECT_EQ(Row(box, lnImage)->Height(), 58);
  EXPECT_EQ(Row(box, lnFirstFx3d)->Height(), 28);
  EXPECT_EQ(Row(box, lnAudioFirst)->Height(), 28);  // 28.5 to even
  EXPECT_EQ(Row(box, lnFirstClipTop)->Top(), 10 + 16 + 22 + 58);
  box.SetIconSize(isSmallest);
  EXPECT_EQ(Row(box, lnAudioFirst)->Height(), 10);  // 9.5 to even
  EXPECT_EQ(Row(box, lnFirstClipTop)->Height(), 20);
  box.SetIconSize(isLarge);
  EXPECT_EQ(Row(box, lnAudioFirst)->Height(), 38);  // 38.5 to even
  box.SetIconSize(isNormal);
  int bTop = Row(box, lnFirstClipBottom)->Top();
  Row(box, lnImage)->SetLevelBoxVisible(true);
  Row(box, lnAudioFirst)->SetLevelBoxVisible(true);
  EXPECT_EQ(Row(box, lnImage)->Height(), 58 + 38);
  EXPECT_EQ(Row(box, lnAudioFirst)->Height(), 28 + 33);
  EXPECT_EQ(Row(box, lnFirstClipBottom)->Top(), bTop + 38);
  EXPECT_EQ(box.RowAtPoint(Row(box, lnAudioSecond)->Top()), Row(box, lnAudioSecond));
  EXPECT_EQ(box.RowAtPoint(box.ScaleTop() + 1), nullptr);
}

TEST(InsertLayerItem, LengthAndPlace) {
  TLayerBox box;
  TLayerRow* a = Row(box, lnFirstClipTop);
  auto movie = MakeClip(ctMovie, 80);
  TLayerItem* b1 = a->InsertLayerItem(-30, false, false, false, -1, nullptr, 0);
  EXPECT_EQ(b1->FirstFrame(), 0);
  EXPECT_EQ(b1->Duration(), 50);  // the step value at one second per thumbnail
  TLayerItem* b2 = a->InsertLayerItem(200, true, false, false, -1, movie.get(), 10);
  EXPECT_EQ(b2->Duration(), 80);  // the clip's own length
  TLayerItem* b3 = a->InsertLayerItem(400, false, false, true, -1, nullptr, 31);
  EXPECT_EQ(b3->FirstFrame(), 400 - 15);  // centred on the frame
  EXPECT_EQ(a->ItemCount(), 3);
  EXPECT_EQ(a->Items(1), b2);
  box.SetZoom(zmFourSeconds);
  EXPECT_EQ(a->InsertLayerItem(600, false, false, false, -1, nullptr, 0)->Duration(), 200);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(CorrectOverlaps, InsertedBlockShrinksIntoTheGap) {
  TLayerBox box;
  TLayerRow* a = Row(box, lnFirstClipTop);
  a->InsertLayerItem(0, false, false, false, -1, nullptr, 50);
  a->InsertLayerItem(80, false, false, false, -1, nullptr, 50);
  // 10 frames over the right neighbour, 4 free frames on the left: 4 left, 6 shorter
  TLayerItem* n = a->InsertLayerItem(54, false, false, false, -1, nullptr, 36);
  EXPECT_EQ(n->FirstFrame(), 50);
  EXPECT_EQ(n->Duration(), 30);
  EXPECT_EQ(Spans(a), (TSpans{{0, 50}, {50, 80}, {80, 130}}));
  // enough room on the left: it moves left whole
  a->InsertLayerItem(200, false, false, false, -1, nullptr, 20);
  TLayerItem* m = a->InsertLayerItem(170, false, false, false, -1, nullptr, 40);
  EXPECT_EQ(m->FirstFrame(), 160);
  EXPECT_EQ(m->Duration(), 40);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(CorrectOverlaps, NoGapPushesLaterBlocksInsteadOfAnEmptyBlock) {
  TLayerBox box;
  TLayerRow* a = Row(box, lnFirstClipTop);
  a->InsertLayerItem(0, false, false, false, -1, nullptr, 100);
  a->InsertLayerItem(100, false, false, false, -1, nullptr, 50);
  a->InsertLayerItem(150, false, false, false, -1, nullptr, 10);
  // a block inserted where another starts goes before it; with no room on its left the
  // later blocks move right one after another
  TLayerItem* n = a->InsertLayerItem(100, false, false, false, -1, nullptr, 20);
  EXPECT_EQ(a->Items(1), n);
  EXPECT_EQ(Spans(a), (TSpans{{0, 100}, {100, 120}, {120, 170}, {170, 180}}));
  // an insertion inside a block is pushed behind it first
  TLayerItem* k = a->InsertLayerItem(30, false, false, false, -1, nullptr, 5);
  EXPECT_EQ(k->FirstFrame(), 100);
  EXPECT_EQ(Spans(a), (TSpans{{0, 100}, {100, 105}, {105, 125}, {125, 175}, {175, 185}}));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Drop, MovieGivesPictureAndSoundPartners) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 100);
  ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 500));
  EXPECT_EQ(Spans(box, lnFirstClipTop), (TSpans{{450, 550}}));
  EXPECT_EQ(Spans(box, lnAudioSecond), (TSpans{{450, 550}}));
  TLayerItem* pic = Row(box, lnFirstClipTop)->Items(0);
  TLayerItem* snd = Row(box, lnAudioSecond)->Items(0);
  EXPECT_EQ(pic->LinkSynchronizeItem(), snd);
  EXPECT_EQ(snd->LinkSynchronizeItem(), pic);
  EXPECT_TRUE(snd->SynchronizeBothItem());
  EXPECT_EQ(pic->LinkClipGraphic(), movie.get());
  EXPECT_EQ(snd->LevelBoxIfAny()->DefaultLevel(), 50);
  EXPECT_TRUE(box.Modified());
  EXPECT_FALSE(box.BoxState().Contains(bsNoDrawing));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Drop, WhatEachRowTakes) {
  TLayerBox box;
  auto still = MakeClip(ctStillImage, 0, "p.bmp");
  auto anim = MakeClip(ctAnimation, 40, "anim.avi");
  auto sound = MakeClip(ctAudio, 60, "s.wav");
  auto movie = MakeClip(ctMovie, 30, "m.avi");
  // a still gets the step value
  ASSERT_TRUE(DropClip(box, still.get(), lnImage, 200));
  EXPECT_EQ(Spans(box, lnImage), (TSpans{{175, 225}}));
  // nowhere over a block, and only the right kinds
  EXPECT_FALSE(DropClip(box, still.get(), lnImage, 210));
  EXPECT_FALSE(DropClip(box, sound.get(), lnFirstClipTop, 600));
  EXPECT_FALSE(DropClip(box, still.get(), lnAudioFirst, 600));
  EXPECT_FALSE(DropClip(box, still.get(), lnFirstFx3d, 600));
  EXPECT_FALSE(DropClip(box, still.get(), lnSequence, 600));
  EXPECT_TRUE(DropClip(box, anim.get(), lnFirstClipBottom, 600));
  EXPECT_EQ(Row(box, lnAudioThird)->ItemCount(), 0);  // no sound with an animation
  EXPECT_TRUE(DropClip(box, sound.get(), lnAudioFirst, 600));
  // a movie dropped on a sound row gives its sound only
  EXPECT_TRUE(DropClip(box, movie.get(), lnAudioThird, 900));
  EXPECT_EQ(Row(box, lnAudioThird)->ItemCount(), 1);
  EXPECT_EQ(Row(box, lnAudioThird)->Items(0)->LinkSynchronizeItem(), nullptr);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Drop, ClipPartSetsOffsetOnBothPartners) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 500);
  TClipDragger part;
  part.ClipGraphic = movie.get();
  part.ClipType = ctMovie;
  part.Offset = 2000;  // 50 frames
  part.Length = 1000;  // 25 frames
  ASSERT_TRUE(box.DragDrop(TDragSource::FromPart(&part), XOf(box, 300), YOf(box, lnFirstClipBottom)));
  EXPECT_EQ(Spans(box, lnFirstClipBottom), (TSpans{{288, 313}}));
  EXPECT_EQ(Spans(box, lnAudioThird), (TSpans{{288, 313}}));
  EXPECT_EQ(Row(box, lnFirstClipBottom)->Items(0)->OffsetFrame(), 50);
  EXPECT_EQ(Row(box, lnAudioThird)->Items(0)->OffsetFrame(), 50);
  EXPECT_EQ(Row(box, lnAudioThird)->Items(0)->MaxDuration(), 450);
  // a part of a still or a sound part on a picture row is not taken
  part.ClipType = ctStillImage;
  EXPECT_FALSE(box.DragOver(TDragSource::FromPart(&part), XOf(box, 600), YOf(box, lnImage)));
  part.ClipType = ctAudio;
  EXPECT_FALSE(box.DragOver(TDragSource::FromPart(&part), XOf(box, 600), YOf(box, lnImage)));
  EXPECT_TRUE(box.DragOver(TDragSource::FromPart(&part), XOf(box, 600), YOf(box, lnAudioFirst)));
  // a part of length 0 takes the step value
  part.Length = 0;
  ASSERT_TRUE(box.DragDrop(TDragSource::FromPart(&part), XOf(box, 600), YOf(box, lnAudioFirst)));
  EXPECT_EQ(Spans(box, lnAudioFirst), (TSpans{{575, 625}}));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Razor, CutsABlockAndItsPartner) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 100);
  ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 500));
  TLayerItem* pic = Row(box, lnFirstClipTop)->Items(0);
  pic->SetOffsetFrame(7);
  Row(box, lnAudioSecond)->Items(0)->SetOffsetFrame(7);
  box.StartRazor();
  box.MouseDown(mbLeft, 0, XOf(box, 480), YOf(box, lnFirstClipTop));
  box.MouseUp(mbLeft, 0, XOf(box, 480), YOf(box, lnFirstClipTop));
  EXPECT_EQ(box.Tool(), ttPointer);
  EXPECT_EQ(Spans(box, lnFirstClipTop), (TSpans{{450, 480}, {480, 550}}));
  EXPECT_EQ(Spans(box, lnAudioSecond), (TSpans{{450, 480}, {480, 550}}));
  TLayerItem* newPic = Row(box, lnFirstClipTop)->Items(1);
  TLayerItem* newSnd = Row(box, lnAudioSecond)->Items(1);
  EXPECT_EQ(newPic->LinkSynchronizeItem(), newSnd);
  EXPECT_EQ(pic->LinkSynchronizeItem(), Row(box, lnAudioSecond)->Items(0));
  EXPECT_EQ(newPic->OffsetFrame(), 7 + 30);
  EXPECT_EQ(newSnd->OffsetFrame(), 7 + 30);
  EXPECT_EQ(newPic->LinkClipGraphic(), movie.get());
  EXPECT_TRUE(newPic->Selected());
  EXPECT_TRUE(newSnd->Selected());
  EXPECT_FALSE(pic->Selected());
  EXPECT_FALSE(box.BoxState().Contains(bsNoDrawing));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Razor, OnlyInsideABlockOfAPictureOrSoundRow) {
  TLayerBox box;
  TLayerRow* a = Row(box, lnFirstClipTop);
  TLayerItem* b = a->InsertLayerItem(100, false, false, false, -1, nullptr, 50);
  // exactly on the first frame: nothing
  box.StartRazor();
  Click(box, XOf(box, 100), YOf(box, lnFirstClipTop));
  EXPECT_EQ(a->ItemCount(), 1);
  EXPECT_EQ(box.Tool(), ttPointer);  // the razor is used up either way
  // the range row and empty space are no place for it
  box.StartRazor();
  Click(box, XOf(box, 20), YOf(box, lnRange));
  EXPECT_EQ(Row(box, lnRange)->ItemCount(), 1);
  box.StartRazor();
  Click(box, XOf(box, 300), YOf(box, lnFirstClipTop));
  EXPECT_EQ(a->ItemCount(), 1);
  // a block with a locked length is not cut (its first part could not shrink)
  b->SetConstDuration(true);
  box.StartRazor();
  Click(box, XOf(box, 125), YOf(box, lnFirstClipTop));
  EXPECT_EQ(Spans(a), (TSpans{{100, 150}}));
  b->SetConstDuration(false);
  box.StartRazor();
  Click(box, XOf(box, 125), YOf(box, lnFirstClipTop));
  EXPECT_EQ(Spans(a), (TSpans{{100, 125}, {125, 150}}));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Snap, NearestTargetWithGridWinningTies) {
  TLayerBox box;
  box.SetSnapItems(true);
  Row(box, lnImage)->InsertLayerItem(0, false, false, false, -1, nullptr, 77);   // ends at pixel 222
  Row(box, lnFirstClipTop)->InsertLayerItem(80, false, false, false, -1, nullptr, 50);  // starts at 230
  TLayerRow* b = Row(box, lnFirstClipBottom);
  // end edge 222 and start edge 230 both 4 away: the end edge wins
  EXPECT_EQ(b->SnapFrame(226, 5, nullptr, nullptr), 77);
  // grid line 216 and end edge 222 both 3 away: the grid wins
  EXPECT_EQ(b->SnapFrame(219, 5, nullptr, nullptr), 75);
  EXPECT_EQ(b->SnapFrame(229, 5, nullptr, nullptr), 80);
  EXPECT_EQ(b->SnapFrame(250, 5, nullptr, nullptr), -1);
  // ignored blocks and the transition row are no targets
  Row(box, lnFirstFx3d)->InsertLayerItem(0, false, false, false, -1, nullptr, 80);  // ends at 230
  EXPECT_EQ(b->SnapFrame(229, 5, Row(box, lnFirstClipTop)->Items(0), nullptr), -1);
  box.SetSnapItems(false);
  EXPECT_EQ(b->SnapFrame(226, 5, nullptr, nullptr), -1);
}

TEST(MoveItem, DragWithSnappingToAnotherRowsEnd) {
  TLayerBox box;
  box.SetSnapItems(true);
  Row(box, lnImage)->InsertLayerItem(0, false, false, false, -1, nullptr, 77);  // end pixel 222
  TLayerItem* y = Row(box, lnFirstClipTop)->InsertLayerItem(200, false, false, false, -1, nullptr, 50);
  int changes = 0;
  Row(box, lnFirstClipTop)->OnChangeByUser = [&](TLayerRow*) { ++changes; };
  auto [x, yy] = Middle(box, y);
  int grab = x - y->Left();
  // the left edge ends 3 pixels right of the image block's end
  Drag(box, x, yy, 225 + grab, yy);
  EXPECT_EQ(y->FirstFrame(), 77);
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(box.BoxState().Contains(bsDraggingItems));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(MoveItem, SmallPressMovesNothingAndBlocksStopAtNeighbours) {
  TLayerBox box;
  TLayerRow* a = Row(box, lnFirstClipTop);
  a->InsertLayerItem(0, false, false, false, -1, nullptr, 50);
  TLayerItem* b = a->InsertLayerItem(60, false, false, false, -1, nullptr, 50);
  auto [x, y] = Middle(box, b);
  Drag(box, x, y, x + 10, y);  // not more than 10 pixels
  EXPECT_EQ(b->FirstFrame(), 60);
  // dragged 40 frames left it would overlap: it stops at the neighbour's end
  Drag(box, x, y, x - 115, y);
  EXPECT_EQ(b->FirstFrame(), 50);
  // to the right without obstacles
  std::tie(x, y) = Middle(box, b);
  Drag(box, x, y, x + 144, y);
  EXPECT_EQ(b->FirstFrame(), 100);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(MoveItem, AcrossRowsOfTheSameKind) {
  TLayerBox box;
  TLayerItem* b = Row(box, lnFirstClipTop)->InsertLayerItem(100, false, false, false, -1, nullptr, 50);
  auto [x, y] = Middle(box, b);
  // to row B through the transition row
  Drag(box, x, y, x, YOf(box, lnFirstClipBottom), 0, 6);
  EXPECT_EQ(b->Parent(), Row(box, lnFirstClipBottom));
  EXPECT_EQ(Spans(box, lnFirstClipBottom), (TSpans{{100, 150}}));
  EXPECT_EQ(Row(box, lnFirstClipTop)->ItemCount(), 0);
  EXPECT_EQ(box.CaptureRow(), nullptr);
  // a picture block does not go to a sound row; it follows the pointer sideways only
  std::tie(x, y) = Middle(box, b);
  Drag(box, x, y, x + 72, YOf(box, lnAudioFirst));
  EXPECT_EQ(b->Parent(), Row(box, lnFirstClipBottom));
  EXPECT_EQ(b->FirstFrame(), 125);
  // the image row takes picture blocks and gives them an envelope
  std::tie(x, y) = Middle(box, b);
  Drag(box, x, y, x, YOf(box, lnImage), 0, 8);
  EXPECT_EQ(b->Parent(), Row(box, lnImage));
  EXPECT_NE(b->LevelBoxIfAny(), nullptr);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(ResizeItem, EdgesWithSnappingAndLimits) {
  TLayerBox box;
  box.SetSnapItems(true);
  Row(box, lnImage)->InsertLayerItem(0, false, false, false, -1, nullptr, 77);  // end pixel 222
  TLayerRow* a = Row(box, lnFirstClipTop);
  TLayerItem* b = a->InsertLayerItem(0, false, false, false, -1, nullptr, 50);  // [0, 144) pixels
  int y = YOf(box, lnFirstClipTop);
  int resizes = 0, ends = 0;
  a->OnResizing = [&](TLayerRow*, int) { ++resizes; };
  a->OnEndResizing = [&](TLayerRow*) { ++ends; };
  // the right edge snaps to the nearer end edge rather than the grid line 216
  Drag(box, 140, y, 226, y);
  EXPECT_EQ(b->Duration(), 77);
  EXPECT_GT(resizes, 0);
  EXPECT_EQ(ends, 1);
  // to the grid
  Drag(box, 220, y, 290, y);
  EXPECT_EQ(b->LastFrame(), 100);
  box.SetSnapItems(false);
  // the left edge keeps the length at least MinItemWidth (3 frames here)
  Drag(box, 2, y, 400, y);
  EXPECT_EQ(Spans(a), (TSpans{{97, 100}}));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(ResizeItem, LeftEdgeStopsAtThePreviousBlockRightEdgePushes) {
  TLayerBox box;
  TLayerRow* a = Row(box, lnFirstClipTop);
  a->InsertLayerItem(0, false, false, false, -1, nullptr, 50);
  TLayerItem* b = a->InsertLayerItem(100, false, false, false, -1, nullptr, 50);
  a->InsertLayerItem(150, false, false, false, -1, nullptr, 50);
  int y = YOf(box, lnFirstClipTop);
  Drag(box, b->Left() + 2, y, 100, y);
  EXPECT_EQ(Spans(a), (TSpans{{0, 50}, {50, 150}, {150, 200}}));
  // the right edge pushes the later block along
  Drag(box, b->Right() - 2, y, XOf(box, 170), y);
  EXPECT_EQ(Spans(a), (TSpans{{0, 50}, {50, 170}, {170, 220}}));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(ResizeItem, NaturalLengthAndSynchronisedPartner) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 200);
  ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 200));  // [100, 300) with its sound
  TLayerItem* pic = Row(box, lnFirstClipTop)->Items(0);
  TLayerItem* snd = pic->LinkSynchronizeItem();
  int y = YOf(box, lnFirstClipTop);
  // never longer than the clip
  Drag(box, pic->Right() - 2, y, XOf(box, 400), y);
  EXPECT_EQ(pic->LastFrame(), 300);
  // shorter: the sound follows
  Drag(box, pic->Right() - 2, y, XOf(box, 250), y);
  EXPECT_EQ(Spans(box, lnFirstClipTop), (TSpans{{100, 250}}));
  EXPECT_EQ(Spans(box, lnAudioSecond), (TSpans{{100, 250}}));
  // the partner's next block limits the growth of both
  Row(box, lnAudioSecond)->InsertLayerItem(260, false, false, false, -1, nullptr, 30);
  Drag(box, pic->Right() - 2, y, XOf(box, 290), y);
  EXPECT_EQ(pic->LastFrame(), 260);
  EXPECT_EQ(snd->LastFrame(), 260);
  // and on the left the partner's previous block
  Row(box, lnAudioSecond)->InsertLayerItem(60, false, false, false, -1, nullptr, 30);  // [60, 90)
  Drag(box, pic->Left() + 2, y, XOf(box, 20), y);
  EXPECT_EQ(pic->FirstFrame(), 90);
  EXPECT_EQ(snd->FirstFrame(), 90);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Selection, ClickShiftAndCtrl) {
  TLayerBox box;
  TLayerRow* a = Row(box, lnFirstClipTop);
  std::vector<TLayerItem*> b;
  for (int i = 0; i < 5; ++i) b.push_back(a->InsertLayerItem(i * 30, false, false, false, -1, nullptr, 20));
  auto click = [&](int i, TShiftState s = 0) {
    auto [x, y] = Middle(box, b[static_cast<size_t>(i)]);
    Click(box, x, y, s);
  };
  auto selected = [&] {
    std::string s;
    for (auto* i : b) s += i->Selected() ? '1' : '0';
    return s;
  };
  click(1);
  EXPECT_EQ(selected(), "01000");
  click(3, ssCtrl);
  EXPECT_EQ(selected(), "01010");
  click(1, ssCtrl);
  EXPECT_EQ(selected(), "00010");
  click(0, ssCtrl);
  click(4, ssCtrl);
  click(3, ssCtrl);
  EXPECT_EQ(selected(), "10001");
  // as far from the first selected as from the last: the run to the first
  click(2, ssShift);
  EXPECT_EQ(selected(), "11101");
  // a press on a selected block keeps the selection until a release without a move
  auto [x, y] = Middle(box, b[1]);
  box.MouseDown(mbLeft, 0, x, y);
  EXPECT_EQ(selected(), "11101");
  box.MouseUp(mbLeft, 0, x, y);
  EXPECT_EQ(selected(), "01000");
  // empty space clears everything; Esc as well
  Click(box, XOf(box, 600), YOf(box, lnFirstClipTop));
  EXPECT_EQ(selected(), "00000");
  EXPECT_EQ(box.SelectedLayerItemCount(), 0);
  click(4, ssShift);  // nothing selected on the row: a plain click
  EXPECT_EQ(selected(), "00001");
  box.KeyDown(tkEscape, 0);
  EXPECT_EQ(selected(), "00000");
  // the range block is not selected by clicking
  Click(box, XOf(box, 25), YOf(box, lnRange));
  EXPECT_FALSE(Row(box, lnRange)->Items(0)->Selected());
}

TEST(Selection, EventsAndMarchingFrames) {
  TLayerBox box;
  int selectedEvents = 0;
  box.OnSelected = [&](TLayerBox*) { ++selectedEvents; };
  TLayerItem* b = Row(box, lnImage)->InsertLayerItem(0, false, false, false, -1, nullptr, 20);
  EXPECT_FALSE(box.MarchingTimerActive());
  b->SetSelected(true);
  EXPECT_EQ(selectedEvents, 1);
  EXPECT_TRUE(box.MarchingTimerActive());
  box.MarchingTick();
  EXPECT_EQ(Row(box, lnImage)->MotionOffset(), 7);
  b->SetSelected(false);
  EXPECT_FALSE(box.MarchingTimerActive());
}

TEST(ColourBlocks, InsertRecolourAndMenuState) {
  TLayerBox box;
  TLayerRow* a = Row(box, lnFirstClipTop);
  TLayerItem* blue = a->InsertUniformColor(XOf(box, 100), ucBlue, 0);
  ASSERT_NE(blue, nullptr);
  EXPECT_EQ(blue->FirstFrame(), 75);
  EXPECT_EQ(blue->Duration(), 50);
  EXPECT_EQ(blue->MediaType(), ltImage);
  EXPECT_EQ(blue->UniformColorValue(), 0xFF0000u);
  EXPECT_EQ(blue->ClipType(), ctUniformColor);
  int y = YOf(box, lnFirstClipTop) - a->Top();
  auto s = a->ColorMenuState(XOf(box, 100), y);
  EXPECT_TRUE(s.BlueChecked);
  EXPECT_FALSE(s.BlueEnabled);
  EXPECT_TRUE(s.MagentaEnabled);
  EXPECT_TRUE(s.DeleteVisible);
  EXPECT_EQ(a->ApplyUniformColor(XOf(box, 100), y, ucMagenta, 0), blue);
  EXPECT_EQ(blue->UniformColorValue(), 0xFF00FFu);
  EXPECT_EQ(a->ItemCount(), 1);
  // over a media block nothing is offered
  auto still = MakeClip(ctStillImage, 0, "p.bmp");
  ASSERT_TRUE(DropClip(box, still.get(), lnFirstClipTop, 300));
  s = a->ColorMenuState(XOf(box, 300), y);
  EXPECT_FALSE(s.BlueEnabled || s.MagentaEnabled || s.DeleteVisible);
  EXPECT_EQ(a->ApplyUniformColor(XOf(box, 300), y, ucBlue, 0), nullptr);
  // a chosen colour over empty space
  TLayerItem* own = a->ApplyUniformColor(XOf(box, 500), y, ucSelected, 0x123456);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->UniformColor(), ucSelected);
  EXPECT_EQ(own->UniformColorValue(), 0x123456u);
  EXPECT_FALSE(Row(box, lnAudioFirst)->ColorMenuState(0, 5).Visible);
  EXPECT_EQ(Row(box, lnAudioFirst)->InsertUniformColor(0, ucBlue, 0), nullptr);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Sequences, ShortcutBlocks) {
  TLayerBox box;
  int sequenceEvents = 0;
  box.OnSequence = [&](TLayerBox*) { ++sequenceEvents; };
  TLayerRow* seq = Row(box, lnSequence);
  TLayerItem* s = seq->SetSequenceShortcut(XOf(box, 100), 5, 16463);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->FirstFrame(), 100);
  EXPECT_EQ(s->Fx3dName(), "Ctrl+O");
  EXPECT_GT(sequenceEvents, 0);
  EXPECT_EQ(seq->SetSequenceShortcut(XOf(box, 110), 5, 'A'), s);
  EXPECT_EQ(s->Fx3dName(), "A");
  seq->SetSequenceShortcut(XOf(box, 400), 5, 112);
  EXPECT_EQ(seq->UsedShortcutTexts(s), (std::vector<std::string>{"F1"}));
  EXPECT_EQ(Row(box, lnImage)->SetSequenceShortcut(0, 5, 'A'), nullptr);
}

TEST(Keys, ZoomScrollAndOtherKeys) {
  TLayerBox box;
  Row(box, lnFirstClipTop)->InsertLayerItem(0, false, false, false, -1, nullptr, 2000);
  box.SetFirstFrame(37);
  EXPECT_EQ(box.FirstFrame(), 25);  // the view starts on a thumbnail
  box.SetFirstFrame(500);
  // zooming out keeps the middle frame: 500 + 278 / 2 = 639, 639 - 556 / 2 = 361 -> 350
  box.KeyDown(tkSubtract, 0);
  EXPECT_EQ(box.Zoom(), zmTwoSeconds);
  EXPECT_EQ(box.FirstFrame(), 350);
  box.KeyDown(tkRight, 0);
  EXPECT_EQ(box.FirstFrame(), 400);
  box.KeyDown(tkLeft, 0);
  box.KeyDown(tkLeft, 0);
  EXPECT_EQ(box.FirstFrame(), 300);
  box.SetZoom(zmTwoMinutes);
  box.SetModified(false);
  box.KeyDown(tkSubtract, 0);
  EXPECT_EQ(box.Zoom(), zmTwoMinutes);
  EXPECT_FALSE(box.Modified());
  box.SetZoom(zmOneFrame);
  box.KeyDown(tkAdd, 0);
  EXPECT_EQ(box.Zoom(), zmOneFrame);
  // keys the box does not use go to the sequences window
  int offered = 0;
  box.OnSequenceKey = [&](int code, TShiftState) {
    offered = code;
    return true;
  };
  EXPECT_TRUE(box.KeyDown(tkOther, ssCtrl, 'O'));
  EXPECT_EQ(offered, 'O');
  EXPECT_TRUE(box.KeyDown(tkAdd, ssCtrl, 0x6B));  // with a modifier it is not a zoom
  EXPECT_EQ(box.Zoom(), zmOneFrame);
}

TEST(Envelope, DraggingPointsWithTheMouse) {
  TLayerBox box;
  TLayerRow* s1 = Row(box, lnAudioFirst);
  s1->SetLevelBoxVisible(true);
  ASSERT_EQ(s1->Height(), 61);
  TLayerItem* b = s1->InsertLayerItem(0, false, false, false, -1, nullptr, 100);
  TLevelBox* lb = b->LevelBox();
  EXPECT_EQ(lb->TopPixel(), 5);
  EXPECT_EQ(lb->BottomPixel(), 57);
  int lineY = lb->LevelToY(50);
  // press on the line inserts a point; dragging puts it at frame 50, level 80
  s1->MouseDown(mbLeft, 0, 144, lineY);
  ASSERT_EQ(lb->Count(), 3);
  s1->MouseMove(0, 144, 13);
  s1->MouseUp(mbLeft, 0, 144, 13);
  ASSERT_EQ(lb->Count(), 3);
  EXPECT_EQ(lb->Points(1)->Frame, 50);
  EXPECT_EQ(lb->Points(1)->Level, 80);
  // just above the band stores 100; far above marks the point and removes it
  s1->MouseDown(mbLeft, 0, 144, lb->LevelToY(80));
  s1->MouseMove(0, 144, -2);
  EXPECT_EQ(lb->Points(1)->Level, 100);
  s1->MouseMove(0, 144, -20);
  s1->MouseUp(mbLeft, 0, 144, -20);
  EXPECT_EQ(lb->Count(), 2);
  // with Shift only the level changes; an end point dragged out comes back to 50
  TLevelItem* p = lb->AddPoint(25);
  s1->MouseDown(mbLeft, ssShift, lb->Points(1)->PixelX, lb->LevelToY(50));
  s1->MouseMove(ssShift, 250, 45);  // (61 - 45 - 6) x 101 / 53 = 19.06
  s1->MouseUp(mbLeft, ssShift, 250, 45);
  EXPECT_EQ(p->Frame, 25);
  EXPECT_EQ(p->Level, 19);
  s1->MouseDown(mbLeft, 0, 288, lb->LevelToY(50));
  s1->MouseMove(0, 288, 200);
  s1->MouseUp(mbLeft, 0, 288, 200);
  EXPECT_EQ(lb->EndPoint()->Level, 50);
  EXPECT_EQ(lb->EndPoint()->Frame, 100);
}

}  // namespace
}  // namespace movara

namespace movara {
namespace {

TEST(StandaloneRow, EditsWithoutABox) {
  // a row outside a box snaps to its own blocks and has a time base of 1
  TLayerRow row(nullptr, ltBmpAvi, lnNone);
  EXPECT_TRUE(row.SnapItems());
  EXPECT_EQ(row.TimeBase(), 1);
  TLayerItem* a = row.InsertLayerItem(0, false, false, false, -1, nullptr, 50);
  TLayerItem* b = row.InsertLayerItem(20, false, false, false, -1, nullptr, 10);  // pushed behind a
  EXPECT_EQ(b->FirstFrame(), 50);
  EXPECT_EQ(row.SnapFrame(146, 5, nullptr, nullptr), 50);
  EXPECT_EQ(row.DefaultFx3dID(), 257);
  row.SetDefaultFx3dID(300);
  EXPECT_EQ(row.DefaultFx3dID(), 300);
  b->SetSelected(true);
  a->OnNeedShow(a);  // shows a alone
  EXPECT_TRUE(a->Selected());
  EXPECT_FALSE(b->Selected());
  EXPECT_TRUE(row.DoSplitItem(FrameToPixel(zmOneSecond, isNormal, 25), 10));
  EXPECT_EQ(row.ItemCount(), 3);
}

TEST(KeyRow, KeyingBlocks) {
  TLayerRow row(nullptr, ltKey, lnNone);
  EXPECT_EQ(row.Height(), 11);
  TLayerItem* k = row.SetKeyItem(FrameToPixel(zmOneSecond, isNormal, 100), 5, 0xFF00FF, cmKeyOnOtherLayer, 200, 30);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->FirstFrame(), 100);
  EXPECT_EQ(k->ColorKey(), 0xFF00FFu);
  EXPECT_EQ(k->StoredComposeMode(), cmKeyOnOtherLayer);
  EXPECT_EQ(k->ComposeMode(), cmNone);  // keying reads only on the image row
  EXPECT_EQ(k->YUVHi(), 200);
  EXPECT_EQ(row.SetKeyItem(FrameToPixel(zmOneSecond, isNormal, 110), 5, 0x00FF00, cmKeyOnThisLayer, 1, 2), k);
  EXPECT_EQ(k->ColorKey(), 0x00FF00u);
  EXPECT_EQ(row.ItemCount(), 1);
  TLayerRow image(nullptr, ltImage, lnNone);
  EXPECT_EQ(image.SetKeyItem(0, 5, 0, cmNone, 0, 0), nullptr);
}

}  // namespace
}  // namespace movara
