// The time ruler and what the box does around its view: the slider dragged with the
// mouse (events, scrolling after it, the position line, Modified left alone), the
// rows' resizing line, the repaint event, the marching frames during a move and the
// pictures a block draws from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LayersTestSupport.h"
#include "base/Rounding.h"
#include "media/AudioZoom.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/ScaleGraphic.h"

namespace movara {
namespace {

using test::Drag;
using test::MakeClip;
using test::Middle;
using test::Row;
using test::XOf;
using test::YOf;

TEST(ScaleGraphic, TicksAndLabelsForEveryIconSize) {
  struct TCase {
    TIconSize Size;
    TZoom Zoom;
    int LabelPixels;  // distance of two time codes
    int LabelFrames;
    int Small;  // small ticks per thumbnail
  };
  const TCase cases[] = {
      {isNormal, zmOneSecond, 144, 50, 10},  // every second thumbnail
      {isSmallest, zmOneSecond, 192, 200, 2},  // every eighth
      {isSmall, zmTenSeconds, 192, 1000, 5},  // every fourth
      {isLarge, zmOneSecond, 96, 25, 12},  // every one
      {isLarge, zmTenSeconds, 96, 500, 10},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.Size << " zoom " << c.Zoom);
    TScaleGraphic s;
    s.SetWidth(800);
    s.SetIconSize(c.Size);
    s.SetZoom(c.Zoom);
    int w = ThumbSize[c.Size].Width;
    int thumbs = (800 + w - 1) / w;
    std::vector<TScaleLabel> labels = s.Labels();
    ASSERT_EQ(static_cast<int>(labels.size()), (800 + c.LabelPixels - 1) / c.LabelPixels);
    for (size_t i = 0; i < labels.size(); ++i) {
      EXPECT_EQ(labels[i].X, static_cast<int>(i) * c.LabelPixels);
      EXPECT_EQ(labels[i].Frame, static_cast<int>(i) * c.LabelFrames);
      EXPECT_EQ(labels[i].Text, FormatFrameCode(labels[i].Frame, ctSMPTE, 25));
      EXPECT_EQ(labels[i].Top, 7);
    }
    std::vector<TScaleTick> ticks = s.Ticks();
    ASSERT_EQ(static_cast<int>(ticks.size()), thumbs * (1 + c.Small));
    int longTicks = 0;
    for (const TScaleTick& t : ticks) longTicks += t.Bottom == 12 ? 1 : 0;
    EXPECT_EQ(longTicks, static_cast<int>(labels.size()));
    // the small ticks of the second thumbnail
    for (int k = 0; k < c.Small; ++k) {
      const TScaleTick& t = ticks[static_cast<size_t>(1 + c.Small + 1 + k)];
      EXPECT_EQ(t.X, w + RoundInt(static_cast<long double>(k) * w / c.Small));
      EXPECT_EQ(t.Bottom, 5);
    }
  }

