// The demo project: its media are real files other programs read, and its time line,
// saved and opened again, uses every row and gives the script it was built for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/DemoProject.h"
#include "base/AppPaths.h"
#include "base/Exceptions.h"
#include "base/UserMessages.h"
#include "media/ResourceLists.h"
#include "pages/PageEditBox.h"
#include "persist/ProjectFile.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "script/AudioEngine.h"
#include "script/Script.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::Quote;
using test::RunCommand;
using test::TTempDir;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The lines of one "*** Name ***" section of a script.
std::string Section(const std::string& script, const std::string& name) {
  const size_t start = script.find("*** " + name + " ***");
  if (start == std::string::npos) return "";
  const size_t end = script.find("***", start + name.size() + 8);
  return script.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool Near(TColor a, TColor b, int tol) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tol && std::abs(GetGValue(a) - GetGValue(b)) <= tol &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tol;
}

TEST(DemoProject, EveryRowIsUsedAndTheScriptSaysSo) {
  TTempDir dir;
  const TDemoProject demo = MakeDemoProject(dir.Path());
  EXPECT_EQ(demo.ProjectFile, dir.File("demo.mvf"));
  EXPECT_EQ(demo.LengthFrames, demo::FilmLength);
  EXPECT_GE(demo.LengthFrames * MillisecondsPerFrame, 12000);
  EXPECT_LE(demo.LengthFrames * MillisecondsPerFrame, 15000);
  std::string names;
  for (const TDemoFile& f : demo.Files) {
    EXPECT_TRUE(FileExists(f.path)) << f.path;
    EXPECT_FALSE(f.what.empty()) << f.path;
    names += ExtractFileName(f.path) + " ";
  }
  EXPECT_EQ(names,
            "paski.bmp gradient.jpg szachownica.gif logo.bmp tytul.pte klip1.avi klip2.avi melodia.wav demo.mvf ");

  CreateResourceLists();
  // (ClipBox.h and AudioEngine.h cannot meet in one file: both name an enumerator
  // scNone, so the project is opened with the plain clip list)
  TProjectClipList resources;
  TLayerBox box;
  TScopedMessageRecorder messages;
  const TOpenProjectResult opened = OpenProjectFile(demo.ProjectFile, box, resources);
  ASSERT_TRUE(opened.Ok) << opened.Read << " of " << opened.Total;
  EXPECT_TRUE(messages.Texts().empty());
  for (int i = 0; i < box.RowCount(); ++i) EXPECT_GT(box.Rows(i)->ItemCount(), 0) << "row " << i;
  EXPECT_EQ(box.ProjectEndFrame(false), demo.LengthFrames);
  EXPECT_EQ(box.RangeDuration(rkRange), demo.LengthFrames);

  // the transitions lie where rows A and B overlap, each with its own effect
  const TLayerRow* fx = box.RowByNumber(lnFirstFx3d);
  ASSERT_EQ(fx->ItemCount(), 2);
  EXPECT_EQ(fx->Items(0)->FirstFrame(), demo::Clip1Start);
  EXPECT_EQ(fx->Items(0)->LastFrame(), demo::TitleStart + demo::TitleLength);
  EXPECT_EQ(fx->Items(1)->FirstFrame(), demo::Clip2Start);
  EXPECT_EQ(fx->Items(1)->LastFrame(), demo::Clip1Start + demo::ClipFrames);
  EXPECT_EQ(fx->Items(0)->Fx3dID(), 0x202);
  EXPECT_EQ(fx->Items(1)->Fx3dID(), 0x301);

  const TLayerItem* logo = box.RowByNumber(lnImage)->Items(0);
  EXPECT_EQ(logo->ComposeMode(), cmKeyOnThisLayer);
  EXPECT_EQ(logo->ColorKey(), DemoKeyColor);
  // the clips' sound stays tied to their pictures
  for (TLayerNumber n : {lnAudioSecond, lnAudioThird}) {
    const TLayerItem* s = box.RowByNumber(n)->Items(0);
    ASSERT_NE(s->LinkSynchronizeItem(), nullptr) << n;
    EXPECT_TRUE(s->SynchronizeBothItem()) << n;
    EXPECT_EQ(s->LinkClipGraphic(), s->LinkSynchronizeItem()->LinkClipGraphic()) << n;
  }

  TScript script;
  script.MakeScript(&box);
  const std::string text = script.Text();
  if (FileExists(test::MovaraProgram())) {
    // the program, with its thumbnails reading every file, makes the same script
    const auto made = RunCommand(Quote(test::MovaraProgram()) + " script " + Quote(demo.ProjectFile));
    EXPECT_EQ(made.exitCode, 0);
    EXPECT_EQ(made.output, text);
  }
  const std::string video1 = Section(text, "Video1"), video2 = Section(text, "Video2");
  EXPECT_TRUE(Has(video1, "tytul.pte 3000\r\nFx  $202 1000\r\nAvi ?")) << video1;
  EXPECT_TRUE(Has(video1, "klip1.avi*0*115*1000*100 2600\r\nFx  $301 1000\r\nAvi ?")) << video1;
  EXPECT_TRUE(Has(video1, "gradient.jpg 1600")) << video1;
  // the logo keyed on black, fading in from 0 and out to 0
  EXPECT_TRUE(Has(video2, "Nop null 2400\r\n")) << video2;
  EXPECT_TRUE(Has(video2, "logo.bmp 1000 $00000000 -1 0 0\r\n")) << video2;
  EXPECT_TRUE(Has(video2, "logo.bmp 4000 $00000000 -1 255 0\r\n")) << video2;
  EXPECT_TRUE(Has(video2, "logo.bmp 0 $00000000 -1 0 0\r\n")) << video2;
  const std::string audio1 = Section(text, "Audio1"), audio2 = Section(text, "Audio2"),
                    audio3 = Section(text, "Audio3");
  EXPECT_TRUE(Has(audio1, "melodia.wav*0*6000*0*100 6000\r\nsg 4\r\nsl 0 0\r\nsl 1000 80\r\nsl 4000 80\r\nsl 6000 0"))
      << audio1;
  EXPECT_TRUE(Has(audio2, "Nop null 8200\r\nAud ?")) << audio2;
  EXPECT_TRUE(Has(audio2, "klip2.avi*0*4600*0*100 4600")) << audio2;
  EXPECT_TRUE(Has(audio3, "klip1.avi*0*4600*0*100 4600")) << audio3;
  EXPECT_TRUE(Has(audio3, "melodia.wav*0*4400*0*75 4400")) << audio3;

  // the three sound tracks mixed: sound all through the film, none of it clipped
  TAudioEngine engine;
  const WAVEFORMATEX format = MakePcmFormat(2, 44100, 16);
  ASSERT_EQ(engine.LoadScript(text, &format), 0);
  EXPECT_EQ(engine.GetLength(), demo.LengthFrames * MillisecondsPerFrame);
  std::vector<uint8_t> block(static_cast<size_t>(engine.BlockBytes(400)));
  for (int t = 0; t + 400 <= engine.GetLength(); t += 400) {
    ASSERT_EQ(engine.GetAudioData(t, 400, static_cast<int>(block.size()), block.data()), static_cast<int>(block.size()));
    double sum = 0;
    int peak = 0;
    for (size_t i = 0; i + 1 < block.size(); i += 2) {
      const int v = static_cast<int16_t>(block[i] | (block[i + 1] << 8));
      sum += double(v) * v;
      peak = std::max(peak, std::abs(v));
    }
    const double rms = std::sqrt(sum / (block.size() / 2));
    EXPECT_GT(rms, 300) << "at " << t << " ms";
    EXPECT_LT(peak, 32767) << "at " << t << " ms";
  }

  // one frame over the title page: the logo where it is drawn, the page where its key is
  if (!FileExists(test::MovaraProgram())) GTEST_SKIP() << "movara not built";
  const std::string frame = dir.File("frame.bmp");
  const auto r = RunCommand(Quote(test::MovaraProgram()) + " frame " + Quote(demo.ProjectFile) + " --at 4000 -o " +
                            Quote(frame));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  TDIB got, page;
  ASSERT_TRUE(got.LoadFromFile(frame));
  ASSERT_EQ(got.Width(), 720);
  ASSERT_EQ(got.Height(), 576);
  ASSERT_TRUE(LoadPageToBitmap(dir.File("tytul.pte"), page));
  const TDIB logoPicture = MakeDemoLogo(720, 576);
  auto expected = [&](int x, int y) {
    return logoPicture.Pixel(x, y) != DemoKeyColor ? logoPicture.Pixel(x, y) : page.Pixel(x, y);
  };
  int logoPixels = 0, pagePixels = 0;
  for (int y = 2; y < 574; y += 2)
    for (int x = 2; x < 718; x += 2) {
      // the renderer smooths edges: compare inside areas of one colour only
      bool flat = true;
      for (int dy = -2; dy <= 2 && flat; ++dy)
        for (int dx = -2; dx <= 2 && flat; ++dx) flat = expected(x + dx, y + dy) == expected(x, y);
      if (!flat) continue;
      (logoPicture.Pixel(x, y) != DemoKeyColor ? logoPixels : pagePixels)++;
      ASSERT_TRUE(Near(got.Pixel(x, y), expected(x, y), 8))
          << x << "," << y << ": " << std::hex << got.Pixel(x, y) << " for " << expected(x, y);
    }
  EXPECT_GT(logoPixels, 1000);
  EXPECT_GT(pagePixels, 50000);
}

