// Editing across rows: group moves, copy and paste, deleting, partners' alignment, the
// transition row, counts and ranges, and random edits that must keep every invariant.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "LayersTestSupport.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "fx3d/FxList.h"
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

TLayerItem* Put(TLayerBox& box, TLayerNumber n, int first, int duration) {
  return Row(box, n)->InsertLayerItem(first, false, true, false, -1, nullptr, duration);
}

void DragItem(TLayerBox& box, TLayerItem* item, int dx, TLayerNumber toRow = lnNone, TShiftState shift = 0) {
  auto [x, y] = Middle(box, item);
  Drag(box, x, y, x + dx, toRow == lnNone ? y : YOf(box, toRow), shift, 6);
}

// ---------------------------------------------------------------------------------
// The transition row

TEST(Transitions, OneBlockPerOverlapKeepingItsEffect) {
  TLayerBox box;
  Put(box, lnFirstClipTop, 0, 100);
  TLayerItem* b = Put(box, lnFirstClipBottom, 80, 100);
  EXPECT_EQ(Spans(box, lnFirstFx3d), (TSpans{{80, 100}}));
  TLayerItem* t = Row(box, lnFirstFx3d)->Items(0);
  EXPECT_EQ(t->Fx3dID(), 257);
  t->SetFx3dID(0x102);
  // a changed overlap keeps the effect of its transition
  b->SetFirstFrame(70);
  EXPECT_EQ(Spans(box, lnFirstFx3d), (TSpans{{70, 100}}));
  EXPECT_EQ(Row(box, lnFirstFx3d)->Items(0)->Fx3dID(), 0x102);
  // moved away the transition goes; back again it is new, with the default effect
  DragItem(box, b, 3 * 144);
  EXPECT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 0);
  DragItem(box, b, -3 * 144);
  ASSERT_EQ(Spans(box, lnFirstFx3d), (TSpans{{70, 100}}));
  EXPECT_EQ(Row(box, lnFirstFx3d)->Items(0)->Fx3dID(), 257);
  // the effect the user chooses becomes the default of new transitions
  box.ChooseEffect(Row(box, lnFirstFx3d)->Items(0), 0x105);
  EXPECT_EQ(box.DefaultFx3dID(), 0x105);
  Put(box, lnFirstClipTop, 300, 50);
  Put(box, lnFirstClipBottom, 320, 50);
  EXPECT_EQ(Row(box, lnFirstFx3d)->Items(1)->Fx3dID(), 0x105);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Transitions, InnerBlocksAndSeveralOverlaps) {
  TLayerBox box;
  Put(box, lnFirstClipTop, 0, 100);
  Put(box, lnFirstClipBottom, 20, 30);
  EXPECT_EQ(Spans(box, lnFirstFx3d), (TSpans{{20, 50}}));
  Put(box, lnFirstClipTop, 150, 100);
  Put(box, lnFirstClipBottom, 90, 70);  // pushed to [90, 160): meets both A blocks
  EXPECT_EQ(Spans(box, lnFirstClipBottom), (TSpans{{20, 50}, {90, 160}}));
  EXPECT_EQ(Spans(box, lnFirstFx3d), (TSpans{{20, 50}, {90, 100}, {150, 160}}));
  Put(box, lnFirstClipBottom, 400, 10);
  Put(box, lnFirstClipTop, 400, 10);  // equal blocks
  EXPECT_EQ(Spans(box, lnFirstFx3d).back(), (std::pair<int, int>{400, 410}));
  // the image row makes no transitions
  Put(box, lnImage, 0, 500);
  EXPECT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 4);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Transitions, SelectedWithBothBlocksAndRandomEffects) {
  TLayerBox box;
  TLayerItem* a = Put(box, lnFirstClipTop, 0, 100);
  TLayerItem* b = Put(box, lnFirstClipBottom, 50, 100);
  a->SetSelected(true);
  b->SetSelected(true);
  box.UpdateLayerFx3d();
  EXPECT_TRUE(Row(box, lnFirstFx3d)->Items(0)->Selected());
  EnsureFxList().Randomize(7);
  box.MakeRandomFx3d();
  int32_t id = Row(box, lnFirstFx3d)->Items(0)->Fx3dID();
  EXPECT_FALSE(EnsureFxList().DescriptionByID(id).empty());
  EXPECT_NE(id, StillFxID);
  // no rebuild while a project is read
  box.IncludeState(bsLoadingItems);
  Put(box, lnFirstClipBottom, 200, 10);
  Put(box, lnFirstClipTop, 200, 10);
  EXPECT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 1);
  box.ExcludeState(bsLoadingItems);
  box.UpdateLayerFx3d();
  EXPECT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 2);
  EXPECT_TRUE(CheckInvariants(box));
}

