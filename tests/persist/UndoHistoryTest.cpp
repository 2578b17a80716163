// The edit history against the project file: random edits of every kind, then undo
// and redo in random order, each state compared byte for byte with the file the project
// saved at that point, and the rows' invariants checked after every step.
#include "project/UndoHistory.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "persist/ProjectFile.h"
#include "project/ClipGraphic.h"
#include "project/LayersTestSupport.h"

namespace movara {
namespace {

using test::CheckInvariants;
using test::Click;
using test::Drag;
using test::DropClip;
using test::Middle;
using test::Row;
using test::XOf;
using test::YOf;

// The bytes the project saves; the view (first frame) is put back first, as moving it is
// no edit.
std::vector<uint8_t> Saved(TLayerBox& box, const TProjectClipList& clips) {
  if (box.FirstFrame() != 0) box.SetFirstFrame(0);
  return ProjectBytes(box, &clips, ctSMPTE, "");
}

struct TRandomEditor {
  TLayerBox& box;
  TProjectClipList& clips;
  std::mt19937 rng;
  std::vector<TClipGraphic*> pictures, sounds;

  TRandomEditor(TLayerBox& b, TProjectClipList& c, uint32_t seed) : box(b), clips(c), rng(seed) {
    for (int len : {30, 60, 90, 150})
      pictures.push_back(clips.AddClip("/media/m" + std::to_string(len) + ".avi", ctMovie, len));
    pictures.push_back(clips.AddClip("/media/still.bmp", ctStillImage, 0));
    sounds.push_back(clips.AddClip("/media/a.wav", ctAudio, 120));
  }
  int Pick(int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); }
  TLayerItem* RandomItem(std::initializer_list<TLayerNumber> rows, TLayerNumber& n) {
    std::vector<TLayerNumber> r(rows);
    n = r[static_cast<size_t>(Pick(static_cast<int>(r.size())))];
    TLayerRow* row = Row(box, n);
    return row->ItemCount() ? row->Items(Pick(row->ItemCount())) : nullptr;
  }

