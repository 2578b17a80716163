// Clip thumbnails and the clip box: loading every kind, natural lengths, the order of
// thumbnails of one file, the resource lists kept while a file is still shown, the
// limit and its message, deletion questions, sorting, reloaded title pictures and the
// animation strip's parameters.
#include "project/ClipBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/UserMessages.h"
#include "media/AudioZoom.h"
#include "media/Avi.h"
#include "media/PictureFile.h"
#include "media/ResourceLists.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Quote;
using movara::test::RunCommand;
using movara::test::TTempDir;

namespace {

TDIB Picture(int w, int h, TColor c) {
  TDIB dib(w, h, 24);
  dib.Fill(c);
  return dib;
}

bool RunFfmpeg(const std::string& args) { return RunCommand("ffmpeg -v error -y " + args).exitCode == 0; }

class ClipBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDataFolderForTests(tmp_.File("data/")); }
  void TearDown() override {
    DestroyResourceLists();
    AudioZoomReaderList().Clear();
    SetDataFolderForTests("");
  }
  std::string Bmp(const std::string& name, TColor c = RGBColor(10, 20, 30)) {
    const std::string f = tmp_.File(name);
    EXPECT_TRUE(Picture(160, 120, c).SaveToFile(f));
    return f;
  }
  TTempDir tmp_;
};

TEST_F(ClipBoxTest, StillPictureHasTenSecondsAndNoNaturalLength) {
  TClipBox box;
  TClipGraphic* c = box.AddFile(Bmp("still.bmp"));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->ClipType(), ctStillImage);
  EXPECT_EQ(c->Duration(), 250);
  EXPECT_EQ(c->MaxDuration(), 0);
  EXPECT_FALSE(c->HasMaxDuration());
  EXPECT_EQ(c->PictureWidth(), 160);
  EXPECT_EQ(c->Bitmap().Width(), 96);
  EXPECT_EQ(c->Bitmap().Height(), 77);
  EXPECT_EQ(c->BitmapClip().Width(), 72);  // isNormal
  EXPECT_EQ(c->FileShortName(), "still.bmp");
  EXPECT_GT(c->FileLength(), 160 * 120 * 3);
  EXPECT_EQ(box.FindClip(tmp_.File("still.bmp")), c);
  EXPECT_EQ(box.FindClip(tmp_.File("other.bmp")), nullptr);
  const std::vector<std::string> lines = c->InfoLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Trwanie: 0:00:10:00"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Rozdzielczość: 160 x 120"), lines.end());
  box.SetClipIconSize(isSmallest);
  EXPECT_EQ(c->BitmapClip().Width(), 24);
  EXPECT_EQ(c->InfoLines().size(), 2u) << "the smallest size shows the name and the length only";
}

TEST_F(ClipBoxTest, SameFileTwiceKeepsTheResourceUntilTheLastGoes) {
  const std::string f = Bmp("twice.bmp");
  TClipBox box;
  TClipGraphic* a = box.AddFile(f);
  TClipGraphic* b = box.AddFile(f);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Order(), 1);
  EXPECT_EQ(b->Order(), 2);
  EXPECT_EQ(DIBList()->Count(), 1);
  box.DeleteClip(a);
  EXPECT_EQ(box.Count(), 1);
  EXPECT_EQ(b->Order(), 1);
  EXPECT_NE(DIBList()->FindItem(f), nullptr);
  EXPECT_NE(DIBFYList()->FindItem(f), nullptr);
  box.DeleteClip(b);
  EXPECT_EQ(DIBList()->FindItem(f), nullptr);
  EXPECT_EQ(DIBFYList()->FindItem(f), nullptr);
}