// ---------------------------------------------------------------------------------
// Group moves

TEST(MoveSelection, ClampsAtFrameZeroAndAtUnselectedNeighbours) {
  TLayerBox box;
  TLayerItem* a = Put(box, lnFirstClipTop, 10, 20);
  TLayerItem* b = Put(box, lnFirstClipBottom, 100, 50);
  Click(box, Middle(box, a).first, Middle(box, a).second);
  Click(box, Middle(box, b).first, Middle(box, b).second, ssCtrl);
  ASSERT_EQ(box.SelectedLayerItemCount(), 2);
  // 50 frames left would take the first block below 0: both move 10
  DragItem(box, b, -144);
  EXPECT_EQ(a->FirstFrame(), 0);
  EXPECT_EQ(b->FirstFrame(), 90);
  EXPECT_EQ(box.SelectedLayerItemCount(), 2);
  EXPECT_TRUE(CheckInvariants(box));

  TLayerBox box2;
  Put(box2, lnFirstClipTop, 0, 50);
  TLayerItem* c = Put(box2, lnFirstClipTop, 60, 20);
  TLayerItem* d = Put(box2, lnFirstClipBottom, 200, 50);
  c->SetSelected(true);
  d->SetSelected(true);
  DragItem(box2, d, -288);
  EXPECT_EQ(Spans(box2, lnFirstClipTop), (TSpans{{0, 50}, {50, 70}}));
  EXPECT_EQ(d->FirstFrame(), 190);
  DragItem(box2, d, 144);
  EXPECT_EQ(c->FirstFrame(), 100);
  EXPECT_EQ(d->FirstFrame(), 240);
  EXPECT_TRUE(CheckInvariants(box2));
}

TEST(MoveSelection, PictureAndSoundMoveDownTogether) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 100);
  ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 100));
  TLayerItem* pic = Row(box, lnFirstClipTop)->Items(0);
  TLayerItem* snd = pic->LinkSynchronizeItem();
  Click(box, Middle(box, pic).first, Middle(box, pic).second);
  ASSERT_TRUE(snd->Selected());
  // down one row and 25 frames right in one gesture
  auto [x, y] = Middle(box, pic);
  box.MouseDown(mbLeft, 0, x, y);
  box.MouseMove(0, x, YOf(box, lnFirstFx3d));
  box.MouseMove(0, x, YOf(box, lnFirstClipBottom));
  EXPECT_EQ(box.CaptureRow(), Row(box, lnFirstClipBottom));
  box.MouseMove(0, x + 72, YOf(box, lnFirstClipBottom));
  box.MouseUp(mbLeft, 0, x + 72, YOf(box, lnFirstClipBottom));
  EXPECT_EQ(pic->Parent(), Row(box, lnFirstClipBottom));
  EXPECT_EQ(snd->Parent(), Row(box, lnAudioThird));
  EXPECT_EQ(pic->FirstFrame(), 75);
  EXPECT_EQ(snd->FirstFrame(), 75);
  EXPECT_EQ(pic->LinkSynchronizeItem(), snd);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(MoveSelection, RowShiftLimitsAndRefusals) {
  TLayerBox box;
  TLayerItem* img = Put(box, lnImage, 0, 50);
  TLayerItem* a = Put(box, lnFirstClipTop, 100, 50);
  img->SetSelected(true);
  a->SetSelected(true);
  // image and A hold selected blocks: no row up, one row down
  DragItem(box, a, 0, lnImage);
  EXPECT_EQ(a->Parent(), Row(box, lnFirstClipTop));
  // the gesture moved nothing, so its release left the pressed block alone selected
  EXPECT_FALSE(img->Selected());
  img->SetSelected(true);
  DragItem(box, img, 0, lnFirstClipTop);
  EXPECT_EQ(img->Parent(), Row(box, lnFirstClipTop));
  EXPECT_EQ(a->Parent(), Row(box, lnFirstClipBottom));
  EXPECT_EQ(Row(box, lnImage)->ItemCount(), 0);
  EXPECT_TRUE(CheckInvariants(box));

  // an unselected block in the way refuses the vertical move
  TLayerBox box2;
  Put(box2, lnFirstClipBottom, 50, 100);
  TLayerItem* p = Put(box2, lnFirstClipTop, 50, 100);
  TLayerItem* q = Put(box2, lnFirstClipTop, 200, 50);
  p->SetSelected(true);
  q->SetSelected(true);
  DragItem(box2, p, 0, lnFirstClipBottom);
  EXPECT_EQ(p->Parent(), Row(box2, lnFirstClipTop));
  EXPECT_EQ(q->Parent(), Row(box2, lnFirstClipTop));
  EXPECT_TRUE(CheckInvariants(box2));

  // a selected transition holds the picture rows in place
  TLayerBox box3;
  TLayerItem* x = Put(box3, lnFirstClipTop, 0, 100);
  TLayerItem* y = Put(box3, lnFirstClipBottom, 50, 100);
  x->SetSelected(true);
  y->SetSelected(true);
  DragItem(box3, x, 72);  // a horizontal move rebuilds and selects the transition
  ASSERT_TRUE(Row(box3, lnFirstFx3d)->Items(0)->Selected());
  DragItem(box3, x, 0, lnImage);
  EXPECT_EQ(x->Parent(), Row(box3, lnFirstClipTop));
  EXPECT_TRUE(CheckInvariants(box3));
}

