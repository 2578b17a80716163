#include "app/FilmRender.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <mutex>
#include <regex>

#include <unistd.h>

#include "app/CommandLine.h"
#include "base/FileKind.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "output/MakeAviThread.h"
#include "pages/PageFonts.h"
#include "platform/codecs/VideoFormat.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "script/RenderThread.h"

namespace movara {
namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted = true; }

// Ctrl+C asks the film to stop while it is made; the old handler comes back after.
class TInterruptGuard {
 public:
  TInterruptGuard() {
    gInterrupted = false;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_);
    sigaction(SIGTERM, &sa, &oldTerm_);
    sigaction(SIGHUP, &sa, &oldHup_);
    // a closed pipe on stderr must not kill the film half written
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &oldPipe_);
  }
  ~TInterruptGuard() {
    sigaction(SIGINT, &old_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
    sigaction(SIGHUP, &oldHup_, nullptr);
    sigaction(SIGPIPE, &oldPipe_, nullptr);
  }

 private:
  struct sigaction old_ {}, oldTerm_ {}, oldHup_ {}, oldPipe_ {};
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string CanonicalPath(const std::string& name) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(name, ec), ec);
  return ec ? name : p.string();
}

// The file of the project (or one of its media) that the film's files would replace:
// the film itself, its continuation files "<name>NN.AVI" or its numbered pictures.
std::string OverwrittenInput(const TFilmSettingsData& s, const std::string& projectFile, const TClipBox& clips) {
  const std::string out = CanonicalPath(s.FileName);
  const std::string base = std::filesystem::path(out).replace_extension().string();
  std::string pattern;
  for (char c : base) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) pattern += '\\';
    pattern += c;
  }
  pattern += s.OutputKind == okAviFilm        ? "[0-9]{2}\\.AVI"
             : s.OutputKind == okMp4Film      ? "\\.MP4"
             : s.OutputKind == okBmpSequence  ? "[0-9]{4}\\.BMP"
             : s.OutputKind == okGifSequence  ? "[0-9]{4}\\.GIF"
                                              : "[0-9]{4}\\.JPG";
  const std::regex numbered(pattern);
  std::vector<std::string> inputs{CanonicalPath(projectFile)};
  for (int i = 0; i < clips.Count(); ++i)
    if (const TClipGraphic* c = clips.Clips(i)) inputs.push_back(CanonicalPath(c->FullFileName()));
  for (const std::string& in : inputs)
    if (((s.OutputKind == okAviFilm || s.OutputKind == okMp4Film) && in == out) || std::regex_match(in, numbered))
      return in;
  return std::string();
}

// Whether a clip of the project is a title page, which the font system draws.
bool UsesTitlePages(const TClipBox& clips) {
  for (int i = 0; i < clips.Count(); ++i)
    if (const TClipGraphic* c = clips.Clips(i); c && FileKindOfName(c->FullFileName()) == fkPte) return true;
  return false;
}

// Whether a block of the chosen content shows a medium that is there (a colour counts)
// inside the film's ranges.
bool HasWork(const TLayerBox& box, const TRangeList& ranges, bool video, bool sound) {
  std::vector<TLayerNumber> rows;
  if (video) rows.insert(rows.end(), {lnFirstClipTop, lnFirstClipBottom, lnImage});
  if (sound) rows.insert(rows.end(), {lnAudioFirst, lnAudioSecond, lnAudioThird});
  for (TLayerNumber n : rows) {
    const TLayerRow* row = box.RowByNumber(n);
    for (int i = 0; row && i < row->ItemCount(); ++i) {
      const TLayerItem* item = row->Items(i);
      const TClipGraphic* clip = item->LinkClipGraphic();
      if (item->ClipType() == ctNone || (clip && clip->Missing())) continue;
      const int64_t start = int64_t(item->FirstFrame()) * MillisecondsPerFrame;
      const int64_t end = int64_t(item->LastFrame()) * MillisecondsPerFrame;
      for (int r = 0; r < ranges.Count(); ++r)
        if (start < ranges.Ranges(r)->Start + int64_t(ranges.Ranges(r)->Length) && ranges.Ranges(r)->Start < end)
          return true;
    }
  }
  return false;
}

