#include "project/LevelBox.h"

#include <gtest/gtest.h>

#include "base/Trace.h"
#include "project/ItemList.h"
#include "project/RangeList.h"
#include "project/ShortCut.h"

namespace movara {
namespace {

TEST(LevelBox, NewEnvelopeIsFlatAtItsDefault) {
  TLevelBox lb(50, 100, 0);
  // the end points start at 100 and take the default when reset
  EXPECT_EQ(lb.StartPoint()->Level, 100);
  lb.ResetLevels();
  lb.SetLength(100);
  lb.SetWidth(288);
  ASSERT_EQ(lb.Count(), 2);
  EXPECT_EQ(lb.Points(0)->Frame, 0);
  EXPECT_EQ(lb.Points(0)->Level, 50);
  EXPECT_EQ(lb.Points(1)->Frame, 100);
  EXPECT_EQ(lb.Points(1)->Level, 50);
  EXPECT_EQ(lb.Points(1)->PixelX, 288);
  for (int x : {-10, 0, 1, 144, 287, 288, 1000}) EXPECT_EQ(lb.GetLevelAtPixel(x), 50) << x;
  EXPECT_EQ(lb.Points(2), nullptr);
  EXPECT_EQ(lb.Points(-1), nullptr);
}

TEST(LevelBox, SetLengthDropsPointsBeyondTheEnd) {
  TLevelBox lb(50, 100, 0);
  lb.SetLength(100);
  lb.SetWidth(100);
  TLevelItem* p20 = lb.AddPoint(20);
  TLevelItem* p60 = lb.AddPoint(60);
  ASSERT_TRUE(p20 && p60);
  EXPECT_EQ(lb.Count(), 4);
  lb.SetLength(40);
  ASSERT_EQ(lb.Count(), 3);
  EXPECT_EQ(lb.Points(1), p20);
  EXPECT_EQ(lb.EndPoint()->Frame, 40);
  // 0 or less and the same length are ignored
  lb.SetLength(0);
  lb.SetLength(-5);
  EXPECT_EQ(lb.LengthFrames(), 40);
}

TEST(LevelBox, AddPointKeepsOrderAndReturnsExisting) {
  TLevelBox lb(70, 100, 0);
  lb.SetLength(100);
  lb.SetWidth(200);
  TLevelItem* p50 = lb.AddPoint(50);
  TLevelItem* p10 = lb.AddPoint(10);
  TLevelItem* p90 = lb.AddPoint(90);
  EXPECT_EQ(lb.AddPoint(50), p50);
  EXPECT_EQ(lb.AddPoint(0), lb.StartPoint());
  EXPECT_EQ(lb.AddPoint(100), lb.EndPoint());
  ASSERT_EQ(lb.Count(), 5);
  EXPECT_EQ(lb.Points(1), p10);
  EXPECT_EQ(lb.Points(2), p50);
  EXPECT_EQ(lb.Points(3), p90);
  EXPECT_EQ(p10->Level, 70);
  EXPECT_EQ(p10->PixelX, 20);
  // no place before the start or after the end
  EXPECT_EQ(lb.AddPoint(-1), nullptr);
  EXPECT_EQ(lb.AddPoint(101), nullptr);
  EXPECT_EQ(lb.PrevPoint(lb.StartPoint()), nullptr);
  EXPECT_EQ(lb.NextPoint(lb.EndPoint()), nullptr);
  EXPECT_EQ(lb.NextPoint(p90), lb.EndPoint());
  EXPECT_EQ(lb.IndexOf(p50), 2);
}

TEST(LevelBox, MovePointStaysBetweenNeighbours) {
  TLevelBox lb(50, 100, 0);
  lb.SetLength(100);
  lb.SetWidth(100);
  TLevelItem* a = lb.AddPoint(20);
  TLevelItem* b = lb.AddPoint(60);
  lb.MovePoint(a, 60);
  EXPECT_EQ(a->Frame, 59);
  lb.MovePoint(a, -10);
  EXPECT_EQ(a->Frame, 1);
  lb.MovePoint(b, 500);
  EXPECT_EQ(b->Frame, 99);
  EXPECT_EQ(b->PixelX, 99);
  // end points never move
  lb.MovePoint(lb.EndPoint(), 50);
  EXPECT_EQ(lb.EndPoint()->Frame, 100);
  // the dragging form refuses negative frames and reports a change
  EXPECT_FALSE(lb.DragPoint(a, -1));
  EXPECT_TRUE(lb.DragPoint(a, 30));
  EXPECT_FALSE(lb.DragPoint(a, 30));
  EXPECT_FALSE(lb.DragPoint(lb.StartPoint(), 3));
}

TEST(LevelBox, InterpolationRoundsHalvesToEven) {
  TLevelBox lb(0, 100, 0);
  lb.SetLength(4);
  lb.SetWidth(4);
  lb.StartPoint()->Level = 0;
  lb.EndPoint()->Level = 2;
  // x = 1: 0.5 -> 0; x = 3: 1.5 -> 2
  EXPECT_EQ(lb.GetLevelAtPixel(1), 0);
  EXPECT_EQ(lb.GetLevelAtPixel(2), 1);
  EXPECT_EQ(lb.GetLevelAtPixel(3), 2);
}

TEST(LevelBox, ZeroWidthFallsBackToTheAverage) {
  std::vector<std::string> lines;
  TraceSink old = SetTraceSink([&](const std::string& l) { lines.push_back(l); });
  TLevelBox lb(40, 100, 0);
  lb.SetLength(10);
  lb.SetWidth(0);
  lb.StartPoint()->Level = 20;
  lb.EndPoint()->Level = 81;
  EXPECT_EQ(lb.GetLevelAtPixel(5), 50);
  SetTraceSink(old);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "[TLevelBox.GetLevelAtPixel] Failed. Seraching sample = 0");
}

TEST(LevelBox, PointsUnderThePointerAndOnTheLine) {
  TLevelBox lb(100, 100, 0);
  lb.SetLength(100);
  lb.SetWidth(200);
  lb.SetBand(5, 105);
  lb.ResetLevels();
  // level 100 lies at the top of the band, level 0 at its bottom
  EXPECT_EQ(lb.LevelToY(100), 5);
  EXPECT_EQ(lb.LevelToY(0), 105);
  EXPECT_EQ(lb.PointAtPixel(3, 8), lb.StartPoint());
  EXPECT_EQ(lb.PointAtPixel(4, 5), nullptr);
  EXPECT_EQ(lb.PointAtPixel(197, 2), lb.EndPoint());
  // on the flat line at x = 100 a point is inserted one frame after the left point
  TLevelItem* p = lb.PointOnLine(100, 6);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Frame, 1);
  EXPECT_EQ(lb.Count(), 3);
  // two pixels off the line is not on it
  EXPECT_EQ(lb.PointOnLine(150, 8), nullptr);
}