// ---------------------------------------------------------------------------------
// Copy and paste

TEST(Paste, PartnersWithoutARowShift) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 100);
  ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 100));
  TLayerItem* pic = Row(box, lnFirstClipTop)->Items(0);
  TLayerItem* snd = pic->LinkSynchronizeItem();
  pic->SetOffsetFrame(12);
  snd->SetOffsetFrame(12);
  pic->SetSelected(true);
  int clipboardEvents = 0;
  box.OnClipboard = [&](TLayerBox*) { ++clipboardEvents; };
  box.CopyToClipboard();
  EXPECT_EQ(clipboardEvents, 1);
  EXPECT_TRUE(pic->InClipboard() && snd->InClipboard());
  EXPECT_FALSE(box.CanPasteAt(120, Row(box, lnFirstClipTop)));  // over the sources
  EXPECT_FALSE(box.CanPasteAt(300, Row(box, lnFirstFx3d)));
  EXPECT_FALSE(box.CanPasteAt(300, Row(box, lnRange)));
  ASSERT_TRUE(box.DragDrop(TDragSource::FromBox(&box), XOf(box, 300), YOf(box, lnFirstClipTop)));
  EXPECT_EQ(Spans(box, lnFirstClipTop), (TSpans{{50, 150}, {300, 400}}));
  EXPECT_EQ(Spans(box, lnAudioSecond), (TSpans{{50, 150}, {300, 400}}));
  TLayerItem* cp = Row(box, lnFirstClipTop)->Items(1);
  TLayerItem* cs = Row(box, lnAudioSecond)->Items(1);
  EXPECT_EQ(cp->LinkSynchronizeItem(), cs);
  EXPECT_TRUE(cp->SynchronizeBothItem());
  EXPECT_EQ(cp->OffsetFrame(), 12);
  EXPECT_EQ(cp->LinkClipGraphic(), movie.get());
  EXPECT_TRUE(cp->Selected() && cs->Selected());
  EXPECT_FALSE(pic->Selected() || snd->Selected());
  EXPECT_FALSE(cp->InClipboard());
  EXPECT_TRUE(pic->InClipboard());  // the marks stay for another paste
  EXPECT_EQ(cs->LevelBoxIfAny()->Count(), 2);  // a fresh envelope
  EXPECT_TRUE(box.Modified());
  EXPECT_TRUE(CheckInvariants(box));
  // a change to a marked block clears every mark
  pic->SetFirstFrame(0);
  EXPECT_FALSE(snd->InClipboard());
  EXPECT_FALSE(box.CanPasteAt(600, Row(box, lnFirstClipTop)));
}