TEST_F(ClipBoxTest, BadFilesLeaveNoThumbnailAndTheLimitStopsAdding) {
  TScopedMessageRecorder rec;
  const std::string f = Bmp("many.bmp");
  const std::string empty = tmp_.File("empty.bmp");
  movara::test::WriteBytes(empty, {});
  TClipBox box;
  EXPECT_EQ(box.MaxClipCount(), 300);
  EXPECT_EQ(box.AddFiles({tmp_.File("missing.bmp"), empty}), 0);
  EXPECT_EQ(box.Count(), 0);
  ASSERT_EQ(rec.Texts().size(), 2u);
  EXPECT_EQ(rec.Texts()[0], "Nastąpił błąd w trakcie odczytu zbioru \"" + tmp_.File("missing.bmp") + "\"");

  rec.Recorder().Clear();
  std::vector<std::string> files(302, f);
  EXPECT_EQ(box.AddFiles(files), 300);
  EXPECT_EQ(box.Count(), 300);
  EXPECT_TRUE(box.MaxClipOverflow());
  EXPECT_EQ(box.Clips(299)->Order(), 300);
  const std::string limit = "Przekroczono limit ładowanych zasobów !!! Dopuszczalna liczba zasobów: 300.";
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0], limit);
  // Shown once until the count drops again.
  EXPECT_EQ(box.AddFiles({f}), 0);
  EXPECT_EQ(rec.Texts().size(), 1u);
  box.DeleteClip(box.Clips(0));
  EXPECT_EQ(box.AddFiles({f, f}), 1);
  ASSERT_EQ(rec.Texts().size(), 2u);
  EXPECT_EQ(rec.Texts()[1], limit);
  EXPECT_EQ(box.LabelClipItemsText(), "Pozycje: 300");
  EXPECT_EQ(box.LabelClipItemsText(40, 8), "300");
}

TEST_F(ClipBoxTest, UsedThumbnailAsksBeforeItGoes) {
  TScopedMessageRecorder rec;
  TClipBox box;
  TClipGraphic* used = box.AddFile(Bmp("used.bmp"));
  TClipGraphic* free = box.AddFile(Bmp("free.bmp"));
  ASSERT_TRUE(used && free);
  used->SetUsed(true);
  bool told = false;
  int blockKey = 0;
  used->AddDestroyListener(&blockKey, [&told] { told = true; });

  rec.Recorder().QueueAnswer(TMsgAnswer::Cancel);
  EXPECT_EQ(box.DeleteClips(false, false), 1);
  EXPECT_EQ(box.Count(), 1);
  EXPECT_EQ(box.Clips(0), used);
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0],
            "Wybrany element użyty jest na linii czasu. Czy napewno go usunąć used.bmp z okna zasobów oraz z linii "
            "czasu ?");
  EXPECT_EQ(rec.Recorder().Requests()[0].Caption, "Uwaga !");
  EXPECT_EQ(rec.Recorder().Requests()[0].Buttons, TMsgButtons::OkCancel);
  EXPECT_FALSE(told);

  rec.Recorder().QueueAnswer(TMsgAnswer::Ok);
  bool previewCleared = false;
  box.OnClearPreview = [&] { previewCleared = true; };
  EXPECT_EQ(box.DeleteClips(false, true), 1);
  EXPECT_TRUE(told);
  EXPECT_EQ(box.Count(), 0);
  EXPECT_TRUE(previewCleared);
  EXPECT_EQ(DIBList()->Count(), 0);
}

TEST_F(ClipBoxTest, TimeLineSortPutsUsedFirst) {
  TClipBox box;
  TClipGraphic* z = box.AddFile(Bmp("z.bmp"));
  TClipGraphic* a = box.AddFile(Bmp("a.bmp"));
  TClipGraphic* m = box.AddFile(Bmp("M.bmp"));
  ASSERT_TRUE(z && a && m);
  z->SetUsed(true);
  z->SetPosition(0);
  box.SetSort(clipsort::scTimeLine);
  EXPECT_EQ(box.Clips(0), z);
  EXPECT_EQ(box.Clips(1), a);
  EXPECT_EQ(box.Clips(2), m);
  m->SetUsed(true);
  m->SetPosition(0);
  box.SetSort(clipsort::scTimeLine);
  EXPECT_EQ(box.Clips(0), m) << "equal positions order by name, case-blind";
  EXPECT_EQ(box.Clips(1), z);
  box.SetSort(clipsort::scName);
  EXPECT_EQ(box.Clips(0), a);
  EXPECT_EQ(box.Clips(1), m);
  EXPECT_EQ(box.Clips(2), z);
  EXPECT_EQ(box.UnusedCount(), 1);
  box.SelectAlone(m);
  EXPECT_EQ(box.SelectedCount(), 1);
}

