#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Trace.h"
#include "pages/PageClipboard.h"
#include "pages/PageEditBox.h"
#include "pages/PageRecord.h"

using namespace movara;

namespace {

int CentreX(const TFontItem* it) { return it->Bounds.Left + it->Bounds.Width() / 2; }
int CentreY(const TFontItem* it) { return it->Bounds.Top + it->Bounds.Height() / 2; }

// A page with items of different widths at known places.
class PageBox : public ::testing::Test {
 protected:
  TFontItem* Add(const std::string& text, int x, int y, bool selected = false) {
    TFontItem* it = box_.AddFontItem(false, selected);
    it->Text = text;
    it->FontName = "Arial";
    it->PosX = x;
    it->PosY = y;
    return it;
  }
  TPagePoint Inside(const TFontItem* it) const {
    return {it->Bounds.Left + it->Bounds.Width() / 2.0, it->Bounds.Top + it->Bounds.Height() / 2.0};
  }
  std::vector<std::string> Order() const {
    std::vector<std::string> out;
    for (int i = 0; i < box_.ItemCount(); ++i) out.push_back(box_.Items(i)->Text);
    return out;
  }
  TPageEditBox box_;
};

}  // namespace

TEST_F(PageBox, NewItemsAtTheVisibleTopLeft) {
  TFontItem* a = box_.AddFontItem(false, true);
  EXPECT_EQ(a->Owner, &box_);
  EXPECT_EQ(a->PosX, 12);
  EXPECT_EQ(a->PosY, 5);
  EXPECT_EQ(a->FontName, "Time New Roman");
  EXPECT_TRUE(a->Selected);
  TFontItem* b = box_.AddFontItem(false, true);
  EXPECT_TRUE(a->Selected);
  TFontItem* c = box_.AddFontItem(true, false);
  EXPECT_FALSE(a->Selected || b->Selected || c->Selected);
  EXPECT_EQ(box_.Items(2), c);
  EXPECT_EQ(box_.Items(3), nullptr);
  EXPECT_EQ(box_.Items(-1), nullptr);

  // Scrolled at 200 %: the view's corner is at page (50, 25).
  ASSERT_TRUE((box_.SetScale(200), box_.Scale() == 200));
  box_.SetViewSize(400, 300);
  box_.SetScrollPos(100, 50);
  TFontItem* d = box_.AddFontItem(false, false);
  EXPECT_EQ(d->PosX, 62);
  EXPECT_EQ(d->PosY, 30);
  // A view wider than the page: its left edge is the page's; it is still lower.
  box_.SetViewSize(2000, 300);
  d = box_.AddFontItem(false, false);
  EXPECT_EQ(d->PosX, 12);
  EXPECT_EQ(d->PosY, 30);
}

TEST_F(PageBox, PropertiesAndModifiedEvents) {
  int modified = 0, repaints = 0;
  box_.OnModified = [&](TPageEditBox&) { ++modified; };
  box_.OnInvalidate = [&](TPageEditBox&) { ++repaints; };
  EXPECT_EQ(box_.PageSize(), psVideo);
  EXPECT_EQ(box_.PageColor(), 0u);
  EXPECT_EQ(box_.Scale(), 100);
  EXPECT_EQ(box_.FileName(), ".");
  EXPECT_FALSE(box_.Modified());
  box_.SetScale(5);
  box_.SetScale(600);
  EXPECT_EQ(box_.Scale(), 100);
  box_.SetScale(10);
  EXPECT_EQ(box_.Scale(), 10);
  box_.SetScale(500);
  EXPECT_EQ(box_.Scale(), 500);
  EXPECT_EQ(modified, 0);  // the scale is the view's, not the page's
  box_.SetPageSize(psSquare512);
  EXPECT_EQ(box_.PageRect(), Rect(0, 0, 512, 512));
  EXPECT_EQ(modified, 1);
  box_.SetPageColor(0xFF);
  EXPECT_EQ(modified, 2);
  EXPECT_TRUE(box_.Modified());
  EXPECT_GE(repaints, 4);
}