TEST(Paste, WithARowShiftAndItsLimits) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 100);
  ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 100));
  Row(box, lnFirstClipTop)->Items(0)->SetSelected(true);
  box.CopyToClipboard();
  ASSERT_TRUE(box.PasteAt(500, Row(box, lnFirstClipBottom)));
  EXPECT_EQ(Spans(box, lnFirstClipBottom), (TSpans{{500, 600}}));
  EXPECT_EQ(Spans(box, lnAudioThird), (TSpans{{500, 600}}));
  EXPECT_EQ(Row(box, lnFirstClipBottom)->Items(0)->LinkSynchronizeItem(), Row(box, lnAudioThird)->Items(0));
  ASSERT_TRUE(box.PasteAt(800, Row(box, lnImage)));
  EXPECT_EQ(Spans(box, lnImage), (TSpans{{800, 900}}));
  EXPECT_EQ(Spans(box, lnAudioFirst), (TSpans{{800, 900}}));
  // marks on the image row and row A allow one row down only
  Row(box, lnImage)->Items(0)->SetSelected(true);
  Row(box, lnFirstClipTop)->Items(0)->SetSelected(true);
  box.CopyToClipboard();
  EXPECT_FALSE(box.CanPasteAt(2000, Row(box, lnFirstClipBottom)));
  EXPECT_TRUE(box.CanPasteAt(2000, Row(box, lnFirstClipTop)));
  EXPECT_FALSE(box.CanPasteAt(2000, Row(box, lnAudioFirst)));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Paste, TransitionsTravelWithTheirBlocks) {
  TLayerBox box;
  TLayerItem* a = Put(box, lnFirstClipTop, 0, 100);
  TLayerItem* b = Put(box, lnFirstClipBottom, 80, 100);
  TLayerItem* t = Row(box, lnFirstFx3d)->Items(0);
  t->SetFx3dID(0x110);
  a->SetSelected(true);
  b->SetSelected(true);
  t->SetSelected(true);
  box.CopyToClipboard();
  ASSERT_TRUE(box.PasteAt(300, Row(box, lnFirstClipTop)));
  EXPECT_EQ(Spans(box, lnFirstFx3d), (TSpans{{80, 100}, {380, 400}}));
  EXPECT_EQ(Row(box, lnFirstFx3d)->Items(1)->Fx3dID(), 0x110);
  // with a transition marked the rows cannot shift
  EXPECT_FALSE(box.CanPasteAt(1000, Row(box, lnFirstClipBottom)));
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Paste, PartnerLeftBehindAndAFailedCopy) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 50);
  ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 25));
  TLayerItem* pic = Row(box, lnFirstClipTop)->Items(0);
  pic->Desynchronize();
  pic->SetSelected(true);
  box.CopyToClipboard();
  std::vector<std::string> lines;
  TraceSink old = SetTraceSink([&](const std::string& l) { lines.push_back(l); });
  ASSERT_TRUE(box.PasteAt(100, Row(box, lnFirstClipTop)));
  SetTraceSink(old);
  EXPECT_EQ(Row(box, lnFirstClipTop)->Items(1)->LinkSynchronizeItem(), nullptr);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "[L03] Update synchronized item skipped (LT = 1, FF = 100)"),
            lines.end());
  // the row changes between the check and the paste: the paste stops with [L02]
  ASSERT_TRUE(box.CanPasteAt(300, Row(box, lnFirstClipTop)));
  Put(box, lnFirstClipTop, 320, 10);
  try {
    box.PasteItems(Row(box, lnFirstClipTop));
    FAIL() << "no exception";
  } catch (const ELayerBox& e) {
    EXPECT_STREQ(e.what(), "[L02] Nieprawidłowa operacja wklejenia elementów ze schowka");
  }
  EXPECT_FALSE(box.BoxState().Contains(bsLoadingItems));
  EXPECT_TRUE(CheckInvariants(box));
}

// ---------------------------------------------------------------------------------
// Deleting and aligning

TEST(Delete, SelectedBlocksAndTheirTransitions) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 100);
  ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 100));
  Put(box, lnFirstClipBottom, 120, 50);
  ASSERT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 1);
  TLayerItem* pic = Row(box, lnFirstClipTop)->Items(0);
  Click(box, Middle(box, pic).first, Middle(box, pic).second);
  EXPECT_TRUE(box.KeyDown(tkDelete, 0));
  EXPECT_EQ(Row(box, lnFirstClipTop)->ItemCount(), 0);
  EXPECT_EQ(Row(box, lnAudioSecond)->ItemCount(), 0);
  EXPECT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 0);
  EXPECT_FALSE(box.BoxState().Contains(bsDeletingItems));
  EXPECT_FALSE(movie->Used());
  // one block of a pair: the other loses its partner
  ASSERT_TRUE(DropClip(box, movie.get(), lnImage, 500));
  TLayerItem* p2 = Row(box, lnImage)->Items(0);
  p2->Desynchronize();
  p2->SetSelected(true);
  box.DeleteSelected();
  EXPECT_EQ(Row(box, lnAudioFirst)->Items(0)->LinkSynchronizeItem(), nullptr);
  EXPECT_TRUE(CheckInvariants(box));
}