  TScaleGraphic s;
  s.SetCountType(ctTime);
  s.MoveFirstFrame(37);  // the view starts on a thumbnail boundary
  EXPECT_EQ(s.FirstFrame(), 25);
  ASSERT_FALSE(s.Labels().empty());
  EXPECT_EQ(s.Labels()[0].X, 72);
  EXPECT_EQ(s.Labels()[0].Text, "0:00:02:00");
  EXPECT_EQ(s.Height(), 22);  // nothing measured yet
  s.SetTextHeight(14);
  EXPECT_EQ(s.Height(), 23);
  s.SetLineLength(51);
  s.SetLineLength(3);
  EXPECT_EQ(s.LineLength(), 6);
  s.SetTimeBase(0);
  EXPECT_EQ(s.TimeBase(), 25);
  EXPECT_EQ(s.GridPosition(107), 72);
  EXPECT_EQ(s.GridPosition(109), 144);
}

TEST(ScaleSlider, DraggedAcrossTheBoxScrollsAndLeavesTheProjectAlone) {
  TLayerBox box;
  box.SetClientWidth(720);  // 250 frames visible
  auto clip = MakeClip(ctAnimation, 1000);
  TLayerItem* block = Row(box, lnFirstClipTop)->InsertLayerItem(0, true, true, false, -1, clip.get(), 0);
  block->SetSelected(true);
  box.SetModified(false);
  std::vector<std::string> events;
  int any = 0, mods = 0;
  box.OnShowSlider = [&](TLayerBox*) { events.push_back("show"); };
  box.OnMoveSlider = [&](TLayerBox* b) { events.push_back("move " + std::to_string(b->Scale().SliderFrame())); };
  box.OnHideSlider = [&](TLayerBox*) { events.push_back("hide"); };
  box.OnAnyModified = [&](TLayerBox*) { ++any; };
  box.OnModified = [&](TLayerBox*) { ++mods; };
  const int y = box.ScaleTop() + 5;

  box.MouseDown(mbLeft, 0, 144, y);  // frame 50
  EXPECT_EQ(events, (std::vector<std::string>{"show", "move 50"}));
  EXPECT_FALSE(block->Selected());  // showing the slider deselects
  TLayerBox::TPositionLine line = box.PositionLine();
  EXPECT_TRUE(line.Visible);
  EXPECT_EQ(line.X, 144);
  EXPECT_EQ(line.Top, box.ScaleTop() + box.ScaleHeight());
  EXPECT_EQ(line.Bottom, Row(box, lnAudioThird)->Top() + Row(box, lnAudioThird)->Height());

  // past the right edge, before the project's end: the view follows the slider
  box.MouseMove(0, 800, box.ScaleTop() + 200);  // frame 278, pointer far below the scale
  EXPECT_EQ(box.Scale().SliderFrame(), 278);
  EXPECT_EQ(box.FirstFrame(), 50);  // 278 + 25 - 250, down to a thumbnail
  EXPECT_EQ(box.Scale().FirstFrame(), 50);
  EXPECT_EQ(Row(box, lnFirstClipTop)->FirstFrame(), 50);
  // back before the view's start
  box.MouseMove(0, -30, y);
  EXPECT_EQ(box.Scale().SliderFrame(), 40);
  EXPECT_EQ(box.FirstFrame(), 25);
  // the view moving does not touch the script nor tell the windows of a change
  EXPECT_EQ(any, 0);
  EXPECT_EQ(mods, 0);
  // a right click ends the drag: slider and line gone
  box.MouseDown(mbRight, 0, 100, y);
  EXPECT_EQ(events.back(), "hide");
  EXPECT_FALSE(box.Scale().ShowSlider());
  EXPECT_FALSE(box.PositionLine().Visible);
  EXPECT_FALSE(box.Scale().MouseCaptured());
  // the rows have the mouse again
  box.MouseDown(mbLeft, 0, XOf(box, 100), YOf(box, lnFirstClipTop));
  box.MouseUp(mbLeft, 0, XOf(box, 100), YOf(box, lnFirstClipTop));
  EXPECT_TRUE(block->Selected());

  // scrolling alone keeps the script but the view is part of the project
  any = 0;
  box.SetModified(false);
  box.SetFirstFrame(100);
  EXPECT_EQ(any, 0);
  EXPECT_TRUE(box.Modified());
  // a real change still marks the script stale
  block->SetDuration(500);
  EXPECT_GT(any, 0);
  // releasing the left button hides the slider too
  events.clear();
  box.MouseDown(mbLeft, 0, 10, y);
  box.MouseUp(mbLeft, 0, 10, y);
  EXPECT_EQ(events.back(), "hide");
}

TEST(LayerBoxView, ResizingLineRepaintsAndMarchingFramesDuringAMove) {
  TLayerBox box;
  box.SetClientWidth(1000);
  TLayerItem* a = Row(box, lnFirstClipTop)->InsertLayerItem(0, false, true, false, -1, nullptr, 100);
  TLayerItem* b = Row(box, lnFirstClipTop)->InsertLayerItem(200, false, true, false, -1, nullptr, 50);
  std::vector<std::string> events;
  box.OnStartResizing = [&](TLayerBox*) { events.push_back("start"); };
  box.OnResizing = [&](TLayerBox*, int x) { events.push_back("at " + std::to_string(x)); };
  box.OnEndResizing = [&](TLayerBox*) { events.push_back("end"); };
  std::vector<TLayerRow*> repainted;
  box.OnRepaint = [&](TLayerBox*, TLayerRow* r) { repainted.push_back(r); };

  // the right edge of A dragged from frame 100 to frame 150
  Drag(box, XOf(box, 100) - 2, YOf(box, lnFirstClipTop), XOf(box, 150), YOf(box, lnFirstClipTop));
  EXPECT_EQ(a->Duration(), 150);
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front(), "start");
  EXPECT_EQ(events[events.size() - 2], "at " + std::to_string(XOf(box, 150)));
  EXPECT_EQ(events.back(), "end");
  EXPECT_FALSE(box.PositionLine().Visible);
  EXPECT_FALSE(repainted.empty());

