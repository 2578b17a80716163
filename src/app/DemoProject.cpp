#include "app/DemoProject.h"

#include "base/Exceptions.h"
#include "base/Format.h"
#include "media/ResourceLists.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/Layers.h"

namespace movara {

namespace {

// The two transitions: a plain cross fade, then a turning cube in 3D.
constexpr int32_t FadeFxID = 0x202;
constexpr int32_t CubeFxID = 0x301;

TLayerItem* Put(TLayerBox& box, TLayerNumber row, TClipGraphic* clip, int start, int length) {
  TLayerItem* item = box.RowByNumber(row)->InsertLayerItem(start, false, true, false, box.DefaultFx3dID(), clip, length);
  if (!item || item->FirstFrame() != start || item->Duration() != length)
    throw EMovara(Format("the demo time line refused a block at frame %d", start));
  return item;
}

void SetLevels(TLayerItem* item, std::initializer_list<std::pair<int, int>> points) {
  TLevelBox* levels = item->LevelBox();
  for (auto [frame, level] : points) {
    TLevelItem* p = frame == 0 ? levels->StartPoint() : frame == item->Duration() ? levels->EndPoint()
                                                                                  : levels->AddPoint(frame);
    if (!p) throw EMovara(Format("the demo envelope has no place for frame %d", frame));
    p->Level = level;
  }
}

}  // namespace

TDemoProject MakeDemoProject(const std::string& folderName) {
  const std::string folder =
      folderName.empty() || folderName.back() == '/' ? folderName : folderName + '/';
  TDemoProject demo;
  demo.Files = MakeDemoPictures(folder);  // bars, gradient, checker, logo: written first, they fail fastest
  auto made = [&](const std::string& name, const std::string& what) {
    demo.Files.push_back({folder + name, what});
    return folder + name;
  };
  const std::string title = made("tytul.pte", "title page \"Film demonstracyjny\"");
  WriteDemoTitlePage(title);
  const double clipSeconds = demo::ClipFrames * MillisecondsPerFrame / 1000.0;
  const std::string clip1 = made("klip1.avi", Format("AVI 720 x 576, 25 fps, MJPG, %.1f s, scrolling bars, %.0f Hz tone",
                                                     clipSeconds, demo::Clip1Hz));
  WriteDemoAvi(clip1, 0, demo::ClipFrames, demo::Clip1Hz);
  const std::string clip2 = made("klip2.avi", Format("AVI 720 x 576, 25 fps, MJPG, %.1f s, drifting gradient, %.0f Hz tone",
                                                     clipSeconds, demo::Clip2Hz));
  WriteDemoAvi(clip2, 1, demo::ClipFrames, demo::Clip2Hz);
  const std::string melody =
      made("melodia.wav", Format("WAV 44100 Hz stereo, %.0f s, C major arpeggio and chord", demo::MelodyMs / 1000.0));
  WriteDemoWav(melody, demo::MelodyMs);

  CreateResourceLists();
  TClipBox clips;
  TLayerBox box;
  auto load = [&](const std::string& file) {
    TClipGraphic* clip = clips.AddFile(file);
    if (!clip) throw EMovara(Format("the demo file '%s' does not read back", file.c_str()));
    return clip;
  };
  TClipGraphic* bars = load(folder + "paski.bmp");
  TClipGraphic* gradient = load(folder + "gradient.jpg");
  TClipGraphic* logo = load(folder + "logo.bmp");
  TClipGraphic* page = load(title);
  TClipGraphic* movie1 = load(clip1);
  TClipGraphic* movie2 = load(clip2);
  TClipGraphic* sound = load(melody);

  TLayerItem* range = box.RowByNumber(lnRange)->Items(0);
  if (!range) throw EMovara("the demo time line has no range block");
  range->SetFirstFrame(0);
  range->SetDuration(demo::FilmLength);
  TLayerItem* sequence = Put(box, lnSequence, nullptr, demo::SequenceStart, demo::SequenceLength);
  sequence->SetFx3dID(0x4000 | '1');  // Ctrl+1

  // rows A and B overlap twice: title page into clip 1, clip 1 into clip 2
  Put(box, lnFirstClipTop, bars, demo::BarsStart, demo::BarsLength);
  Put(box, lnFirstClipTop, page, demo::TitleStart, demo::TitleLength);
  TLayerItem* b1 = Put(box, lnFirstClipBottom, movie1, demo::Clip1Start, demo::ClipFrames);
  TLayerItem* a2 = Put(box, lnFirstClipTop, movie2, demo::Clip2Start, demo::ClipFrames);
  Put(box, lnFirstClipBottom, gradient, demo::GradientStart, demo::GradientLength);
  TLayerRow* transitions = box.RowByNumber(lnFirstFx3d);
  if (transitions->ItemCount() != 2) throw EMovara("the demo time line did not make its two transitions");
  box.ChooseEffect(transitions->Items(0), FadeFxID);
  box.ChooseEffect(transitions->Items(1), CubeFxID);

  // the logo, keyed on its black background, fades in and out over the title and the first clip
  TLayerItem* overlay = Put(box, lnImage, logo, demo::LogoStart, demo::LogoLength);
  overlay->SetComposeMode(cmKeyOnThisLayer);
  overlay->SetColorKey(DemoKeyColor);
  SetLevels(overlay, {{0, 0}, {25, 100}, {demo::LogoLength - 25, 100}, {demo::LogoLength, 0}});

  // sound 1: the melody rising and falling; sound 2 and 3: the clips' own sound, tied to
  // their pictures; sound 3 then plays the melody again, slower and lower
  TLayerItem* tune = Put(box, lnAudioFirst, sound, demo::MelodyStart, demo::MelodyLength);
  SetLevels(tune, {{0, 0}, {25, 80}, {100, 80}, {demo::MelodyLength, 0}});
  TLayerItem* s2 = Put(box, lnAudioSecond, movie2, demo::Clip2Start, demo::ClipFrames);
  s2->SetLinkSynchronizeItem(a2);
  s2->Synchronize();
  TLayerItem* s3 = Put(box, lnAudioThird, movie1, demo::Clip1Start, demo::ClipFrames);
  s3->SetLinkSynchronizeItem(b1);
  s3->Synchronize();
  TLayerItem* slow = Put(box, lnAudioThird, sound, demo::SlowStart, demo::SlowLength);
  slow->SetSpeed(demo::SlowSpeed);

  demo.LengthFrames = box.ProjectEndFrame(false);
  demo.ProjectFile = made("demo.mvf", "project: every row of the time line, two transitions, a keyed overlay");
  TClipBoxResources resources(clips);
  TProjectStream out(demo.ProjectFile, nullptr, &resources, &box, false);
  if (!out.WriteProject(demo.ProjectFile)) throw EMovara(Format("cannot write '%s'", demo.ProjectFile.c_str()));
  return demo;
}

}  // namespace movara