TEST(Delete, ClearingTheProjectAsksFirst) {
  TLayerBox box;
  Put(box, lnFirstClipTop, 0, 100);
  Put(box, lnAudioFirst, 0, 100);
  {
    TScopedMessageRecorder rec;
    EXPECT_FALSE(box.ConfirmClearProject());  // the safe answer keeps everything
    EXPECT_EQ(rec.Texts(), (std::vector<std::string>{"Czy napewno chcesz usunąć wszystkie elementy ?"}));
    ASSERT_EQ(rec.Recorder().Requests().size(), 1u);
    EXPECT_EQ(rec.Recorder().Requests()[0].Caption, "Uwaga !");
    EXPECT_EQ(rec.Recorder().Requests()[0].Buttons, TMsgButtons::OkCancel);
    EXPECT_EQ(box.TotalItemCount(), 3);
    rec.Recorder().QueueAnswer(TMsgAnswer::Ok);
    EXPECT_TRUE(box.ConfirmClearProject());
  }
  EXPECT_EQ(box.TotalItemCount(), 1);
  EXPECT_EQ(Spans(box, lnRange), (TSpans{{0, 50}}));
  box.ClearProject(false);
  EXPECT_EQ(box.TotalItemCount(), 0);
  box.EnsureRangeItem();
  EXPECT_EQ(Spans(box, lnRange), (TSpans{{0, 50}}));
}

TEST(Align, PartnersTakeTheirCommonExtent) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 100);
  ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 150));  // [100, 200)
  TLayerItem* pic = Row(box, lnFirstClipTop)->Items(0);
  TLayerItem* snd = pic->LinkSynchronizeItem();
  pic->Desynchronize();
  snd->SetFirstFrame(130);
  snd->SetDuration(50);
  pic->SetDuration(60);  // [100, 160) and [130, 180)
  pic->Synchronize();
  pic->Align();
  EXPECT_EQ(Spans(box, lnFirstClipTop), (TSpans{{100, 180}}));
  EXPECT_EQ(Spans(box, lnAudioSecond), (TSpans{{100, 180}}));
  // neighbours limit it, and so does the clip's length
  pic->Desynchronize();
  snd->SetDuration(20);
  Put(box, lnAudioSecond, 50, 60);  // ends at 110: no overlap with [100, 120)? it is pushed
  EXPECT_TRUE(CheckInvariants(box, false));
  TLayerItem* s = snd;
  pic->Synchronize();
  box.RowByNumber(lnFirstClipTop)->AlignSynchronizeItem(pic, s);
  EXPECT_EQ(pic->FirstFrame(), s->FirstFrame());
  EXPECT_EQ(pic->Duration(), s->Duration());
  EXPECT_TRUE(CheckInvariants(box));
  // nothing in common: traced and left alone
  std::vector<std::string> lines;
  TraceSink old = SetTraceSink([&](const std::string& l) { lines.push_back(l); });
  TLayerItem* x = Put(box, lnFirstClipBottom, 300, 10);
  TLayerItem* y = Put(box, lnAudioThird, 300, 10);
  Put(box, lnAudioThird, 290, 10);
  Put(box, lnFirstClipBottom, 310, 10);
  box.RowByNumber(lnFirstClipBottom)->AlignSynchronizeItem(x, Put(box, lnAudioThird, 600, 10));
  SetTraceSink(old);
  (void)y;
  EXPECT_TRUE(CheckInvariants(box));
}

// ---------------------------------------------------------------------------------
// State, counts and ranges

