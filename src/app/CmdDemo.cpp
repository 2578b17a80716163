// movara demo [DIR]: makes the demo media and a demo project in DIR with no input from the
// user, generates DIR/film.avi from it and says what it made, how long the film is and
// how fast it was generated; then the phone demo (phone.mvf into phone.mp4) when the
// ffmpeg program is there to make its media.
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

#include "app/CommandLine.h"
#include "app/DemoProject.h"
#include "app/FilmRender.h"
#include "base/AppPaths.h"

namespace movara {

int CmdDemo(const TArgs& args) {
  TCommandArgs parsed;
  const int split = SplitArgs("demo", args, {}, parsed);
  if (split != kExitOk) return split == kExitHelp ? kExitOk : split;
  if (parsed.Words.size() > 1 || (!parsed.Words.empty() && parsed.Words[0].empty())) {
    std::fprintf(stderr, "movara demo: expected at most one DIR\n");
    return kExitUsage;
  }
  std::string dir = IncludeTrailingSlash(FullPathName(parsed.Words.empty() ? "movara-demo" : parsed.Words[0]));
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir)) {
    std::fprintf(stderr, "movara demo: cannot make the folder '%s'\n", dir.c_str());
    return kExitFailure;
  }
  std::printf("demo folder: %s\n", dir.c_str());
  const TDemoProject demo = MakeDemoProject(dir);
  for (const TDemoFile& f : demo.Files) std::printf("made %s (%s)\n", f.path.c_str(), f.what.c_str());
  std::fflush(stdout);

  TFilmRenderRequest request;
  request.Settings.FileName = dir + "film.avi";
  request.ProgressStep = 10;
  TFilmRenderResult result;
  const int status = RenderProjectFilm("demo", demo.ProjectFile, request, &result);
  if (status != kExitOk) return status;
  const TFilmSettingsData& s = request.Settings;
  std::printf("made %s (the film: %d x %d, %d frames a second, MJPG, PCM stereo 16 bits %d Hz)\n",
              s.FileName.c_str(), s.FrameWidth, s.FrameHeight, s.FramesPerSecond, s.SamplesPerSecond);
  std::printf("film length: %d frames, %.2f s\n", result.Frames, result.LengthMs / 1000.0);
  std::printf("generated in %.2f s: %.1f frames a second (%u cores)\n", result.Seconds, result.FramesPerSecond,
              std::thread::hardware_concurrency());
  std::fflush(stdout);

  // The second project: phone media (made by the ffmpeg program when it is there) into
  // an MP4 film.
  const TPhoneDemo phone = MakePhoneDemoProject(dir, dir + "melodia.wav");
  if (phone.ProjectFile.empty()) {
    std::printf("phone demo skipped: %s\n", phone.Skipped.c_str());
    return kExitOk;
  }
  for (const TDemoFile& f : phone.Files) std::printf("made %s (%s)\n", f.path.c_str(), f.what.c_str());
  std::fflush(stdout);
  TFilmRenderRequest phoneRequest;
  TFilmSettingsData& p = phoneRequest.Settings;
  p.FileName = dir + "phone.mp4";
  p.OutputKind = okMp4Film;
  p.FrameWidth = 540;
  p.FrameHeight = 960;
  phoneRequest.ProgressStep = 10;
  TFilmRenderResult phoneResult;
  const int phoneStatus = RenderProjectFilm("demo", phone.ProjectFile, phoneRequest, &phoneResult);
  if (phoneStatus != kExitOk) return phoneStatus;
  std::printf("made %s (the phone film: %d x %d, %d frames a second, H.264, AAC)\n", p.FileName.c_str(),
              p.FrameWidth, p.FrameHeight, p.FramesPerSecond);
  std::printf("phone film length: %d frames, %.2f s, generated in %.2f s\n", phoneResult.Frames,
              phoneResult.LengthMs / 1000.0, phoneResult.Seconds);
  return kExitOk;
}

}  // namespace movara
