#include "app/DemoProject.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

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

extern "C" char** environ;

// The ffmpeg program on the PATH; "" when there is none.
std::string FindFfmpeg() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  size_t at = 0;
  while (at <= dirs.size()) {
    const size_t end = std::min(dirs.find(':', at), dirs.size());
    const std::string dir = dirs.substr(at, end - at);
    const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/ffmpeg";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return std::string();
}

// Runs a program with its arguments (no shell), its output discarded; true when it ends
// with 0.
bool RunProgram(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int r = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (r != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A demo file as a resource; it was just written, so failing to read it is an error.
TClipGraphic* LoadDemoClip(TClipBox& clips, const std::string& file) {
  TClipGraphic* clip = clips.AddFile(file);
  if (!clip) throw EMovara(Format("the demo file '%s' does not read back", file.c_str()));
  return clip;
}

void WriteDemoProject(const std::string& file, TClipBox& clips, TLayerBox& box) {
  TClipBoxResources resources(clips);
  TProjectStream out(file, nullptr, &resources, &box, false);
  if (!out.WriteProject(file)) throw EMovara(Format("cannot write '%s'", file.c_str()));
}

}  // namespace

TPhoneDemo MakePhoneDemoProject(const std::string& folderName, const std::string& melodyWav) {
  const std::string folder = folderName.empty() || folderName.back() == '/' ? folderName : folderName + '/';
  TPhoneDemo demo;
  const std::string ffmpeg = FindFfmpeg();
  if (ffmpeg.empty()) {
    demo.Skipped = "the ffmpeg program is not installed";
    return demo;
  }
  const std::string video = folder + "telefon.mp4";
  const std::string stored = folder + "telefon-stored.mp4";
  const std::string music = folder + "melodia.m4a";
  const double seconds = phonedemo::ClipFrames * MillisecondsPerFrame / 1000.0;
  // The upright picture turned a quarter clockwise for storing; the display matrix
  // turns it back.
  const bool made =
      RunProgram({ffmpeg, "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                  Format("testsrc2=size=1080x1920:rate=30:duration=%g", seconds), "-f", "lavfi", "-i",
                  Format("sine=frequency=880:sample_rate=48000:duration=%g", seconds), "-vf", "transpose=1", "-c:v",
                  "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac", stored}) &&
      RunProgram({ffmpeg, "-nostdin", "-v", "error", "-y", "-i", stored, "-c", "copy", "-metadata:s:v:0", "rotate=90",
                  video}) &&
      RunProgram({ffmpeg, "-nostdin", "-v", "error", "-y", "-i", melodyWav, "-c:a", "aac", music});
  std::error_code ec;
  std::filesystem::remove(stored, ec);
  if (!made) {
    std::filesystem::remove(video, ec);
    std::filesystem::remove(music, ec);
    demo.Skipped = "the ffmpeg program did not make the phone media (it needs its libx264 and AAC encoders)";
    return demo;
  }
  demo.Files.push_back({video, Format("MP4 1080 x 1920 (stored turned), 30 fps, H.264, AAC, %.1f s", seconds)});
  demo.Files.push_back({music, "M4A (AAC) of the melody"});

  CreateResourceLists();
  TClipBox clips;
  TLayerBox box;
  auto load = [&](const std::string& file) { return LoadDemoClip(clips, file); };
  TClipGraphic* movie = load(video);
  TClipGraphic* tune = load(music);
  TLayerItem* range = box.RowByNumber(lnRange)->Items(0);
  if (!range) throw EMovara("the demo time line has no range block");
  range->SetFirstFrame(0);
  range->SetDuration(phonedemo::ClipFrames);
  TLayerItem* picture = Put(box, lnFirstClipTop, movie, 0, phonedemo::ClipFrames);
  TLayerItem* sound = Put(box, lnAudioSecond, movie, 0, phonedemo::ClipFrames);
  sound->SetLinkSynchronizeItem(picture);
  sound->Synchronize();
  TLayerItem* melody = Put(box, lnAudioFirst, tune, 0, phonedemo::ClipFrames);
  SetLevels(melody, {{0, 0}, {25, 60}, {phonedemo::ClipFrames - 25, 60}, {phonedemo::ClipFrames, 0}});

  demo.ProjectFile = folder + "phone.mvf";
  demo.Files.push_back({demo.ProjectFile, "project: the phone video and its sound, the melody from the M4A"});
  WriteDemoProject(demo.ProjectFile, clips, box);
  return demo;
}

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
  auto load = [&](const std::string& file) { return LoadDemoClip(clips, file); };
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
  WriteDemoProject(demo.ProjectFile, clips, box);
  return demo;
}

}  // namespace movara
