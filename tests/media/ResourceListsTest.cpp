// The resource lists: lookups by long, short and fallback names, loading failures that
// add nothing, flipping once, colour pictures, sound readers by extension, the movie
// pair of LoadResourceFile, removal into the graveyard.
#include "media/ResourceLists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/AppPaths.h"
#include "base/Trace.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Quote;
using movara::test::RunCommand;
using movara::test::TTempDir;

namespace {

using TTraces = movara::test::TTraceRecorder;

// A picture whose top row is red and the rest blue.
TDIB TwoColourPicture() {
  TDIB dib(8, 6, 24);
  dib.Fill(RGBColor(0, 0, 255));
  for (int x = 0; x < 8; ++x) dib.SetPixel(x, 0, RGBColor(255, 0, 0));
  return dib;
}

bool RunFfmpeg(const std::string& args) {
  return RunCommand("ffmpeg -v error -y " + args).exitCode == 0;
}

class ResourceListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(tmp_.File("data/LoadBmp"));
    std::filesystem::create_directories(tmp_.File("data/LoadAudio"));
    SetDataFolderForTests(tmp_.File("data/"));
  }
  void TearDown() override {
    DestroyResourceLists();
    SetDataFolderForTests("");
  }
  TTempDir tmp_;
};

TEST_F(ResourceListsTest, PictureFoundByLongShortAndFallbackNames) {
  const std::string file = tmp_.File("pic.bmp");
  ASSERT_TRUE(TwoColourPicture().SaveToFile(file));
  TDIBList list("DIBList");
  TTraces traces;
  TDIB* dib = list.GetItem(file, false);
  ASSERT_NE(dib, nullptr);
  EXPECT_TRUE(traces.Has("[TDIBList.AddItem \"DIBList\"] ItemCount = 1. Added \"" + file + "\". "));
  EXPECT_EQ(list.FindItem(file), dib);
  EXPECT_EQ(list.FindItem(ShortPathName(file)), dib);
  // Not normalised, different letter case: the same entry.
  EXPECT_EQ(list.FindItem(tmp_.File("./sub/../PIC.BMP")), dib);

  // A bare name that is in the fallback folder of the data folder.
  const std::string fallback = tmp_.File("data/LoadBmp/fb.bmp");
  ASSERT_TRUE(TwoColourPicture().SaveToFile(fallback));
  TDIB* fb = list.GetItem(tmp_.File("elsewhere/fb.bmp"), false);
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ(list.Keys(1), fallback);
  EXPECT_EQ(list.FindItem("fb.bmp"), fb);
  EXPECT_EQ(list.Count(), 2);
}

TEST_F(ResourceListsTest, MissingOrUndecodableFileAddsNothing) {
  TDIBList list("DIBList");
  EXPECT_EQ(list.GetItem(tmp_.File("nowhere.bmp"), true), nullptr);
  EXPECT_EQ(list.GetItem("", true), nullptr);
  const std::string bad = tmp_.File("bad.bmp");
  movara::test::WriteBytes(bad, {'B', 'M', 1, 2, 3});
  EXPECT_EQ(list.GetItem(bad, false), nullptr);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Items(0), nullptr);
  EXPECT_EQ(list.Items(-1), nullptr);
  EXPECT_EQ(list.AddItem("x", nullptr), -1);
}

TEST_F(ResourceListsTest, FlippedOnceOnlyWhenLoaded) {
  const std::string file = tmp_.File("pic.bmp");
  ASSERT_TRUE(TwoColourPicture().SaveToFile(file));
  TDIBList list("DIBList");
  TDIB* dib = list.GetItem(file, true);
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(dib->Pixel(0, 5), RGBColor(255, 0, 0));
  EXPECT_EQ(dib->Pixel(0, 0), RGBColor(0, 0, 255));
  EXPECT_EQ(list.GetItem(file, true), dib);
  EXPECT_EQ(dib->Pixel(0, 5), RGBColor(255, 0, 0)) << "a found entry must not be flipped again";

  // ReloadItem takes the old picture out (kept alive) and loads anew.
  TDIB* again = list.ReloadItem(file, false);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, dib);
  EXPECT_EQ(again->Pixel(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GraveyardCount(), 1);
  EXPECT_EQ(dib->Width(), 8) << "a picture taken out stays valid for a thread holding it";
  list.Clear();
  EXPECT_EQ(list.GraveyardCount(), 0);
}