TEST_F(PageBox, SelectionDeleteAndNextSelected) {
  TFontItem* a = Add("a", 0, 0);
  TFontItem* b = Add("b", 0, 0, true);
  TFontItem* c = Add("c", 0, 0);
  TFontItem* d = Add("d", 0, 0, true);
  EXPECT_EQ(box_.NextSelected(nullptr), b);
  EXPECT_EQ(box_.NextSelected(b), d);
  EXPECT_EQ(box_.NextSelected(d), nullptr);
  EXPECT_EQ(box_.NextSelected(a), b);
  box_.ToggleSelected(c);
  EXPECT_EQ(box_.SelectedCount(), 3);
  box_.SelectOnly(a);
  EXPECT_EQ(box_.SelectedItems(), std::vector<TFontItem*>{a});
  box_.SelectAll();
  EXPECT_EQ(box_.SelectedCount(), 4);
  box_.DeselectAll();
  box_.DeleteSelected();
  EXPECT_FALSE(box_.Modified());  // nothing went
  b->Selected = c->Selected = true;
  box_.DeleteSelected();
  EXPECT_TRUE(box_.Modified());
  EXPECT_EQ(Order(), (std::vector<std::string>{"a", "d"}));
}

TEST_F(PageBox, FrontAndBack) {
  TFontItem* a = Add("a", 0, 0);
  Add("b", 0, 0, true);
  Add("c", 0, 0);
  Add("d", 0, 0, true);
  box_.BringToFront(a);
  EXPECT_EQ(Order(), (std::vector<std::string>{"b", "c", "d", "a"}));
  box_.SendToBack(a);
  EXPECT_EQ(Order(), (std::vector<std::string>{"a", "b", "c", "d"}));
  box_.BringSelectedToFront();  // b and d keep their order above the rest
  EXPECT_EQ(Order(), (std::vector<std::string>{"a", "c", "b", "d"}));
  box_.SendSelectedToBack();
  EXPECT_EQ(Order(), (std::vector<std::string>{"b", "d", "a", "c"}));
  TFontItem stranger;
  box_.BringToFront(&stranger);  // not on the page: nothing happens
  EXPECT_EQ(box_.ItemCount(), 4);
}

TEST_F(PageBox, AlignOneItemToThePage) {
  TFontItem* a = Add("Tytuł", 200, 150, true);
  box_.AlignSelected(1, 0);
  EXPECT_EQ(a->Bounds.Left, 0);
  EXPECT_EQ(a->PosY, 150);
  box_.AlignSelected(3, 3);
  box_.UpdateBounds();
  EXPECT_EQ(a->Bounds.Right, 720);
  EXPECT_EQ(a->Bounds.Bottom, 576);
  box_.AlignSelected(2, 2);
  box_.UpdateBounds();
  EXPECT_EQ(CentreX(a), 360);
  EXPECT_EQ(CentreY(a), 288);
  box_.AlignSelected(0, 1);
  box_.UpdateBounds();
  EXPECT_EQ(a->Bounds.Top, 0);
  EXPECT_EQ(CentreX(a), 360);
  EXPECT_TRUE(box_.Modified());
}

TEST_F(PageBox, AlignSeveralToTheFirstAcross) {
  // Horizontal alignment follows the topmost item, vertical the leftmost.
  TFontItem* low = Add("dłuższy tekst", 300, 400, true);
  TFontItem* top = Add("W", 150, 20, true);
  TFontItem* mid = Add("średni", 40, 200, true);
  Add("poza zaznaczeniem", 500, 500);
  box_.UpdateBounds();
  const TRect topBefore = top->Bounds;
  box_.AlignSelected(1, 0);
  EXPECT_EQ(top->Bounds, topBefore);
  EXPECT_EQ(low->Bounds.Left, topBefore.Left);
  EXPECT_EQ(mid->Bounds.Left, topBefore.Left);
  EXPECT_EQ(low->PosY, 400);
  box_.AlignSelected(3, 0);
  EXPECT_EQ(low->Bounds.Right, topBefore.Right);
  EXPECT_EQ(mid->Bounds.Right, topBefore.Right);
  box_.AlignSelected(2, 0);
  EXPECT_EQ(CentreX(low), CentreX(top));
  EXPECT_EQ(CentreX(mid), CentreX(top));

  // Now at the same x: ties keep the list order, so low (first in the list) leads.
  box_.AlignSelected(1, 0);
  box_.UpdateBounds();
  const TRect lowBefore = low->Bounds;
  box_.AlignSelected(0, 1);
  EXPECT_EQ(low->Bounds, lowBefore);
  EXPECT_EQ(top->Bounds.Top, lowBefore.Top);
  box_.AlignSelected(0, 3);
  EXPECT_EQ(mid->Bounds.Bottom, lowBefore.Bottom);
  EXPECT_EQ(box_.Items(3)->PosX, 500);  // unselected items stay
}