  // One user gesture or command; the text says what it was.
  std::string Edit() {
    static const auto all = {lnImage, lnFirstClipTop, lnFirstClipBottom, lnAudioFirst, lnAudioSecond, lnAudioThird};
    TLayerNumber n = lnNone;
    switch (Pick(20)) {
      case 0:
      case 1:
      case 2: {
        static const TLayerNumber rows[] = {lnImage, lnFirstClipTop, lnFirstClipBottom};
        const TLayerNumber row = rows[Pick(3)];
        DropClip(box, pictures[static_cast<size_t>(Pick(5))], row, Pick(1500));
        return "drop";
      }
      case 3: {
        static const TLayerNumber rows[] = {lnAudioFirst, lnAudioSecond, lnAudioThird};
        DropClip(box, sounds[0], rows[Pick(3)], Pick(1500));
        return "drop sound";
      }
      case 4:
      case 5: {
        TLayerItem* it = RandomItem(all, n);
        if (!it) return "-";
        auto [x, y] = Middle(box, it);
        const TLayerNumber to = Pick(3) == 0 ? std::vector<TLayerNumber>(all)[static_cast<size_t>(Pick(6))] : n;
        Drag(box, x, y, x + Pick(301) - 150, YOf(box, to), Pick(4) == 0 ? ssShift : 0, 6);
        return "move";
      }
      case 6: {
        TLayerItem* it = RandomItem(all, n);
        if (!it) return "-";
        const bool left = Pick(2) == 0;
        const int x = (left ? it->Left() + 1 : it->Right() - 1) - FrameToPixel(box.Zoom(), box.IconSize(), box.FirstFrame());
        Drag(box, x, YOf(box, n), x + Pick(201) - 100, YOf(box, n));
        return "resize";
      }
      case 7: {
        TLayerItem* it = RandomItem(all, n);
        if (!it || it->Duration() < 2) return "-";
        box.StartRazor();
        Click(box, XOf(box, it->FirstFrame() + 1 + Pick(it->Duration() - 1)), YOf(box, n));
        return "razor";
      }
      case 8: {
        for (int k = Pick(3) + 1; k > 0; --k)
          if (TLayerItem* it = RandomItem(all, n)) it->SetSelected(true);
        box.DeleteSelected();
        return "delete";
      }
      case 9: {
        box.DeselectAll();
        for (int k = Pick(3) + 1; k > 0; --k)
          if (TLayerItem* it = RandomItem(all, n)) it->SetSelected(true);
        box.CopyToClipboard();
        const TLayerNumber to = std::vector<TLayerNumber>(all)[static_cast<size_t>(Pick(6))];
        box.PasteAt(Pick(2000), Row(box, to));
        return "paste";
      }
      case 10: {
        TLayerItem* it = RandomItem({lnAudioFirst, lnAudioSecond, lnAudioThird, lnImage}, n);
        if (!it) return "-";
        TLevelBox* levels = it->LevelBox();
        if (TLevelItem* p = levels->AddPoint(Pick(std::max(1, it->Duration())))) p->Level = Pick(101);
        levels->EndPoint()->Level = Pick(101);
        return "envelope";
      }
      case 11: {
        TLayerRow* row = Row(box, Pick(2) ? lnImage : lnFirstClipBottom);
        const int x = XOf(box, Pick(1500));
        if (TLayerItem* it = row->ItemAtPoint(x, 5); it && it->UniformColor() != ucNone)
          row->RecolorItem(it, Pick(2) ? ucBlue : ucMagenta, 0);
        else
          row->InsertUniformColor(x, Pick(2) ? ucBlue : ucSelected, static_cast<TColor>(rng() & 0xFFFFFF));
        return "colour";
      }
      case 12: {
        TLayerItem* it = RandomItem({lnImage}, n);
        if (!it) return "-";
        it->SetColorKey(static_cast<TColor>(rng() & 0xFFFFFF));
        it->SetComposeMode(Pick(2) ? cmKeyOnThisLayer : cmNone);
        it->SetYUVHi(Pick(256));
        it->SetYUVLo(Pick(256));
        return "key";
      }
      case 13: {
        TLayerItem* it = RandomItem({lnFirstFx3d}, n);
        if (!it) return "-";
        box.ChooseEffect(it, 0x101 + Pick(8));
        return "effect";
      }
      case 14: {
        Row(box, lnSequence)->SetSequenceShortcut(XOf(box, Pick(1500)), 5, 0x41 + Pick(26));
        return "shortcut";
      }
      case 15: {
        TLayerItem* r = Row(box, lnRange)->Items(0);
        auto [x, y] = Middle(box, r);
        Drag(box, x, y, x + Pick(201) - 100, y);
        return "range";
      }
      case 16: {
        TLayerItem* sound = RandomItem({lnAudioFirst, lnAudioSecond, lnAudioThird}, n);
        if (!sound) return "-";
        if (sound->LinkSynchronizeItem()) {
          if (Pick(2)) sound->Desynchronize();
          else sound->SetLinkSynchronizeItem(nullptr);
          return "unlink";
        }
        TLayerRow* pictureRow = box.PictureRowOf(sound->Parent());
        TLayerItem* pic = pictureRow->ItemAtFrames(sound->FirstFrame(), sound->LastFrame());
        if (!pic || pic->LinkSynchronizeItem()) return "-";
        pic->SetLinkSynchronizeItem(sound);
        pic->Synchronize();
        pic->Align();
        return "link";
      }
      case 17:
        box.MakeRandomFx3d();
        return "random effects";
      case 18:
        if (Pick(10) == 0) {
          box.ClearProject(true);
          return "clear";
        }
        box.SetFirstLayerDoKey(!box.FirstLayerDoKey());
        return "layer key";
      default:
        box.SetFirstFrame(Pick(300));  // a view change: no step
        return "scroll";
    }
  }
};

TEST(UndoHistory, RandomEditsUndoneAndRedoneByteForByte) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TProjectClipList clips;
    TLayerBox box;
    TRandomEditor editor(box, clips, seed);
    TUndoHistory history(box, 2000);
    std::hash<std::string_view> hash;
    auto digest = [&] {
      const std::vector<uint8_t> b = Saved(box, clips);
      return hash(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
    };
    const std::vector<uint8_t> start = Saved(box, clips);
    std::vector<size_t> states{digest()};  // the state after each step
    std::vector<std::string> names;
    int edits = 0;
    while (edits < 1000) {
      const std::string what = editor.Edit();
      ASSERT_TRUE(CheckInvariants(box, false)) << what;
      ++edits;
      if (history.Commit()) {
        states.push_back(digest());
        names.push_back(history.UndoName());
        EXPECT_FALSE(history.UndoName().empty());
      } else {
        ASSERT_EQ(digest(), states.back()) << "a change that made no step: " << what;
      }
    }
    ASSERT_GT(states.size(), 400u);
    const std::vector<uint8_t> end = Saved(box, clips);
    ASSERT_EQ(history.UndoCount(), static_cast<int>(states.size()) - 1);

    // everything back: the start, byte for byte
    for (int k = static_cast<int>(states.size()) - 1; k > 0; --k) {
      ASSERT_EQ(history.UndoName(), names[static_cast<size_t>(k - 1)]);
      ASSERT_TRUE(history.Undo());
      ASSERT_TRUE(CheckInvariants(box, false)) << "undo to " << k - 1;
      ASSERT_EQ(digest(), states[static_cast<size_t>(k - 1)]) << "undo to " << k - 1;
    }
    EXPECT_FALSE(history.Undo());
    EXPECT_EQ(Saved(box, clips), start);
    // everything again: the end
    while (history.Redo()) ASSERT_TRUE(CheckInvariants(box, false));
    EXPECT_EQ(Saved(box, clips), end);

    // random walks, with new edits that cut the redo branch
    int position = history.UndoCount();
    for (int k = 0; k < 1500; ++k) {
      const int r = editor.Pick(10);
      if (r < 4) {
        if (history.Undo()) --position;
      } else if (r < 8) {
        if (history.Redo()) ++position;
      } else {
        editor.Edit();
        if (history.Commit()) {
          states.resize(static_cast<size_t>(position) + 1);
          states.push_back(digest());
          ++position;
          ASSERT_FALSE(history.CanRedo());
        }
      }
      ASSERT_EQ(history.UndoCount(), position);
      ASSERT_TRUE(CheckInvariants(box, false)) << "walk " << k;
      ASSERT_EQ(digest(), states[static_cast<size_t>(position)]) << "walk " << k;
    }
  }
}

