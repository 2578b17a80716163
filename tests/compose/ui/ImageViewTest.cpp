// The resource view (offscreen): the starting zoom and caption by the picture's width,
// the fields of an interlaced picture row by row, an AVI's frames under its slider,
// kinds it refuses, copy and paste, and the save question while all views close, with
// "Zastosuj do &wszystkich", No, Cancel and Yes (the picture saved and reloaded).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>
#include <algorithm>

#include "base/Dib.h"
#include "base/UserMessages.h"
#include "compose/ui/ImageView.h"
#include "compose/ui/MarkInOutSlider.h"
#include "media/ResourceLists.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

class TScriptedViewDialogs : public IImageViewDialogs {
 public:
  std::string SaveAnswer;
  int Saves = 0;
  std::string AskOpenFile() override { return std::string(); }
  std::string AskSaveFile(const std::string&) override {
    ++Saves;
    return SaveAnswer;
  }
};

class ImageViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetResourceViewState();
    SetImageViewDialogs(&dialogs_);
  }
  void TearDown() override {
    for (TImageView* v : ResourceViews()) delete v->Frame();
    SetImageViewDialogs(nullptr);
    DestroyResourceLists();
  }
  // A picture whose row y (from the top) is red y, green x.
  std::string Picture(const std::string& name, int w, int h) {
    TDIB dib(w, h, 24);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) dib.SetPixel(x, y, RGBColor(y & 255, x & 255, 90));
    const std::string f = dir_.File(name);
    EXPECT_TRUE(dib.SaveToFile(f));
    return f;
  }
  TImageView* Last() { return ResourceViews().empty() ? nullptr : ResourceViews().back(); }
  // Views without a file (pasted pictures).
  void Unsaved(int n) {
    TDIB dib(40, 30, 24);
    dib.Fill(RGBColor(200, 10, 10));
    for (int i = 0; i < n; ++i) {
      auto* v = new TImageView();
      v->SetPicture(dib);
      v->PlaceAndShow(nullptr);
    }
  }

  test::TTempDir dir_;
  TScopedMessageRecorder messages_;
  TScriptedViewDialogs dialogs_;
};

TEST_F(ImageViewTest, ZoomCaptionFieldsAndFrames) {
  ASSERT_TRUE(OpenResourceView(Picture("big.bmp", 720, 576), nullptr));
  TImageView* big = Last();
  EXPECT_EQ(big->Zoom(), 0.5);
  EXPECT_EQ(big->ShownPicture().Width(), 360);
  EXPECT_EQ(big->ShownPicture().Height(), 288);
  EXPECT_EQ(big->windowTitle(), QString::fromUtf8("big.bmp [360 x 288]"));
  EXPECT_EQ(big->size(), QSize(360, 288));

  ASSERT_TRUE(OpenResourceView(Picture("small.bmp", 32, 32), nullptr));
  TImageView* small = Last();
  EXPECT_EQ(small->Zoom(), 2.0);
  EXPECT_EQ(small->windowTitle(), QString::fromUtf8("small.bmp [64 x 64]"));
  // the second view stands right of the first
  EXPECT_EQ(small->Frame()->pos().x(), big->Frame()->pos().x() + big->Frame()->width());

  // fields of 64 rows at 1:1: rows counted from the bottom, the even field 0, 2 ... 62
  ASSERT_TRUE(OpenResourceView(Picture("rows.bmp", 64, 64), nullptr));
  TImageView* rows = Last();
  EXPECT_EQ(rows->Zoom(), 1.0);
  for (const auto& [mode, first] : {std::pair{1, 0}, std::pair{2, 1}}) {
    rows->SetFieldMode(mode);
    ASSERT_EQ(rows->ShownPicture().Height(), 32);
    EXPECT_EQ(rows->windowTitle(), QString::fromUtf8("rows.bmp [64 x 32]"));
    for (int r = 0; r < 32; ++r) {
      const int sourceTop = 63 - (first + 2 * r);  // row from the bottom to row from the top
      EXPECT_EQ(rows->ShownPicture().Pixel(5, 31 - r), RGBColor(sourceTop, 5, 90)) << mode << " " << r;
    }
  }
  rows->SetFieldMode(0);
  EXPECT_EQ(rows->ShownPicture().Height(), 64);
  QMenu* menu = rows->PopupMenu();
  for (QAction* a : menu->actions())
    if (a->text() == QString::fromUtf8("Rozmiar 1:&4")) a->trigger();
  EXPECT_EQ(rows->ShownPicture().Width(), 16);

  // an AVI: frames under the slider
  if (test::HaveProgram("ffmpeg")) {
    const std::string avi = dir_.File("clip.avi");
    ASSERT_EQ(test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 20 -c:v rawvideo "
                               "-pix_fmt bgr24 " + test::Quote(avi)).exitCode, 0);
    ASSERT_TRUE(OpenResourceView(avi, nullptr));
    TImageView* video = Last();
    EXPECT_TRUE(video->ShowsVideo());
    EXPECT_EQ(video->Slider()->MaxPos(), 19);
    EXPECT_FALSE(video->Slider()->isHidden());
    EXPECT_EQ(video->size(), QSize(64, 48 + video->Slider()->sizeHint().height()));
    const TDIB first = video->Picture();
    video->Slider()->setFocus();
    QTest::keyClick(video->Slider(), Qt::Key_End);
    ASSERT_EQ(video->Picture().ImageSize(), first.ImageSize());
    EXPECT_FALSE(std::equal(first.Bits(), first.Bits() + first.ImageSize(), video->Picture().Bits()));
  }

  // sounds, unknown kinds and missing files leave no view
  const size_t before = ResourceViews().size();
  EXPECT_FALSE(OpenResourceView(dir_.File("none.bmp"), nullptr));
  EXPECT_FALSE(OpenResourceView(dir_.File("tone.wav"), nullptr));
  EXPECT_FALSE(OpenResourceView(std::string(), nullptr));  // the dialog cancelled
  QApplication::processEvents();
  EXPECT_EQ(ResourceViews().size(), before);

  // copy, then paste into a duplicate: a picture without a file
  small->CopyToClipboard();
  TImageView* copy = big->Duplicate();
  EXPECT_EQ(copy->ShownPicture().Width(), 360);
  EXPECT_TRUE(copy->PasteFromClipboard());
  EXPECT_TRUE(copy->FullFileName().empty());
  EXPECT_EQ(copy->Picture().Width(), 64);
  EXPECT_EQ(copy->windowTitle(), QString::fromUtf8(" [64 x 64]"));
}