TEST_F(ClipBoxTest, SavedPictureIsReloadedForEveryThumbnail) {
  const std::string f = Bmp("page.bmp", RGBColor(255, 0, 0));
  TClipBox box;
  TClipGraphic* a = box.AddFile(f);
  TClipGraphic* b = box.AddFile(f);
  ASSERT_TRUE(a && b);
  a->SetBitmapID(7);
  b->SetBitmapID(7);
  b->SetUsed(true);
  std::vector<int> killed;
  int changes = 0;
  box.OnKillBitmap = [&](int id) { killed.push_back(id); };
  box.OnChange = [&] { ++changes; };
  TDIB* oldFlipped = DIBList()->FindItem(f);
  ASSERT_TRUE(Picture(160, 120, RGBColor(0, 255, 0)).SaveToFile(f));
  ASSERT_TRUE(box.TitlePageSaved(f));
  EXPECT_EQ(killed, std::vector<int>{7});
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(a->BitmapID(), -1);
  EXPECT_EQ(a->Bitmap().Pixel(5, 5), RGBColor(0, 255, 0));
  TDIB* now = DIBList()->FindItem(f);
  ASSERT_NE(now, nullptr);
  EXPECT_NE(now, oldFlipped);
  EXPECT_EQ(now->Pixel(0, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(DIBFYList()->FindItem(f)->Pixel(0, 0), RGBColor(0, 255, 0));

  TScopedMessageRecorder rec;
  EXPECT_FALSE(box.TitlePageSaved(tmp_.File("gone.bmp")));
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0],
            "Nastąpił błąd w trakcie aktualizacji zbioru \"" + tmp_.File("gone.bmp") + "\" w liście zasobów");
}

TEST_F(ClipBoxTest, TitlePageThumbnailFollowsItsSavedPage) {
  TColor pageColour = RGBColor(200, 0, 0);
  SetTitlePageLoader([&pageColour](const std::string&, TDIB& dib) {
    dib = Picture(320, 240, pageColour);
    return true;
  });
  const std::string page = tmp_.File("title.pte");
  movara::test::WriteBytes(page, {1, 2, 3, 4});
  TClipBox box;
  TClipGraphic* c = box.AddTitlePage(page);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->ClipType(), ctStillImage);
  EXPECT_EQ(c->PictureWidth(), 320);
  std::string edited;
  box.OnEditPage = [&](const std::string& f) { edited = f; };
  box.DoubleClick(c);
  EXPECT_EQ(edited, page);

  pageColour = RGBColor(0, 0, 200);
  EXPECT_TRUE(box.TitlePageSaved(page));
  EXPECT_EQ(c->Bitmap().Pixel(1, 1), RGBColor(0, 0, 200));
  EXPECT_EQ(DIBFYList()->FindItem(page)->Pixel(1, 1), RGBColor(0, 0, 200));

  // A page the renderer refuses: the message, no thumbnail.
  SetTitlePageLoader([](const std::string&, TDIB&) { return false; });
  TScopedMessageRecorder rec;
  const std::string broken = tmp_.File("broken.pte");
  movara::test::WriteBytes(broken, {1});
  EXPECT_EQ(box.AddTitlePage(broken), nullptr);
  EXPECT_EQ(box.Count(), 1);
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0], "Nastąpił błąd w trakcie odczytu zbioru \"" + broken + "\"");
  SetTitlePageLoader(nullptr);
}

