// movara demo [DIR]: makes the demo media and a demo project in DIR with no input from the
// user, generates DIR/film.avi from it and says what it made, how long the film is and
// how fast it was generated.
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
  return kExitOk;
}

}  // namespace movara