TEST_F(PageBox, SpaceOneTwoAndMany) {
  TFontItem* a = Add("jeden", 600, 10, true);
  box_.SpaceSelected(true);
  EXPECT_EQ(CentreX(a), 360);
  TFontItem* b = Add("drugi, dłuższy", 20, 300, true);
  box_.SpaceSelected(true);
  // Sorted by centre: b (left) first.
  EXPECT_EQ(CentreX(b), 240);
  EXPECT_EQ(CentreX(a), 480);
  box_.SpaceSelected(false);
  EXPECT_EQ(CentreY(a), 192);  // 576 div 3
  EXPECT_EQ(CentreY(b), 384);

  box_.DeselectAll();
  TFontItem* p = Add("p", 10, 100, true);
  TFontItem* q = Add("qqqqqqqq", 60, 100, true);
  TFontItem* r = Add("rr", 300, 100, true);
  TFontItem* s = Add("sss", 600, 100, true);
  box_.UpdateBounds();
  const TRect pBefore = p->Bounds, sBefore = s->Bounds;
  box_.SpaceSelected(true);
  EXPECT_EQ(p->Bounds, pBefore);
  EXPECT_EQ(s->Bounds, sBefore);
  const int gap1 = q->Bounds.Left - p->Bounds.Right;
  const int gap2 = r->Bounds.Left - q->Bounds.Right;
  const int gap3 = s->Bounds.Left - r->Bounds.Right;
  EXPECT_EQ(gap1, gap2);
  EXPECT_LE(std::abs(gap3 - gap1), 2);  // the rounding of the gap lands on the last
  const int widths = p->Bounds.Width() + q->Bounds.Width() + r->Bounds.Width() + s->Bounds.Width();
  const double gap = (sBefore.Right - pBefore.Left - widths) / 3.0;
  EXPECT_NEAR(gap1, gap, 0.5);
}

TEST_F(PageBox, ClickShiftCtrlAndEmptyPage) {
  TFontItem* a = Add("Pierwszy", 50, 50);
  TFontItem* b = Add("Drugi", 50, 200);
  box_.UpdateBounds();
  std::vector<TFontItem*> clicked;
  box_.OnClickFontItem = [&](TPageEditBox&, TFontItem* it) { clicked.push_back(it); };

  box_.MouseDown(mbLeft, Inside(a), 0);
  EXPECT_EQ(box_.Cursor(), pcSizeAll);
  box_.MouseUp(mbLeft, Inside(a), 0);
  EXPECT_TRUE(a->Selected);
  box_.MouseDown(mbLeft, Inside(b), ssShift);
  box_.MouseUp(mbLeft, Inside(b), ssShift);
  EXPECT_TRUE(a->Selected && b->Selected);
  box_.MouseDown(mbLeft, Inside(a), ssCtrl);
  box_.MouseUp(mbLeft, Inside(a), ssCtrl);
  EXPECT_FALSE(a->Selected);
  EXPECT_TRUE(b->Selected);
  box_.MouseDown(mbLeft, Inside(a), 0);  // unselected: becomes the only one
  box_.MouseUp(mbLeft, Inside(a), 0);
  EXPECT_TRUE(a->Selected);
  EXPECT_FALSE(b->Selected);
  EXPECT_EQ(clicked, (std::vector<TFontItem*>{a, b, a, a}));

  box_.MouseDown(mbLeft, {700, 10}, ssShift);  // empty page with Shift: kept
  box_.MouseUp(mbLeft, {700, 10}, ssShift);
  EXPECT_TRUE(a->Selected);
  box_.MouseDown(mbLeft, {700, 10}, 0);
  box_.MouseUp(mbLeft, {700, 10}, 0);
  EXPECT_EQ(box_.SelectedCount(), 0);
  EXPECT_EQ(clicked.size(), 4u);
  EXPECT_FALSE(box_.Modified());

  // Hover: a cross over items only.
  box_.MouseMove(Inside(b), 0);
  EXPECT_EQ(box_.Cursor(), pcCross);
  box_.MouseMove({700, 10}, 0);
  EXPECT_EQ(box_.Cursor(), pcDefault);
}

TEST_F(PageBox, TopmostItemIsHit) {
  TFontItem* under = Add("Nakładka", 100, 100);
  TFontItem* over = Add("Nakładka", 100, 100);
  box_.UpdateBounds();
  EXPECT_EQ(box_.ItemAt(Inside(under)), over);
  box_.SendToBack(over);
  EXPECT_EQ(box_.ItemAt(Inside(under)), under);
  EXPECT_EQ(box_.ItemAt({-5, -5}), nullptr);
}