// Progress on stderr: one line rewritten in place on a terminal, else a line every step
// of percent.
class TProgressPrinter {
 public:
  TProgressPrinter(bool quiet, int step) : quiet_(quiet), step_(std::max(1, step)), tty_(isatty(2) == 1) {}
  void Show(TMyProgressBar& b) {
    if (quiet_) return;
    const int percent = b.Percent();
    std::lock_guard<std::mutex> l(lock_);
    const bool due = tty_ ? percent != last_ : percent >= last_ + step_ || (percent == 100 && last_ != 100);
    if (!due) return;
    last_ = percent;
    const std::string estimate = b.EstimateText();
    std::string line = b.Text() + (estimate.empty() ? "" : "  ") + estimate;
    if (!tty_) {
      std::fprintf(stderr, "%s\n", line.c_str());
      return;
    }
    // blanks over what a longer line before left
    const size_t width = line.size();
    if (line.size() < shown_) line.append(shown_ - line.size(), ' ');
    shown_ = width;
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
  }
  // Ends the rewritten line before anything else is written.
  void EndLine() {
    std::lock_guard<std::mutex> l(lock_);
    if (tty_ && shown_ > 0) std::fputc('\n', stderr);
    shown_ = 0;
  }

 private:
  bool quiet_;
  int step_;
  bool tty_;
  int last_ = -1000;
  size_t shown_ = 0;
  std::mutex lock_;
};

}  // namespace

std::string FilmSummary(const TFilmRenderResult& r) {
  std::string files;
  if (r.Files.size() == 1) {
    files = r.Files.front();
  } else if (!r.Files.empty() && r.ContinuationFiles > 0) {
    files = r.Files.front() + " and " + r.Files[1] + (r.Files.size() > 2 ? " .. " + r.Files.back() : "");
  } else if (!r.Files.empty()) {
    files = r.Files.front() + " .. " + r.Files.back();
  } else {
    files = "nothing";
  }
  const std::string what = r.Video ? Format("%d frames, %.2f s", r.Frames, r.LengthMs / 1000.0)
                                   : Format("sound of %.2f s", r.LengthMs / 1000.0);
  std::string line = Format("made %s: %s, generated in %.2f s", files.c_str(), what.c_str(), r.Seconds);
  if (r.Video) line += Format(": %.1f frames a second", r.FramesPerSecond);
  return line;
}

TFilmRenderRequest::TFilmRenderRequest() {
  Settings.FrameWidth = 720;
  Settings.FrameHeight = 576;
  Settings.Compvars.fccType = ICTYPE_VIDEO;
  Settings.Compvars.fccHandler = VideoFourCC("MJPG");
}

bool ParseVideoCodec(const std::string& text, TCompVars& compvars) {
  std::string fourcc = Lower(text) == "dib" || Lower(text) == "dib " || Lower(text) == "none" ? "DIB " : text;
  if (fourcc.empty() || fourcc.size() > 4) return false;
  if (fourcc != "DIB ")
    for (char c : fourcc)
      if (c <= ' ' || c > '~') return false;  // blanks only pad a short code, and then "DIB" alone
  while (fourcc.size() < 4) fourcc += ' ';
  uint32_t handler = VideoFourCCFromText(fourcc);
  if (handler != VideoFourCC("DIB ")) {
    // a compressor of the catalogue only, in its own spelling ("mjpg" is MJPG), so that the
    // film's code matches its clips' and their frames can be copied
    const auto session = TVideoCompressorSession::Open(ICTYPE_VIDEO, handler, ICMODE_QUERY);
    if (!session) return false;
    handler = session->Handler();
  }
  compvars.fccType = ICTYPE_VIDEO;
  compvars.fccHandler = handler;
  return true;
}