  // while resizing, the line runs from just under the range row's top
  box.MouseDown(mbLeft, 0, XOf(box, 150) - 2, YOf(box, lnFirstClipTop));
  box.MouseMove(0, XOf(box, 170), YOf(box, lnFirstClipTop));
  TLayerBox::TPositionLine line = box.PositionLine();
  EXPECT_TRUE(line.Visible);
  EXPECT_EQ(line.X, XOf(box, 170));
  EXPECT_EQ(line.Top, Row(box, lnRange)->Top() + 2);
  box.MouseDown(mbRight, 0, 0, 0);
  EXPECT_FALSE(box.PositionLine().Visible);

  // a change repaints its row; nothing while loading, the whole box afterwards
  repainted.clear();
  b->SetFirstFrame(300);
  ASSERT_FALSE(repainted.empty());
  EXPECT_EQ(repainted.front(), Row(box, lnFirstClipTop));
  repainted.clear();
  box.IncludeState(bsLoadingItems);
  b->SetFirstFrame(320);
  EXPECT_TRUE(repainted.empty());
  box.ExcludeState(bsLoadingItems);
  EXPECT_EQ(repainted, (std::vector<TLayerRow*>{nullptr}));

  // marching frames walk while blocks are selected and stand still during a move
  box.DeselectAll();
  b->SetSelected(true);
  EXPECT_TRUE(box.MarchingTimerActive());
  box.MarchingTick();
  int phase = box.MarchingPhase();
  EXPECT_EQ(Row(box, lnFirstClipTop)->MotionOffset(), 8 - phase);
  auto [bx, by] = Middle(box, b);
  box.MouseDown(mbLeft, 0, bx, by);
  box.MouseMove(0, bx + 40, by);
  EXPECT_TRUE(box.BoxState().Contains(bsDraggingItems));
  EXPECT_FALSE(box.MarchingTimerActive());
  box.MarchingTick();
  EXPECT_EQ(box.MarchingPhase(), phase);
  box.MouseUp(mbLeft, 0, bx + 40, by);
  EXPECT_TRUE(box.MarchingTimerActive());
  box.MarchingTick();
  EXPECT_EQ(box.MarchingPhase(), (phase + 1) % 8);
}

TEST(LayerItemPictures, StripsWaveformsAndEffectPictureByKind) {
  TLayerBox box;
  auto movie = MakeClip(ctMovie, 100, "m.avi");
  auto still = MakeClip(ctStillImage, 0, "s.bmp");
  ASSERT_TRUE(test::DropClip(box, movie.get(), lnFirstClipTop, 100));
  TLayerItem* picture = Row(box, lnFirstClipTop)->Items(0);
  TLayerItem* sound = Row(box, lnAudioSecond)->Items(0);
  TLayerItem* stillBlock = Row(box, lnImage)->InsertLayerItem(0, false, true, false, -1, still.get(), 10);
  TLayerItem* colour = Row(box, lnFirstClipBottom)->InsertUniformColor(XOf(box, 400), ucBlue, 0);
  ASSERT_NE(picture->AnimationBox(), nullptr);
  EXPECT_EQ(picture->AnimationBox(), picture->AnimationBox());
  EXPECT_NE(sound->AnimationBox(), nullptr);  // the sound of a movie has frames too
  EXPECT_EQ(stillBlock->AnimationBox(), nullptr);
  EXPECT_EQ(colour->AnimationBox(), nullptr);
  ASSERT_NE(sound->AudioBox(), nullptr);
  EXPECT_EQ(picture->AudioBox(), nullptr);
  // a movie whose sound did not open has no waveform cache: the strip draws silence
  sound->AudioBox()->Compute(10);
  EXPECT_EQ(sound->AudioBox()->ColumnCount(), 10);
  EXPECT_EQ(sound->AudioBox()->Value(0), 0);

  // the effect picture follows the icon size
  Row(box, lnFirstClipBottom)->InsertLayerItem(120, false, true, false, -1, nullptr, 40);
  ASSERT_EQ(Row(box, lnFirstFx3d)->ItemCount(), 1);
  TLayerItem* fx = Row(box, lnFirstFx3d)->Items(0);
  for (TIconSize s : {isNormal, isSmallest, isLarge}) {
    box.SetIconSize(s);
    EXPECT_EQ(fx->BmpFx3d().Width(), ThumbSize[s].Width);
    EXPECT_EQ(fx->BmpFx3d().Height(), ThumbSize[s].Height);
  }

  // the clip going takes its blocks and their strips with it
  movie.reset();
  EXPECT_EQ(Row(box, lnFirstClipTop)->ItemCount(), 0);
  EXPECT_EQ(Row(box, lnAudioSecond)->ItemCount(), 0);
}

}  // namespace
}  // namespace movara