TEST_F(PageBox, DragMovesTheSelectionByThePageDelta) {
  TFontItem* a = Add("Pierwszy", 50, 50, true);
  TFontItem* b = Add("Drugi", 50, 200, true);
  TFontItem* c = Add("Trzeci", 400, 400);
  box_.UpdateBounds();
  const TPagePoint start = Inside(a);
  box_.MouseDown(mbLeft, start, 0);
  box_.MouseMove({start.X + 5, start.Y - 5}, 0);  // 5 pixels: not yet at 100 %
  EXPECT_FALSE(box_.Dragging());
  EXPECT_EQ(a->PosX, 50);
  box_.MouseMove({start.X + 30, start.Y - 10}, 0);
  EXPECT_TRUE(box_.Dragging());
  box_.MouseMove({start.X + 40.4, start.Y - 20.6}, 0);
  box_.MouseUp(mbLeft, {start.X + 40.4, start.Y - 20.6}, 0);
  EXPECT_EQ(a->PosX, 90);
  EXPECT_EQ(a->PosY, 29);
  EXPECT_EQ(b->PosX, 90);
  EXPECT_EQ(b->PosY, 179);
  EXPECT_EQ(c->PosX, 400);
  EXPECT_TRUE(a->Selected && b->Selected);  // a drag keeps the selection
  EXPECT_TRUE(box_.Modified());
  // Bounds follow, so the moved item is hit where it now is.
  EXPECT_EQ(box_.ItemAt({start.X + 40, start.Y - 20}), a);
}

TEST_F(PageBox, DragThresholdFollowsTheScaleAndModifiersHold) {
  TFontItem* a = Add("Pierwszy", 50, 50, true);
  box_.SetScale(250);  // 2 page pixels
  box_.MouseDown(mbLeft, {60, 60}, 0);
  box_.MouseMove({62, 60}, 0);
  EXPECT_FALSE(box_.Dragging());
  box_.MouseMove({62.5, 60}, 0);
  EXPECT_TRUE(box_.Dragging());
  box_.MouseUp(mbLeft, {62.5, 60}, 0);
  EXPECT_EQ(a->PosX, 52);  // 2.5 rounds to even

  box_.MouseDown(mbLeft, {60, 60}, ssShift);
  box_.MouseMove({160, 60}, ssShift);
  box_.MouseUp(mbLeft, {160, 60}, ssShift);
  EXPECT_EQ(a->PosX, 52);  // Shift held: no drag
}

TEST_F(PageBox, ClickOnTheSelectionEntersEditMode) {
  TFontItem* a = Add("Edycja", 50, 50, true);
  TFontItem* b = Add("Drugi", 50, 200, true);
  box_.UpdateBounds();
  std::vector<int> entered;
  box_.OnEnterEditMode = [&](TPageEditBox&, int index) { entered.push_back(index); };
  const TPagePoint atStart{50.5, 60};
  box_.MouseDown(mbLeft, atStart, 0);
  EXPECT_TRUE(b->Selected);  // still, until the release
  box_.MouseUp(mbLeft, atStart, 0);
  EXPECT_TRUE(a->Selected);
  EXPECT_FALSE(b->Selected);
  EXPECT_EQ(entered, std::vector<int>{0});
  // With the right button involved: deselect others, no editing.
  b->Selected = true;
  box_.MouseDown(mbLeft, atStart, 0);
  box_.MouseDown(mbRight, atStart, 0);
  box_.MouseUp(mbRight, atStart, 0);
  EXPECT_FALSE(b->Selected);
  EXPECT_EQ(entered.size(), 1u);
  // A newly selected item does not enter editing.
  box_.MouseDown(mbLeft, Inside(b), 0);
  box_.MouseUp(mbLeft, Inside(b), 0);
  EXPECT_EQ(entered.size(), 1u);
}