TEST(LayerBoxState, ModifiedAndItsEvents) {
  TLayerBox box;
  int any = 0, mods = 0, seqs = 0;
  box.OnAnyModified = [&](TLayerBox*) { ++any; };
  box.OnModified = [&](TLayerBox*) { ++mods; };
  box.OnSequence = [&](TLayerBox*) { ++seqs; };
  box.SetModified(true);  // nothing but the range block: not modified
  EXPECT_FALSE(box.Modified());
  EXPECT_EQ(any, 0);
  Row(box, lnRange)->Items(0)->SetDuration(80);
  EXPECT_FALSE(box.Modified());
  Put(box, lnFirstClipTop, 0, 10);
  EXPECT_TRUE(box.Modified());
  EXPECT_GT(any, 0);
  EXPECT_GT(mods, 0);
  EXPECT_EQ(seqs, 0);
  Put(box, lnSequence, 0, 10);
  EXPECT_GT(seqs, 0);
  box.SetModified(false);
  box.SetFirstLayerDoKey(true);
  EXPECT_TRUE(box.Modified());
}

TEST(LayerBoxState, CountsIndexesAndRanges) {
  TLayerBox box;
  const TLayerNumber order[] = {lnSequence,        lnImage,      lnFirstClipTop, lnFirstFx3d,
                                lnFirstClipBottom, lnAudioFirst, lnAudioSecond,  lnAudioThird};
  std::vector<TLayerItem*> items{Row(box, lnRange)->Items(0)};
  for (TLayerNumber n : order) items.push_back(Row(box, n)->InsertLayerItem(1000, false, false, false, -1, nullptr, 10));
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(box.ItemByIndex(i), items[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(box.IndexOfItem(items[static_cast<size_t>(i)]), i);
  }
  EXPECT_EQ(box.ItemByIndex(9), nullptr);
  EXPECT_EQ(box.ExecutableItemCount(), 3);
  EXPECT_EQ(box.TotalItemCount(), 9);
  Put(box, lnSequence, 3000, 100);
  Put(box, lnFirstClipTop, 1500, 500);
  EXPECT_EQ(box.ProjectEndFrame(), 2000);
  EXPECT_EQ(box.ProjectEndFrame(true), 3100);
  TRangeList list;
  box.FillRangeList(list, rkRange);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Ranges(0)->Start, 0);
  EXPECT_EQ(list.Ranges(0)->Length, 2000);
  box.FillRangeList(list, rkSequences);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Ranges(1)->Start, 120000);
  EXPECT_EQ(box.RangeDuration(rkSequences), 110);
  box.FillRangeList(list, rkAll);
  EXPECT_EQ(list.Ranges(0)->Length, 80000);
  EXPECT_EQ(box.RangeDuration(rkAll), 2000);
  TLayerBox empty;
  EXPECT_EQ(empty.RangeDuration(rkSequences), 0);
  empty.FillRangeList(list, rkSequences);
  EXPECT_EQ(list.Count(), 0);
}

TEST(LayerBoxState, ScrollBarAndShowingABlock) {
  TLayerBox box;
  EXPECT_FALSE(box.ScrollBar().Visible);
  TLayerItem* far = Put(box, lnFirstClipTop, 1000, 50);
  Put(box, lnFirstClipTop, 1950, 50);
  const TTimeLineScrollBar& sb = box.ScrollBar();
  EXPECT_TRUE(sb.Visible);
  EXPECT_EQ(sb.Max, 1950);
  EXPECT_EQ(sb.LargeChange, 50);
  EXPECT_EQ(sb.SmallChange, 25);
  // a block after the view: the view ends one thumbnail after it (278 frames visible)
  far->OnNeedShow(far);
  EXPECT_TRUE(far->Selected());
  EXPECT_EQ(box.FirstFrame(), 775);
  TLayerItem* near = Put(box, lnFirstClipBottom, 100, 50);
  box.ShowItem(near);
  EXPECT_EQ(box.FirstFrame(), 100);
  EXPECT_FALSE(far->Selected());
}

// ---------------------------------------------------------------------------------
// Random edits through the user's operations: every invariant after every step. All
// media are movies dropped on picture rows, so every picture block has its sound
// partner and the partners must stay in step whatever happens.