bool ParseAudioCodec(const std::string& text, uint16_t& tag) {
  static const struct {
    const char* name;
    uint16_t tag;
  } names[] = {{"pcm", WAVE_FORMAT_PCM},       {"msadpcm", WAVE_FORMAT_ADPCM}, {"adpcm", WAVE_FORMAT_ADPCM},
               {"imaadpcm", WAVE_FORMAT_IMA_ADPCM}, {"alaw", WAVE_FORMAT_ALAW},   {"mulaw", WAVE_FORMAT_MULAW},
               {"gsm", WAVE_FORMAT_GSM610},     {"mp3", WAVE_FORMAT_MPEGLAYER3}};
  const std::string l = Lower(text);
  for (const auto& n : names)
    if (l == n.name) {
      tag = n.tag;
      return true;
    }
  // a tag as the program prints it ($0055), as 0x55, or in decimal (85)
  long long v = 0;
  const size_t hex = l.compare(0, 1, "$") == 0 ? 1 : l.compare(0, 2, "0x") == 0 ? 2 : 0;
  if (hex > 0) {
    if (l.size() == hex || l.find_first_not_of("0123456789abcdef", hex) != std::string::npos) return false;
    const size_t digits = l.find_first_not_of('0', hex);
    if (digits != std::string::npos && l.size() - digits > 4) return false;
    v = std::strtol(l.c_str() + hex, nullptr, 16);
  } else if (!ParseInt(l, 1, 0xFFFF, v)) {
    return false;
  }
  if (v < 1 || v > 0xFFFF) return false;
  tag = static_cast<uint16_t>(v);
  return true;
}