TEST_F(ClipBoxTest, AviWithoutSoundIsAnAnimationAndWithSoundAMovie) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string silent = tmp_.File("silent.avi");
  // 5 frames at 12.5 per second: 400 ms, 10 frames of the project.
  ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=64x48:rate=12.5 -frames:v 5 -c:v mjpeg " + Quote(silent)));
  const std::string movie = tmp_.File("movie.avi");
  ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -f lavfi -i "
                        "sine=sample_rate=22050:duration=2 -c:v mjpeg -c:a pcm_s16le " +
                        Quote(movie)));
  const std::string wav = tmp_.File("tone.wav");
  ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=sample_rate=44100:duration=3 -ac 2 " + Quote(wav)));

  TClipBox box;
  TClipGraphic* anim = box.AddFile(silent);
  ASSERT_NE(anim, nullptr);
  EXPECT_EQ(anim->ClipType(), ctAnimation);
  EXPECT_EQ(anim->MovieDuration(), 10);
  EXPECT_EQ(anim->MaxDuration(), 10);
  EXPECT_EQ(anim->Duration(), 10);
  EXPECT_DOUBLE_EQ(anim->MovieTimeBase(), 12.5);
  EXPECT_EQ(anim->PictureWidth(), 64);
  EXPECT_NE(anim->Animation(), nullptr);
  EXPECT_EQ(anim->AudioReader(), nullptr);
  EXPECT_TRUE(anim->HasMaxDuration());

  TClipGraphic* mov = box.AddFile(movie);
  ASSERT_NE(mov, nullptr);
  EXPECT_EQ(mov->ClipType(), ctMovie);
  EXPECT_EQ(mov->Frequency(), 22050);
  EXPECT_EQ(mov->Bits(), 16);
  EXPECT_FALSE(mov->Stereo());
  EXPECT_EQ(mov->MovieDuration(), 10);
  EXPECT_EQ(mov->AudioDuration(), 50);
  EXPECT_EQ(mov->MaxDuration(), 50);
  ASSERT_NE(mov->AudioReader(), nullptr);
  EXPECT_EQ(mov->AudioReader()->DestinationFormat().wBitsPerSample, 16);
  EXPECT_NE(mov->AudioZoomReader(), nullptr);
  EXPECT_NE(AudioFileList()->FindItem(movie), nullptr);

  TClipGraphic* snd = box.AddFile(wav);
  ASSERT_NE(snd, nullptr);
  EXPECT_EQ(snd->ClipType(), ctAudio);
  EXPECT_TRUE(snd->Stereo());
  EXPECT_EQ(snd->AudioDuration(), 75);
  EXPECT_EQ(snd->MaxDuration(), 75);
  EXPECT_EQ(snd->PictureWidth(), 100);
  EXPECT_EQ(snd->Bitmap().Pixel(0, 0), RGBColor(255, 255, 255));

  box.ClearClips();
  EXPECT_EQ(AVIList()->Count(), 0);
  EXPECT_EQ(AudioFileList()->Count(), 0);
  EXPECT_EQ(AudioZoomReaderList().Count(), 0);
}

// The command line loads clips for a film alone: the same lengths, frame rates and
// sound formats as the thumbnails give, from the readers the film is made from.
TEST_F(ClipBoxTest, ClipsForAFilmAloneHaveTheLengthsOfTheirThumbnails) {
  REQUIRE_PROGRAM("ffmpeg");
  struct TCase {
    const char* name;
    const char* args;  // ffmpeg's inputs and options before the file name
  };
  const TCase cases[] = {
      {"silent.avi", "-f lavfi -i testsrc2=size=64x48:rate=12.5 -frames:v 7 -c:v mjpeg"},
      {"movie.avi",
       "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.44 -f lavfi -i sine=sample_rate=22050:duration=1.013 "
       "-c:v mjpeg -c:a pcm_s16le"},
      {"u8.wav", "-f lavfi -i sine=sample_rate=8000:duration=1.234 -c:a pcm_u8"},
      {"s16.wav", "-f lavfi -i sine=sample_rate=48000:duration=1.001 -ac 2"},
      {"mono11.wav", "-f lavfi -i sine=sample_rate=11025:duration=0.517"},
      {"s24.wav", "-f lavfi -i sine=sample_rate=44100:duration=0.771 -c:a pcm_s24le"},
      {"phone.mp4",
       "-f lavfi -i testsrc2=size=96x64:rate=30000/1001:duration=0.5 -f lavfi -i sine=sample_rate=48000:duration=0.61 "
       "-c:v libx264 -pix_fmt yuv420p -c:a aac"},
      {"voice.mp4", "-f lavfi -i sine=sample_rate=44100:duration=0.9 -c:a aac"},
      {"song.m4a", "-f lavfi -i sine=sample_rate=32000:duration=1.3 -c:a aac"},
      {"photo.jpg", "-f lavfi -i testsrc2=size=120x90 -frames:v 1"},
      {"still.bmp", "-f lavfi -i testsrc2=size=64x48 -frames:v 1 -pix_fmt bgr24"},
  };
  // what a film takes from a clip
  auto facts = [](const TClipGraphic& c) {
    const bool picture = c.ClipType() == ctMovie || c.ClipType() == ctAnimation || c.ClipType() == ctStillImage;
    return std::vector<double>{double(c.ClipType()), double(c.Duration()),     double(c.MaxDuration()),
                               double(c.MovieDuration()), double(c.AudioDuration()), c.MovieTimeBase(),
                               double(c.Frequency()),     double(c.Bits()),         double(c.Stereo()),
                               double(picture ? c.PictureWidth() : 0), double(picture ? c.PictureHeight() : 0)};
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = tmp_.File(c.name);
    ASSERT_TRUE(RunFfmpeg(std::string(c.args) + " " + Quote(file)));
    TClipBox lean;
    lean.SetClipsForFilmOnly(true);
    const TClipGraphic* a = lean.AddFile(file);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Animation(), nullptr);
    EXPECT_EQ(a->AudioZoomReader(), nullptr);
    EXPECT_TRUE(a->Bitmap().Empty());
    EXPECT_EQ(AudioZoomReaderList().Count(), 0);
    EXPECT_EQ(AVIList()->FindItem(file) != nullptr, a->ClipType() == ctMovie || a->ClipType() == ctAnimation);
    EXPECT_EQ(AudioFileList()->FindItem(file) != nullptr, a->ClipType() == ctMovie || a->ClipType() == ctAudio);
    EXPECT_EQ(DIBFYList()->FindItem(file) != nullptr, a->ClipType() == ctStillImage);
    const std::vector<double> forFilm = facts(*a);
    lean.ClearClips();
    DestroyResourceLists();

    TClipBox full;
    const TClipGraphic* b = full.AddFile(file);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b->ClipType(), ctNone);
    EXPECT_EQ(forFilm, facts(*b));
    full.ClearClips();
    DestroyResourceLists();
    AudioZoomReaderList().Clear();
  }
}