TEST(DemoProject, ClipsAndMelodyAreWhatOtherProgramsRead) {
  REQUIRE_PROGRAM("ffprobe");
  TTempDir dir;
  const TDemoProject demo = MakeDemoProject(dir.Path());
  for (const char* name : {"klip1.avi", "klip2.avi"}) {
    const std::string file = dir.File(name);
    const auto v = RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                              "stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_frames -of csv=p=0 " +
                              Quote(file));
    EXPECT_EQ(v.output, "mjpeg,MJPG,720,576,25/1,115\n") << name;
    const auto a = RunCommand("ffprobe -v error -select_streams a:0 -show_entries "
                              "stream=codec_name,sample_rate,channels -of csv=p=0 " + Quote(file));
    EXPECT_EQ(a.output, "pcm_s16le,44100,2\n") << name;
    // every frame decodes, and the sound is there, not silence
    if (test::HaveProgram("ffmpeg")) {
      const auto d = RunCommand("ffmpeg -v error -i " + Quote(file) + " -af volumedetect -f null - 2>&1");
      EXPECT_EQ(d.exitCode, 0) << d.output;
      EXPECT_FALSE(Has(d.output, "rror")) << d.output;
      const auto vol = RunCommand("ffmpeg -i " + Quote(file) + " -vn -af volumedetect -f null - 2>&1");
      const size_t at = vol.output.find("max_volume: ");
      ASSERT_NE(at, std::string::npos) << vol.output;
      const double maxDb = std::atof(vol.output.c_str() + at + 12);
      EXPECT_GT(maxDb, -20.0) << name;
      EXPECT_LT(maxDb, 0.0) << name;  // loud enough to hear, never clipped
    }
  }
  const auto w = RunCommand("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels:format=duration "
                            "-of csv=p=0 " + Quote(dir.File("melodia.wav")));
  EXPECT_EQ(w.output, "pcm_s16le,44100,2\n6.000000\n");
}