int RenderProjectFilm(const char* command, const std::string& file, const TFilmRenderRequest& request,
                      TFilmRenderResult* result) {
  TFilmRenderResult res;
  TLoadedProject project;
  const int status = LoadProject(command, file, project);
#ifdef __GLIBC__
  // Loading opened every clip and decoded its first picture; what those readers freed
  // goes back to the system before the film's own buffers are made (on other threads,
  // whose heaps would not reuse it): about 7 MB less at the film's peak at 1080p.
  malloc_trim(0);
#endif
  if (status == kExitUsage) return status;
  if (status != kExitOk && project.Read < 0) {
    std::fprintf(stderr, "movara %s: nothing was generated from a damaged project\n", command);
    return kExitFailure;
  }
  if (status != kExitOk && !request.SkipMissing) {
    std::fprintf(stderr, "movara %s: media of the project are missing; nothing was generated (--skip-missing "
                 "renders what is there)\n", command);
    return kExitFailure;
  }
  if (!project.MissingFiles.empty())
    std::fprintf(stderr, "movara %s: the stretches of the missing media are black and silent\n", command);

  TFilmSettingsData settings = request.Settings;
  std::error_code ec;
  if (std::filesystem::is_directory(settings.FileName, ec)) {
    std::fprintf(stderr, "movara %s: the output '%s' is a folder; name a file\n", command, settings.FileName.c_str());
    return kExitFailure;
  }
  const std::string overwritten = OverwrittenInput(settings, file, *project.Clips);
  if (!overwritten.empty()) {
    std::fprintf(stderr, "movara %s: the film would overwrite '%s', which the project uses; choose another output\n",
                 command, overwritten.c_str());
    return kExitFailure;
  }
  if (request.Quality >= 0) settings.Compvars.lQ = request.Quality;
  // picture sequences have nothing to copy unchanged, and nothing is copied into an MP4
  if (settings.OutputKind != okAviFilm && settings.VideoRenderMode == vrmMaximal) settings.VideoRenderMode = vrmMedium;

  // title pages are drawn by the font system, which starts on this thread; a film without
  // them does without its start-up
  if (UsesTitlePages(*project.Clips)) EnsurePageFontSystem();
  TFxRenderThread renderThread;
  renderThread.LoadScript(project.Script);

  TMyProgressBar bar;
  TProgressPrinter progress(request.Quiet, request.ProgressStep);
  bar.OnChangePosition = [&](TMyProgressBar& b) { progress.Show(b); };

  TInterruptGuard interrupts;
  const auto started = std::chrono::steady_clock::now();
  TMakeAviError error = meNone;
  std::string errorText;
  {
    TMakeAviThread film(nullptr, pmNone, true, &bar, nullptr, project.Script, &renderThread, &project.Box, settings);
    film.SetPipeline(request.Pipeline);
    // nothing is made then, and an older film of that name stays as it is
    if (film.Ranges().LengthAfter(0) <= 0) {
      std::fprintf(stderr, "movara %s: No work to do. (the chosen part of the time line is empty)\n", command);
      return kExitFailure;
    }
    if (!HasWork(project.Box, film.Ranges(), film.MakeVideo(), film.MakeSound())) {
      std::fprintf(stderr, "movara %s: No work to do. (no %s of the chosen part of the time line is there)\n", command,
                   film.MakeVideo() ? (film.MakeSound() ? "picture or sound" : "picture") : "sound");
      return kExitFailure;
    }
    if (settings.OutputKind == okMp4Film) {
      const std::string missing = Mp4MakerMissing(film.MakeSound());
      if (!missing.empty()) {
        std::fprintf(stderr, "movara %s: %s; nothing was written\n", command, missing.c_str());
        return kExitFailure;
      }
    } else if (film.MakeSound()) {
      TAviAudioOptions sound;
      sound.MakeAudio = true;
      sound.SourceFormat = film.PcmFormat();
      sound.DestFormat = film.DestFormat();
      sound.BlockDuration = film.StepTimeDuration();
      sound.BlockSize = static_cast<int>(int64_t(film.PcmFormat().nAvgBytesPerSec) * film.StepTimeDuration() / 1000);
      if (!TAVIMaker::CanMakeSound(sound)) {
        std::fprintf(stderr, "movara %s: no sound compressor makes %d Hz, %d channels, %d bits in format $%04X; "
                     "nothing was written\n", command, static_cast<int>(sound.DestFormat.nSamplesPerSec),
                     sound.DestFormat.nChannels, sound.DestFormat.wBitsPerSample, sound.DestFormat.wFormatTag);
        return kExitFailure;
      }
    }
    film.StartThread();
    while (!film.WaitFor(100)) {
      if (gInterrupted && !res.Stopped) {
        res.Stopped = true;
        progress.EndLine();
        std::fprintf(stderr, "movara %s: stopping...\n", command);
        film.DoNothingAndTerminate();
      }
    }
    progress.EndLine();
    error = film.Error();
    errorText = film.GetErrorText();
    res.Frames = film.GoodBlockCount();
    // the files the film left under their names
    res.Files = film.Files();
    res.ContinuationFiles = settings.OutputKind == okAviFilm && !res.Files.empty()
                                ? static_cast<int>(res.Files.size()) - 1
                                : 0;
    res.LengthMs = static_cast<int>(film.Ranges().LengthAfter(0));
    if (film.MakeVideo()) res.LengthMs = static_cast<int>(RoundHalfEven(res.Frames * film.FrameDuration()));
    if (film.BadBlockCount() > 0 && error == meNone) error = meBadFrame;
    res.Video = film.MakeVideo();
  }
  res.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  res.FramesPerSecond = res.Seconds > 0 ? res.Frames / res.Seconds : 0;
  if (result) *result = res;
  if (res.Stopped) {
    if (res.Files.empty())
      std::fprintf(stderr, "movara %s: stopped by the user before anything was made; nothing was written\n",
                   command);
    else if (settings.OutputKind == okAviFilm || settings.OutputKind == okMp4Film)
      std::fprintf(stderr, "movara %s: stopped by the user after %d frames; '%s' holds the film so far\n", command,
                   res.Frames, settings.FileName.c_str());
    else
      std::fprintf(stderr, "movara %s: stopped by the user after %d pictures\n", command, res.Frames);
    return 130;
  }
  if (error != meNone) {
    std::fprintf(stderr, "movara %s: %s\n", command, errorText.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace movara
