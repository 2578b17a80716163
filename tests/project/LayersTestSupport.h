#pragma once
// Shared helpers of the time-line tests: clips, pixel positions of frames, mouse drags
// and the one checker of the rows' invariants that every test runs after every step.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "project/ClipGraphic.h"
#include "project/Layers.h"

namespace movara::test {

inline std::unique_ptr<TClipGraphic> MakeClip(TClipType type, int frames, const std::string& name = "clip.avi") {
  auto c = std::make_unique<TClipGraphic>();
  c->SetFileName("/media/" + name);
  c->SetClipType(type);
  if (type == ctAnimation || type == ctMovie) c->SetMovieDuration(frames);
  if (type == ctAudio || type == ctMovie) c->SetAudioDuration(frames);
  if (type != ctStillImage) c->SetMaxDuration(frames);
  c->SetDuration(type == ctStillImage ? 250 : frames);
  return c;
}

// Row x (view pixels) of a frame, and the box y of the middle of a row.
inline int XOf(const TLayerBox& box, int frame) {
  return FrameToPixel(box.Zoom(), box.IconSize(), frame) - FrameToPixel(box.Zoom(), box.IconSize(), box.FirstFrame());
}
inline int YOf(const TLayerBox& box, TLayerNumber n) {
  const TLayerRow* r = box.RowByNumber(n);
  return r->Top() + r->BaseHeight() / 2;
}
inline TLayerRow* Row(const TLayerBox& box, TLayerNumber n) { return box.RowByNumber(n); }

// Drops a clip on a row with the pointer at a frame.
inline bool DropClip(TLayerBox& box, TClipGraphic* clip, TLayerNumber n, int frame) {
  return box.DragDrop(TDragSource::FromClip(clip), XOf(box, frame), YOf(box, n));
}

// A user's drag: press at (x0, y0), move in steps to (x1, y1), release.
inline void Drag(TLayerBox& box, int x0, int y0, int x1, int y1, TShiftState shift = 0, int steps = 4) {
  box.MouseDown(mbLeft, shift, x0, y0);
  for (int k = 1; k <= steps; ++k) box.MouseMove(shift, x0 + (x1 - x0) * k / steps, y0 + (y1 - y0) * k / steps);
  box.MouseUp(mbLeft, shift, x1, y1);
}
inline void Click(TLayerBox& box, int x, int y, TShiftState shift = 0) {
  box.MouseDown(mbLeft, shift, x, y);
  box.MouseUp(mbLeft, shift, x, y);
}
// The middle of a block in box coordinates.
inline std::pair<int, int> Middle(const TLayerBox& box, const TLayerItem* item) {
  int x = (item->Left() + item->Right()) / 2 - FrameToPixel(box.Zoom(), box.IconSize(), box.FirstFrame());
  return {x, item->Parent()->Top() + item->Parent()->BaseHeight() / 2};
}

// [first, last) of every block of a row.
inline std::vector<std::pair<int, int>> Spans(const TLayerRow* row) {
  std::vector<std::pair<int, int>> s;
  for (int i = 0; i < row->ItemCount(); ++i) s.emplace_back(row->Items(i)->FirstFrame(), row->Items(i)->LastFrame());
  return s;
}
inline std::vector<std::pair<int, int>> Spans(const TLayerBox& box, TLayerNumber n) { return Spans(box.RowByNumber(n)); }

// The invariants of the time line: every row sorted and linked in order, first frames
// at 0 or later, lengths of 1 or more, rectangles from the frames, no overlaps (the
// transition row included, as it is derived), exactly one transition block per overlap
// of a block of A with a block of B, partner links mutual and on rows of the box, and,
// when asked, synchronised partners in step (same start, same length).
inline ::testing::AssertionResult CheckInvariants(const TLayerBox& box, bool partnersInStep = true) {
  std::ostringstream err;
  for (int r = 0; r < box.RowCount(); ++r) {
    const TLayerRow* row = box.Rows(r);
    for (int i = 0; i < row->ItemCount(); ++i) {
      const TLayerItem* it = row->Items(i);
      if (it->Parent() != row) err << "row " << row->LayerNumber() << " #" << i << ": wrong parent\n";
      if (it->PrevItem() != (i > 0 ? row->Items(i - 1) : nullptr))
        err << "row " << row->LayerNumber() << " #" << i << ": PrevItem\n";
      if (it->NextItem() != row->Items(i + 1)) err << "row " << row->LayerNumber() << " #" << i << ": NextItem\n";
      if (it->FirstFrame() < 0) err << "row " << row->LayerNumber() << " #" << i << ": FirstFrame < 0\n";
      if (it->Duration() < 1) err << "row " << row->LayerNumber() << " #" << i << ": Duration < 1\n";
      if (it->Left() != FrameToPixel(box.Zoom(), box.IconSize(), it->FirstFrame()) ||
          it->Right() != FrameToPixel(box.Zoom(), box.IconSize(), it->LastFrame()))
        err << "row " << row->LayerNumber() << " #" << i << ": rectangle not from frames\n";
      if (i > 0) {
        const TLayerItem* p = row->Items(i - 1);
        if (p->FirstFrame() > it->FirstFrame()) err << "row " << row->LayerNumber() << " #" << i << ": not sorted\n";
        if (it->FirstFrame() < p->LastFrame())
          err << "row " << row->LayerNumber() << " #" << i << ": overlaps [" << p->FirstFrame() << "," << p->LastFrame()
              << ") with [" << it->FirstFrame() << "," << it->LastFrame() << ")\n";
      }
      if (const TLayerItem* partner = it->LinkSynchronizeItem()) {
        if (partner->LinkSynchronizeItem() != it) err << "row " << row->LayerNumber() << " #" << i << ": link not mutual\n";
        if (!partner->Parent() || box.IndexOfItem(partner) < 0)
          err << "row " << row->LayerNumber() << " #" << i << ": partner not on the time line\n";
        if (partnersInStep && it->SynchronizeBothItem() &&
            (partner->FirstFrame() != it->FirstFrame() || partner->Duration() != it->Duration()))
          err << "row " << row->LayerNumber() << " #" << i << ": partner out of step [" << it->FirstFrame() << ","
              << it->LastFrame() << ") vs [" << partner->FirstFrame() << "," << partner->LastFrame() << ")\n";
      }
    }
  }
  if (box.RowByNumber(lnRange)->ItemCount() > 1) err << "more than one range block\n";
  // the transition row is exactly the overlaps of A and B
  std::vector<std::pair<int, int>> expected;
  auto a = Spans(box, lnFirstClipTop), b = Spans(box, lnFirstClipBottom);
  for (auto& x : a)
    for (auto& y : b) {
      int s = std::max(x.first, y.first), e = std::min(x.second, y.second);
      if (s < e) expected.emplace_back(s, e);
    }
  std::sort(expected.begin(), expected.end());
  auto t = Spans(box, lnFirstFx3d);
  if (t != expected) {
    err << "transition row:";
    for (auto& s : t) err << " [" << s.first << "," << s.second << ")";
    err << " expected:";
    for (auto& s : expected) err << " [" << s.first << "," << s.second << ")";
    err << "\n";
  }
  std::string text = err.str();
  if (text.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << text;
}

}  // namespace movara::test