TEST(LevelBox, MarkedPointsAreRemovedOrReset) {
  TLevelBox lb(50, 100, 0);
  lb.SetLength(100);
  lb.SetWidth(100);
  lb.ResetLevels();
  TLevelItem* a = lb.AddPoint(30);
  lb.AddPoint(60)->Level = 70;
  a->Level = 130;
  lb.EndPoint()->Level = -40;
  lb.UpdateMarks();
  EXPECT_EQ(lb.RemoveMarkedPoints(), 2);
  ASSERT_EQ(lb.Count(), 3);
  EXPECT_EQ(lb.Points(1)->Frame, 60);
  EXPECT_EQ(lb.EndPoint()->Level, 50);
  EXPECT_EQ(lb.EndPoint()->Frame, 100);
}

TEST(LevelBox, DefaultLevelOnlyWithinPercent) {
  TLevelBox lb(50, 100, 0);
  lb.SetDefaultLevel(101);
  EXPECT_EQ(lb.DefaultLevel(), 50);
  lb.SetDefaultLevel(0);
  EXPECT_EQ(lb.DefaultLevel(), 0);
  lb.SetBand(10, 5);  // refused
  EXPECT_EQ(lb.TopPixel(), 0);
}

TEST(RangeList, MillisecondsAndLengthAfter) {
  TRangeList l;
  l.Add(0, 25);   // [0, 1000) ms
  l.Add(40, 30);  // [1600, 2800) ms
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Ranges(1)->Start, 1600);
  EXPECT_EQ(l.Ranges(1)->Length, 1200);
  EXPECT_EQ(l.Ranges(2), nullptr);
  EXPECT_EQ(l.LengthAfter(2000), 800);
  EXPECT_EQ(l.LengthAfter(500), 500 + 1200);
  EXPECT_EQ(l.LengthAfter(2800), 0);
  EXPECT_EQ(l.TotalFrames(), 55);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.TotalFrames(), 0);
}

TEST(ItemList, IndexAndBounds) {
  TItemList l;
  auto* a = reinterpret_cast<TLayerItem*>(0x10);
  auto* b = reinterpret_cast<TLayerItem*>(0x20);
  EXPECT_EQ(l.Add(a), 0);
  EXPECT_EQ(l.Add(b), 1);
  EXPECT_EQ(l.IndexOf(b), 1);
  EXPECT_EQ(l.IndexOf(nullptr), -1);
  EXPECT_EQ(l.Items(2), nullptr);
  EXPECT_EQ(l.Items(-1), nullptr);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
}

TEST(ShortCut, Texts) {
  EXPECT_EQ(ShortCutToText(16463), "Ctrl+O");
  EXPECT_EQ(ShortCutToText(24653), "Shift+Ctrl+M");
  EXPECT_EQ(ShortCutToText(49229), "Ctrl+Alt+M");
  EXPECT_EQ(ShortCutToText(112), "F1");
  EXPECT_EQ(ShortCutToText(8304), "Shift+F1");
  EXPECT_EQ(ShortCutToText('7'), "7");
  EXPECT_EQ(ShortCutToText(0), "");
  EXPECT_EQ(ShortCutToText(0x10000 | 'A'), "A");  // only the low 16 bits count
}

}  // namespace
}  // namespace movara