TEST(ClipGraphic, ColourClipAndFreeThumbnail) {
  TClipGraphic c;
  EXPECT_FALSE(c.LoadClip(""));
  EXPECT_EQ(c.ClipType(), ctNone);
  c.LoadColor(RGBColor(0, 0, 255));
  EXPECT_EQ(c.ClipType(), ctUniformColor);
  EXPECT_EQ(c.UniformColorValue(), RGBColor(0, 0, 255));
  EXPECT_EQ(c.Duration(), 250);
  EXPECT_FALSE(c.HasMaxDuration());
  EXPECT_EQ(c.Bitmap().Pixel(95, 76), RGBColor(0, 0, 255));
  EXPECT_EQ(c.InfoLines()[0], "Nieznany plik [1]");
}

TEST(AnimationBox, StripCoversTheVisiblePartFromTheThumbnailBefore) {
  const TAnimationStrip s = TAnimationBox::StripFor(130, 120, 50, 2000, 400);
  EXPECT_EQ(s.Phase, 30);
  EXPECT_EQ(s.FrameCount, 3);  // 150 pixels from the thumbnail's edge
  EXPECT_DOUBLE_EQ(s.TimeLength, 2000);
  EXPECT_DOUBLE_EQ(s.TimeOffset, 2 * 2000 + 400);
  const TAnimationStrip exact = TAnimationBox::StripFor(100, 100, 50, 1000, 0);
  EXPECT_EQ(exact.Phase, 0);
  EXPECT_EQ(exact.FrameCount, 2);
  EXPECT_EQ(TAnimationBox::StripFor(10, 10, 0, 1, 0).FrameCount, 0);

  TAnimationBox box;
  EXPECT_TRUE(box.SetParams(24, 19, 4, 1000, 0));
  EXPECT_FALSE(box.SetParams(24, 19, 4, 1000, 0));
  EXPECT_FALSE(box.SetParams(24, 19, 3, 1000, 0)) << "fewer frames than cached need no rebuild";
  EXPECT_TRUE(box.SetParams(24, 19, 5, 1000, 0));
  EXPECT_EQ(box.Strip().Width(), 120);
  EXPECT_TRUE(box.SetParams(24, 19, 5, 1000, 40));
  EXPECT_FALSE(box.SetParams(24, 19, 100000, 1000, 40)) << "a strip wider than any picture is refused";
}

}  // namespace