TEST_F(ResourceListsTest, OddRowCountFlipsAroundTheMiddleRow) {
  TDIB dib(1, 3, 24);
  dib.SetPixel(0, 0, RGBColor(1, 1, 1));
  dib.SetPixel(0, 1, RGBColor(2, 2, 2));
  dib.SetPixel(0, 2, RGBColor(3, 3, 3));
  FlipPictureRows(dib);
  EXPECT_EQ(dib.Pixel(0, 0), RGBColor(3, 3, 3));
  EXPECT_EQ(dib.Pixel(0, 1), RGBColor(2, 2, 2));
  EXPECT_EQ(dib.Pixel(0, 2), RGBColor(1, 1, 1));
}

TEST_F(ResourceListsTest, ColourPicturesAndColourText) {
  EXPECT_EQ(ColorToString(RGBColor(255, 0, 0)), "clRed");
  EXPECT_EQ(ColorToString(0xFF0000), "clBlue");
  EXPECT_EQ(ColorToString(0x80000005), "clWindow");
  EXPECT_EQ(ColorToString(RGBColor(0x12, 0xAB, 0x3C)), "$003CAB12");

  TDIBColorList list("DIBColorList");
  TDIB* red = list.GetItem(RGBColor(255, 0, 0), false);
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(list.GetItem(RGBColor(255, 0, 0), true), red);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(red->Width(), 256);
  EXPECT_EQ(red->Height(), 256);
  EXPECT_EQ(red->BitCount(), 24);
  EXPECT_EQ(red->Pixel(255, 255), RGBColor(255, 0, 0));
  TDIB* odd = list.GetItem(RGBColor(1, 2, 3), false);
  ASSERT_NE(odd, nullptr);
  EXPECT_NE(odd, red);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Keys(1), "$00030201");
  EXPECT_EQ(list.FindItem(RGBColor(1, 2, 3)), odd);
  EXPECT_TRUE(list.RemoveItem(RGBColor(1, 2, 3)));
  EXPECT_FALSE(list.RemoveItem(RGBColor(1, 2, 3)));
}

TEST_F(ResourceListsTest, RemoveItemOnUnknownNameChangesNothing) {
  const std::string file = tmp_.File("pic.bmp");
  ASSERT_TRUE(TwoColourPicture().SaveToFile(file));
  TDIBList list("DIBList");
  ASSERT_NE(list.GetItem(file, false), nullptr);
  EXPECT_FALSE(list.RemoveItem(tmp_.File("other.bmp")));
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GraveyardCount(), 0);
  EXPECT_TRUE(list.RemoveItem(file));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(list.RemoveItem(file));
}

TEST_F(ResourceListsTest, AudioByExtensionInAnyCase) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string wav = tmp_.File("tone.WaV");
  ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -f wav " + Quote(wav)));
  const std::string text = tmp_.File("tone.aiff");
  std::filesystem::copy_file(wav, text);

  TAudioFileList list("AudioFileList");
  TTraces traces;
  TCustomAudioReader* reader = list.GetItem(wav);
  ASSERT_NE(reader, nullptr);
  EXPECT_NE(dynamic_cast<TWaveAudioReader*>(reader), nullptr);
  EXPECT_NEAR(reader->Duration(), 1000, 2);
  EXPECT_EQ(list.GetItem(text), nullptr);
  EXPECT_TRUE(traces.Has("[TAudioFileList.LoadFromFile \"AudioFileList\"] cannot load audio file \"" + text +
                         "\". (Unknown format)"));
  // A file that is not a sound, named .wav.
  const std::string fake = tmp_.File("fake.wav");
  movara::test::WriteBytes(fake, std::vector<uint8_t>(100, 7));
  EXPECT_EQ(list.GetItem(fake), nullptr);
  EXPECT_TRUE(traces.Has("AAudio.OpenFile(" + fake + ") FAILED !"));
  EXPECT_EQ(list.Count(), 1);

  auto own = MakeAudioReaderFromFile(wav, 1, 16, 44100);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->DestinationFormat().nSamplesPerSec, 44100u);
  EXPECT_EQ(own->DestinationFormat().nChannels, 1);
  EXPECT_EQ(MakeAudioReaderFromFile(text, 1, 16, 44100), nullptr);
  EXPECT_TRUE(traces.Has("[MakeAudioReaderFromFile] cannot load audio file \"" + text + "\". (Unknown format)"));
  // The fallback folder of sounds.
  std::filesystem::copy_file(wav, tmp_.File("data/LoadAudio/fb.wav"));
  EXPECT_NE(MakeAudioReaderFromFile(tmp_.File("gone/fb.wav"), 1, 16, 44100), nullptr);
}