// Names of the steps as the Edit menu shows them, a gesture being one step, and what
// the history keeps across saves, limits and removed resources.
TEST(UndoHistory, StepsNamesAndLimits) {
  TProjectClipList clips;
  TClipGraphic* movie = clips.AddClip("/media/m.avi", ctMovie, 100);
  auto box = std::make_unique<TLayerBox>();
  TUndoHistory history(*box, 3);
  EXPECT_EQ(history.UndoText(), "Cofnij");
  EXPECT_EQ(history.RedoText(), "Ponów");
  EXPECT_FALSE(history.Undo());

  DropClip(*box, movie, lnFirstClipTop, 0);
  ASSERT_TRUE(history.Commit());
  EXPECT_EQ(history.UndoText(), "Cofnij: wstawienie bloczka");
  TLayerItem* a = Row(*box, lnFirstClipTop)->Items(0);
  // a drag of many moves is one step, recorded only once the button is up
  auto [x, y] = Middle(*box, a);
  box->MouseDown(mbLeft, 0, x, y);
  for (int k = 1; k <= 10; ++k) box->MouseMove(0, x + 5 * k, y);
  EXPECT_FALSE(history.Commit());
  box->MouseUp(mbLeft, 0, x + 50, y);
  ASSERT_TRUE(history.Commit());
  EXPECT_EQ(history.UndoText(), "Cofnij: przesunięcie bloczka");
  const int moved = a->FirstFrame();
  EXPECT_GT(moved, 0);
  box->StartRazor();
  Click(*box, XOf(*box, moved + 40), YOf(*box, lnFirstClipTop));
  ASSERT_TRUE(history.Commit());
  EXPECT_EQ(history.UndoName(), "cięcie bloczka");

  // a save does not clear; stepping back to it leaves the project unmodified
  history.MarkSaved();
  box->SetModified(false);
  ASSERT_TRUE(history.Undo());
  EXPECT_TRUE(box->Modified());
  EXPECT_EQ(history.RedoText(), "Ponów: cięcie bloczka");
  ASSERT_TRUE(history.Redo());
  EXPECT_FALSE(box->Modified());

  // the limit drops the oldest step
  box->DeselectAll();
  Row(*box, lnFirstClipTop)->Items(0)->SetSelected(true);
  box->DeleteSelected();
  ASSERT_TRUE(history.Commit());
  EXPECT_EQ(history.UndoName(), "usunięcie bloczka");
  EXPECT_EQ(history.UndoCount(), 3);
  ASSERT_TRUE(history.Undo());
  ASSERT_TRUE(history.Undo());
  ASSERT_TRUE(history.Undo());
  EXPECT_FALSE(history.Undo());  // the insertion was dropped: the block stays, where it came
  ASSERT_EQ(Row(*box, lnFirstClipTop)->ItemCount(), 1);
  EXPECT_EQ(Row(*box, lnFirstClipTop)->Items(0)->FirstFrame(), 0);
  ASSERT_TRUE(CheckInvariants(*box));

  // a resource removed with its blocks voids the steps that could bring them back
  ASSERT_TRUE(history.Redo());
  clips.ClearClips();
  EXPECT_FALSE(history.CanUndo());
  EXPECT_FALSE(history.CanRedo());
  EXPECT_EQ(Row(*box, lnFirstClipTop)->ItemCount(), 0);
  EXPECT_FALSE(history.Commit());
  EXPECT_FALSE(history.Undo());
  ASSERT_TRUE(CheckInvariants(*box));
}

}  // namespace
}  // namespace movara