TEST_F(ImageViewTest, SaveQuestionWithApplyToAllOverUnsavedPictures) {
  const std::string kText = "Obrazek  nie jest zapisany.\r\nCzy chcesz go zapisać na dysk ?";
  // a view alone asks without the box; Cancel keeps it
  Unsaved(1);
  messages_.Recorder().QueueAnswer(TMsgAnswer::Cancel);
  EXPECT_FALSE(Last()->Frame()->close());
  ASSERT_EQ(messages_.Recorder().Requests().size(), 1u);
  EXPECT_EQ(messages_.Recorder().Requests()[0].Text, kText);
  EXPECT_EQ(messages_.Recorder().Requests()[0].Caption, "Potwierdzenie zapisu");
  EXPECT_EQ(messages_.Recorder().Requests()[0].Buttons, TMsgButtons::YesNoCancel);
  EXPECT_TRUE(messages_.Recorder().Requests()[0].CheckBoxText.empty());
  delete Last()->Frame();
  messages_.Recorder().Clear();

  // three unsaved and one with a file: Cancel for the first stops with all of them open
  ASSERT_TRUE(OpenResourceView(Picture("file.bmp", 60, 60), nullptr));
  Unsaved(3);
  messages_.Recorder().QueueReply({TMsgAnswer::Cancel, true});
  EXPECT_FALSE(CloseAllResourceViews());
  EXPECT_EQ(ResourceViews().size(), 3u);  // the view with a file closed at once
  ASSERT_EQ(messages_.Recorder().Requests().size(), 1u);
  EXPECT_EQ(messages_.Recorder().Requests()[0].CheckBoxText, "Zastosuj do &wszystkich");

  // Yes saves the first (and it closes); No with the box closes the rest unasked
  messages_.Recorder().Clear();
  dialogs_.SaveAnswer = dir_.File("saved.bmp");
  messages_.Recorder().QueueReply({TMsgAnswer::Yes, false});
  messages_.Recorder().QueueReply({TMsgAnswer::No, true});
  EXPECT_TRUE(CloseAllResourceViews());
  EXPECT_EQ(messages_.Recorder().Requests().size(), 2u);
  EXPECT_EQ(dialogs_.Saves, 1);
  EXPECT_TRUE(ResourceViews().empty());
  TDIB saved;
  ASSERT_TRUE(saved.LoadFromFile(dialogs_.SaveAnswer));
  EXPECT_EQ(saved.Width(), 40);
  EXPECT_EQ(saved.Pixel(3, 3), RGBColor(200, 10, 10));

  // a save that is cancelled keeps the view open
  Unsaved(3);
  messages_.Recorder().Clear();
  dialogs_.SaveAnswer.clear();
  messages_.Recorder().QueueReply({TMsgAnswer::Yes, true});
  EXPECT_FALSE(CloseAllResourceViews());
  EXPECT_EQ(ResourceViews().size(), 3u);
  // the choice of the stopped round is gone: the next close asks again
  messages_.Recorder().QueueReply({TMsgAnswer::No, true});
  EXPECT_TRUE(CloseAllResourceViews());
  EXPECT_EQ(messages_.Recorder().Requests().size(), 2u);
}

}  // namespace
}  // namespace movara