TEST_F(ResourceListsTest, MovieWithoutSoundKeepsTheAviAndFails) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string silent = tmp_.File("silent.AVI");
  ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 10 -c:v mjpeg " + Quote(silent)));
  const std::string movie = tmp_.File("movie.avi");
  ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=64x48:rate=25 -f lavfi -i sine=sample_rate=22050:duration=1 "
                        "-frames:v 10 -c:v mjpeg -c:a pcm_s16le -shortest " +
                        Quote(movie)));
  CreateResourceLists();
  EXPECT_FALSE(LoadResourceFile(ctMovie, silent));
  EXPECT_NE(AVIList()->FindItem(silent), nullptr);
  EXPECT_EQ(AudioFileList()->Count(), 0);
  EXPECT_TRUE(LoadResourceFile(ctAnimation, silent));
  EXPECT_EQ(AVIList()->Count(), 1);

  EXPECT_TRUE(LoadResourceFile(ctMovie, movie));
  EXPECT_NE(dynamic_cast<TAviAudioReader*>(AudioFileList()->FindItem(movie)), nullptr);
  EXPECT_TRUE(ReleaseResourceFile(ctMovie, movie));
  EXPECT_EQ(AudioFileList()->Count(), 0);
  // a movie whose picture list let it go already still gives up its sound
  EXPECT_TRUE(LoadResourceFile(ctMovie, movie));
  ASSERT_TRUE(AVIList()->RemoveItem(movie));
  EXPECT_FALSE(ReleaseResourceFile(ctMovie, movie));
  EXPECT_EQ(AudioFileList()->FindItem(movie), nullptr);
  EXPECT_FALSE(LoadResourceFile(ctNone, movie));
  EXPECT_FALSE(LoadResourceFile(ctUniformColor, movie));

  // A flipped AVI picture: its current frame's rows reversed once.
  TAVIList avis("AVIList");
  TAVI plain;
  ASSERT_TRUE(plain.Open(silent));
  TAVI* flipped = avis.GetItem(silent, true);
  ASSERT_NE(flipped, nullptr);
  const TDIB& a = *plain.DIB();
  const TDIB& b = *flipped->DIB();
  ASSERT_EQ(a.Height(), b.Height());
  EXPECT_EQ(a.Pixel(3, 0), b.Pixel(3, b.Height() - 1));
  EXPECT_EQ(avis.GetItem(silent, true), flipped);
  EXPECT_EQ(b.Pixel(3, b.Height() - 1), a.Pixel(3, 0));
}

TEST_F(ResourceListsTest, StillImageNeedsBothPictureListsAndClearEmptiesAll) {
  const std::string file = tmp_.File("pic.bmp");
  ASSERT_TRUE(TwoColourPicture().SaveToFile(file));
  CreateResourceLists();
  ASSERT_TRUE(LoadResourceFile(ctStillImage, file));
  EXPECT_EQ(DIBList()->FindItem(file)->Pixel(0, 5), RGBColor(255, 0, 0));
  EXPECT_EQ(DIBFYList()->FindItem(file)->Pixel(0, 0), RGBColor(255, 0, 0));
  ASSERT_NE(DIBColorList()->GetItem(0, false), nullptr);
  ClearResourceLists();
  EXPECT_EQ(DIBList()->Count() + DIBFYList()->Count() + DIBColorList()->Count(), 0);
  EXPECT_FALSE(ReleaseResourceFile(ctStillImage, file));
}

TEST_F(ResourceListsTest, ThreadsAskingForOneFileGetOneEntry) {
  const std::string file = tmp_.File("pic.bmp");
  ASSERT_TRUE(TwoColourPicture().SaveToFile(file));
  TDIBList list("DIBList");
  std::vector<TDIB*> got(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i) {
    threads.emplace_back([&, i] { got[i] = list.GetItem(file, true); });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(list.Count(), 1);
  for (TDIB* d : got) EXPECT_EQ(d, got[0]);
  EXPECT_EQ(got[0]->Pixel(0, 5), RGBColor(255, 0, 0)) << "flipped exactly once";
}

}  // namespace