TEST(TimeLineRandom, EditsKeepEveryInvariant) {
  const TLayerNumber pictures[] = {lnImage, lnFirstClipTop, lnFirstClipBottom};
  const TLayerNumber movable[] = {lnImage, lnFirstClipTop, lnFirstClipBottom, lnAudioFirst, lnAudioSecond, lnAudioThird};
  for (uint32_t seed = 1; seed <= 16; ++seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
    TLayerBox box;
    box.SetSnapItems(seed % 2 == 0);
    std::vector<std::unique_ptr<TClipGraphic>> clips;
    for (int len : {30, 60, 90, 150}) clips.push_back(MakeClip(ctMovie, len, "m" + std::to_string(len) + ".avi"));
    auto randomItem = [&](TLayerNumber& n) -> TLayerItem* {
      n = movable[pick(6)];
      TLayerRow* r = Row(box, n);
      return r->ItemCount() ? r->Items(pick(r->ItemCount())) : nullptr;
    };
    for (int step = 0; step < 300; ++step) {
      std::string what;
      TLayerNumber n = lnNone;
      switch (pick(15)) {
        case 0:
        case 1:
        case 2: {
          TLayerNumber row = pictures[pick(3)];
          int frame = pick(900);
          what = "drop on " + std::to_string(row) + " at " + std::to_string(frame);
          DropClip(box, clips[static_cast<size_t>(pick(4))].get(), row, frame);
          break;
        }
        case 3:
        case 4: {
          TLayerItem* it = randomItem(n);
          if (!it) break;
          int dx = pick(301) - 150;
          TLayerNumber to = pick(3) == 0 ? movable[pick(6)] : lnNone;
          what = "drag " + std::to_string(it->FirstFrame()) + " on " + std::to_string(n) + " by " + std::to_string(dx) +
                 " to " + std::to_string(to);
          DragItem(box, it, dx, to);
          break;
        }
        case 5: {
          TLayerItem* it = randomItem(n);
          if (!it) break;
          bool left = pick(2) == 0;
          int x = (left ? it->Left() + 1 : it->Right() - 1) - FrameToPixel(box.Zoom(), box.IconSize(), box.FirstFrame());
          int y = YOf(box, n);
          int dx = pick(201) - 100;
          what = "resize " + std::to_string(left) + " of " + std::to_string(it->FirstFrame()) + " by " + std::to_string(dx);
          Drag(box, x, y, x + dx, y);
          break;
        }
        case 6: {
          TLayerItem* it = randomItem(n);
          if (!it) break;
          int f = it->FirstFrame() + pick(it->Duration());
          what = "razor at " + std::to_string(f) + " on " + std::to_string(n);
          box.StartRazor();
          Click(box, XOf(box, f), YOf(box, n));
          break;
        }
        case 7:
        case 11:
        case 12: {
          TLayerItem* it = randomItem(n);
          if (!it) break;
          TShiftState s = std::vector<TShiftState>{0, ssShift, ssCtrl, ssCtrl}[static_cast<size_t>(pick(4))];
          what = "click " + std::to_string(s);
          Click(box, Middle(box, it).first, Middle(box, it).second, s);
          break;
        }
        case 8: {
          box.CopyToClipboard();
          TLayerNumber row = movable[pick(6)];
          int frame = pick(1200);
          what = "paste on " + std::to_string(row) + " at " + std::to_string(frame);
          if (box.CanPasteAt(frame, Row(box, row))) box.PasteItems(Row(box, row));
          break;
        }
        case 9:
          what = "delete";
          if (pick(3) == 0) box.KeyDown(tkDelete, 0);
          break;
        case 13: {
          // the user removes a resource: every block showing it goes
          size_t k = static_cast<size_t>(pick(4));
          what = "remove clip " + std::to_string(k);
          if (pick(3) == 0) clips[k] = MakeClip(ctMovie, 20 + pick(100), "n" + std::to_string(step) + ".avi");
          break;
        }
        case 10: {
          static const TZoom zooms[] = {zmOneFrame, zmTwelveFrames, zmOneSecond, zmTwoSeconds, zmTwoMinutes}; box.SetIconSize(static_cast<TIconSize>(pick(4)));
          what = "zoom";
          box.SetZoom(zooms[pick(5)]);
          break;
        }
        default:
          what = "scroll / escape";
          if (pick(2))
            box.SetFirstFrame(pick(300));
          else
            box.KeyDown(tkEscape, 0);
          break;
      }
      ASSERT_TRUE(CheckInvariants(box)) << "seed " << seed << " step " << step << ": " << what;
      ASSERT_EQ(box.CaptureRow(), nullptr);
      ASSERT_TRUE(box.BoxState().Empty());
    }
  }
}

}  // namespace
}  // namespace movara