TEST(DemoProject, UnwritableFolderOrFileThrows) {
  TTempDir dir;
  test::WriteBytes(dir.File("plainfile"), {1, 2, 3});
  try {
    MakeDemoProject(dir.File("plainfile/sub"));  // the '/' at the end is added
    FAIL() << "no exception";
  } catch (const EMovara& e) {
    EXPECT_TRUE(Has(e.what(), "cannot write")) << e.what();
    EXPECT_TRUE(Has(e.what(), "plainfile/sub/paski.bmp")) << e.what();
  }
  EXPECT_EQ(test::ReadBytes(dir.File("plainfile")), (std::vector<uint8_t>{1, 2, 3}));

  // a folder where a clip or the melody should go stops the demo with the name of it
  for (const char* name : {"klip1.avi", "melodia.wav"}) {
    TTempDir folder;
    ASSERT_TRUE(std::filesystem::create_directory(folder.File(name)));
    try {
      MakeDemoProject(folder.Path());
      ADD_FAILURE() << "no exception for " << name;
    } catch (const EMovara& e) {
      EXPECT_TRUE(Has(e.what(), "cannot write '" + folder.File(name) + "'")) << e.what();
    }
    EXPECT_FALSE(FileExists(folder.File("demo.mvf"))) << name;
  }
}

}  // namespace
}  // namespace movara