TEST_F(PageBox, RubberBandSelectsTheItemsItCovers) {
  TFontItem* a = Add("A", 100, 100);
  TFontItem* b = Add("B", 200, 150);
  TFontItem* c = Add("C", 500, 400);
  box_.UpdateBounds();
  box_.MouseDown(mbLeft, {90, 90}, 0);
  box_.MouseMove({260, 230}, 0);
  EXPECT_TRUE(box_.RubberBanding());
  EXPECT_EQ(box_.RubberBand(), Rect(90, 90, 260, 230));
  box_.MouseMove({b->Bounds.Right - 1.0, 230}, 0);  // b sticks out: not covered
  box_.MouseUp(mbLeft, {b->Bounds.Right - 1.0, 230}, 0);
  EXPECT_FALSE(box_.RubberBanding());
  EXPECT_TRUE(a->Selected);
  EXPECT_FALSE(b->Selected || c->Selected);
  EXPECT_EQ(a->PosX, 100);  // nothing moved
  // With Shift the band adds to the selection, drawn from any corner.
  box_.MouseDown(mbLeft, {700, 570}, ssShift);
  box_.MouseMove({180, 140}, ssShift);
  box_.MouseUp(mbLeft, {180, 140}, ssShift);
  EXPECT_TRUE(a->Selected && b->Selected && c->Selected);
  EXPECT_FALSE(box_.Modified());
}

TEST_F(PageBox, KeysDeleteAndF2) {
  TFontItem* a = Add("a", 0, 0, true);
  Add("b", 0, 0, true);
  EXPECT_FALSE(box_.KeyDown(pkDelete, ssCtrl));
  EXPECT_EQ(box_.ItemCount(), 2);
  box_.KeyDown(pkF2, 0);
  EXPECT_FALSE(box_.TextEditing());  // two selected
  box_.SelectOnly(a);
  box_.KeyDown(pkF2, 0);
  EXPECT_TRUE(box_.TextEditing());
  box_.KeyDown(pkF2, 0);
  EXPECT_FALSE(box_.TextEditing());
  EXPECT_TRUE(box_.KeyDown(pkDelete, 0));
  EXPECT_EQ(Order(), std::vector<std::string>{"b"});
}

TEST_F(PageBox, ViewToPageCentresASmallPage) {
  box_.SetViewSize(1000, 800);  // page 720 x 576 at 100 %: margins 140 and 112
  EXPECT_DOUBLE_EQ(box_.ViewToPage(140, 112).X, 0);
  EXPECT_DOUBLE_EQ(box_.ViewToPage(140, 112).Y, 0);
  box_.SetScale(200);  // 1440 x 1152: no margins, scrolled by (300, 100)
  box_.SetScrollPos(300, 100);
  const TPagePoint p = box_.ViewToPage(50, 20);
  EXPECT_DOUBLE_EQ(p.X, 175);
  EXPECT_DOUBLE_EQ(p.Y, 60);
}

TEST_F(PageBox, CopyAndPasteThroughTheClipboard) {
  auto previous = SetPageClipboard(nullptr);  // a fresh clipboard inside the process
  TFontItem* a = Add("Kopiowany", 10, 20, true);
  a->Bold = true;
  a->OutlineColor = 0x123456;
  TFontItem* b = Add("Zostaje", 30, 40);
  EXPECT_FALSE(box_.CanPaste());
  box_.CopySelectedToClipboard();
  ASSERT_TRUE(box_.CanPaste());
  box_.PasteFromClipboard();
  ASSERT_EQ(box_.ItemCount(), 3);
  TFontItem* pasted = box_.Items(2);
  EXPECT_TRUE(pasted->Selected);
  EXPECT_FALSE(a->Selected || b->Selected);
  TFontItem expected = *a;
  expected.Selected = true;
  EXPECT_TRUE(pasted->SameContent(expected));
  EXPECT_EQ(pasted->Owner, &box_);
  EXPECT_TRUE(box_.Modified());

  // Nothing selected: the clipboard keeps what it had.
  box_.DeselectAll();
  box_.CopySelectedToClipboard();
  std::vector<uint8_t> data;
  ASSERT_TRUE(PageClipboard()->GetData(kClipboardFormatName, data));
  EXPECT_EQ(data.size(), 4u + 8272u);

  // Damaged clipboard data: a trace line, nothing pasted.
  data.resize(100);
  PageClipboard()->SetData(kClipboardFormatName, data);
  std::vector<std::string> traced;
  auto oldSink = SetTraceSink([&](const std::string& l) { traced.push_back(l); });
  box_.PasteFromClipboard();
  SetTraceSink(oldSink);
  EXPECT_EQ(box_.ItemCount(), 3);
  ASSERT_EQ(traced.size(), 1u);
  EXPECT_NE(traced[0].find("(100 < 8276)"), std::string::npos) << traced[0];
  SetPageClipboard(previous);
}