namespace movara {
namespace {

TEST(MoveSelection, CalledDirectlyRebuildsTheTransitions) {
  TLayerBox box;
  TLayerItem* a = Put(box, lnFirstClipTop, 0, 100);
  TLayerItem* s = Put(box, lnAudioSecond, 0, 100);
  Put(box, lnFirstClipBottom, 50, 100);
  a->SetSelected(true);
  s->SetSelected(true);
  ASSERT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 1);
  EXPECT_TRUE(box.MoveSelection(a, 200, Row(box, lnFirstClipTop)));
  EXPECT_EQ(a->FirstFrame(), 200);
  EXPECT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 0);
  // down a row onto B's block: refused, so only sideways
  EXPECT_TRUE(box.MoveSelection(a, 60, Row(box, lnFirstClipBottom)));
  EXPECT_EQ(a->Parent(), Row(box, lnFirstClipTop));
  EXPECT_EQ(Spans(box, lnFirstFx3d), (TSpans{{60, 150}}));
  // up to the image row and sound 1
  EXPECT_TRUE(box.MoveSelection(a, 40, Row(box, lnImage)));
  EXPECT_EQ(a->Parent(), Row(box, lnImage));
  EXPECT_EQ(s->Parent(), Row(box, lnAudioFirst));
  EXPECT_EQ(a->FirstFrame(), 40);
  EXPECT_EQ(box.CaptureRow(), nullptr);
  EXPECT_TRUE(CheckInvariants(box));
}

// ---------------------------------------------------------------------------------
// Edits broken off by an exception

// A window's handler that throws (the box reports every change) breaks an edit off half
// way. The flags the edit sets for its own length must not stay set: a row whose
// transition updates stay off never rebuilds its transitions again, and a box left
// "not drawing", "deleting" or "loading" ignores later edits.
TEST(Exceptions, AnEditBrokenOffLeavesNoFlagSet) {
  struct TCase {
    const char* name;
    void (*edit)(TLayerBox& box, TLayerItem* pic);
  };
  const TCase cases[] = {
      {"insert", [](TLayerBox& box, TLayerItem*) { Put(box, lnFirstClipTop, 400, 50); }},
      {"razor",
       [](TLayerBox& box, TLayerItem*) {
         box.StartRazor();
         Click(box, XOf(box, 150), YOf(box, lnFirstClipTop));
       }},
      {"resize", [](TLayerBox& box, TLayerItem* pic) {
         Drag(box, pic->Right() - 2, YOf(box, lnFirstClipTop), XOf(box, 180), YOf(box, lnFirstClipTop));
       }},
      {"align partners",
       [](TLayerBox&, TLayerItem* pic) { pic->Parent()->AlignSynchronizeItem(pic, pic->LinkSynchronizeItem()); }},
      {"move the selection", [](TLayerBox& box, TLayerItem* pic) {
         pic->SetSelected(true);
         box.MoveSelection(pic, 300, pic->Parent());
       }},
      {"paste", [](TLayerBox& box, TLayerItem* pic) {
         pic->SetSelected(true);
         box.CopyToClipboard();
         box.PasteAt(500, Row(box, lnFirstClipTop));
       }},
      {"delete", [](TLayerBox& box, TLayerItem* pic) {
         pic->SetSelected(true);
         box.DeleteSelected();
       }},
      {"clear", [](TLayerBox& box, TLayerItem*) { box.ClearProject(true); }},
  };
  for (const TCase& c : cases) {
    TLayerBox box;
    auto movie = MakeClip(ctMovie, 100);
    ASSERT_TRUE(DropClip(box, movie.get(), lnFirstClipTop, 150));  // [100, 200) and its sound
    Put(box, lnFirstClipBottom, 180, 50);                          // a transition at [180, 200)
    TLayerItem* pic = Row(box, lnFirstClipTop)->Items(0);
    pic->LinkSynchronizeItem()->SetFirstFrame(110);  // partners out of step
    box.DeselectAll();
    box.OnAnyModified = [](TLayerBox*) { throw std::runtime_error("the window failed"); };
    EXPECT_THROW(c.edit(box, pic), std::runtime_error) << c.name;
    box.OnAnyModified = nullptr;
    EXPECT_TRUE(box.BoxState().Empty()) << c.name;
    for (int r = 0; r < box.RowCount(); ++r)
      EXPECT_TRUE(box.Rows(r)->UpdateFx3dEnabled()) << c.name << ", row " << box.Rows(r)->LayerNumber();
  }
}

}  // namespace
}  // namespace movara
