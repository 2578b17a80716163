// movara render PROJECT.mvf [options]: generates the film of a project as the film window
// does, with the settings given on the command line. Progress and the estimated finish go
// to stderr; Ctrl+C stops the film cleanly (the file stays valid). A made film ends with
// one line on stdout: the files, frames, length, time taken and frames a second.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/FilmRender.h"
#include "base/Format.h"
#include "output/AviMaker.h"

namespace movara {
namespace {

// A word of an option and the choice it stands for.
template <typename E>
struct TWordChoice {
  const char* Word;
  E Value;
};

// The choice of a word of the list, in any case.
template <typename E, size_t N>
bool ParseWord(const std::string& s, const TWordChoice<E> (&words)[N], E& value) {
  const std::string l = LowerCase(s);
  for (const TWordChoice<E>& w : words)
    if (l == w.Word) {
      value = w.Value;
      return true;
    }
  return false;
}

const std::vector<TOptionSpec> kRenderOptions = {
    {"-o", true},         {"--kind", true},    {"--size", true},    {"--fps", true},          {"--depth", true},
    {"--vcodec", true},   {"--quality", true}, {"--acodec", true},  {"--rate", true},         {"--audio", true},
    {"--block", true},    {"--content", true}, {"--range", true},   {"--mode", true},         {"--max-size", true},
    {"--skip-missing", false}, {"--single-thread", false}, {"--quiet", false},
};

}  // namespace

int CmdRender(const TArgs& args) {
  TCommandArgs parsed;
  const int split = SplitArgs("render", args, kRenderOptions, parsed);
  if (split != kExitOk) return split == kExitHelp ? kExitOk : split;
  if (parsed.Words.size() != 1) {
    std::fprintf(stderr, "movara render: expected one PROJECT.mvf%s (see 'movara render --help')\n",
                 parsed.Words.empty() ? "" : Format(", not %zu", parsed.Words.size()).c_str());
    return kExitUsage;
  }
  const std::string& project = parsed.Words[0];
  TFilmRenderRequest req;
  TFilmSettingsData& s = req.Settings;
  for (const auto& [a, v] : parsed.Options) {
    auto bad = [&](const char* what) {
      std::fprintf(stderr, "movara render: bad %s '%s' (%s)\n", a.c_str(), v.c_str(), what);
      return kExitUsage;
    };
    long long n = 0;
    if (a == "--skip-missing") {
      req.SkipMissing = true;
    } else if (a == "--single-thread") {
      req.Pipeline = false;
    } else if (a == "--quiet") {
      req.Quiet = true;
    } else if (a == "-o") {
      if (v.empty()) return bad("a file name");
      s.FileName = v;
    } else if (a == "--kind") {
      static const TWordChoice<TOutputKind> kinds[] = {
          {"avi", okAviFilm},      {"mp4", okMp4Film},       {"bmp", okBmpSequence},
          {"gif", okGifSequence}, {"jpeg", okJpegSequence}};
      if (!ParseWord(LowerCase(v) == "jpg" ? std::string("jpeg") : v, kinds, s.OutputKind))
        return bad("avi, mp4, bmp, gif or jpeg");
    } else if (a == "--size") {
      int w = 0, h = 0;
      if (!ParseSize(v, w, h) || w % 4 != 0 || h % 4 != 0) return bad("WxH, sides 16..8192 and multiples of 4");
      s.FrameWidth = w;
      s.FrameHeight = h;
    } else if (a == "--fps") {
      if (!ParseInt(v, 1, 100, n)) return bad("1..100 frames a second");
      s.FramesPerSecond = static_cast<int32_t>(n);
    } else if (a == "--depth") {
      if (!ParseInt(v, 16, 32, n) || (n != 16 && n != 24 && n != 32)) return bad("16, 24 or 32 bits");
      s.ColourMode = n == 16 ? cmColour16 : n == 24 ? cmColour24 : cmColour32;
    } else if (a == "--vcodec") {
      if (!ParseVideoCodec(v, s.Compvars)) return bad("a compressor's FOURCC such as MJPG, FMP4, HFYU, FFV1 or DIB");
    } else if (a == "--quality") {
      if (!ParseInt(v, 0, 10000, n)) return bad("0..10000");
      req.Quality = static_cast<int>(n);
    } else if (a == "--acodec") {
      if (!ParseAudioCodec(v, s.AudioFormatTag))
        return bad("pcm, msadpcm, imaadpcm, alaw, mulaw, gsm, mp3 or a format tag such as 0x55");
    } else if (a == "--rate") {
      if (!ParseInt(v, 1000, 192000, n)) return bad("1000..192000 Hz");
      s.SamplesPerSecond = static_cast<int32_t>(n);
    } else if (a == "--audio") {
      static const TWordChoice<TAudioMode> modes[] = {
          {"mono8", amMono8}, {"stereo8", amStereo8}, {"mono16", amMono16}, {"stereo16", amStereo16}};
      if (!ParseWord(v, modes, s.AudioMode)) return bad("mono8, stereo8, mono16 or stereo16");
    } else if (a == "--block") {
      static const TWordChoice<TAudioBlockMode> blocks[] = {
          {"second", abSecond}, {"half", abHalfSecond}, {"frame", abFrame}, {"first", abSoundFirst}};
      if (!ParseWord(v, blocks, s.AudioBlockMode)) return bad("second, half, frame or first");
    } else if (a == "--content") {
      static const TWordChoice<TFilmContent> contents[] = {
          {"both", fcVideoAndSound}, {"video", fcVideoOnly}, {"audio", fcSoundOnly}};
      if (!ParseWord(v, contents, s.FilmContent)) return bad("both, video or audio");
    } else if (a == "--range") {
      static const TWordChoice<TRangeKind> ranges[] = {
          {"range", rkRange}, {"sequences", rkSequences}, {"all", rkAll}};
      if (!ParseWord(v, ranges, s.RangeKind)) return bad("range, sequences or all");
    } else if (a == "--mode") {
      static const TWordChoice<TVideoRenderMode> modes[] = {
          {"max", vrmMaximal}, {"medium", vrmMedium}, {"none", vrmNone}};
      if (!ParseWord(v, modes, s.VideoRenderMode)) return bad("max, medium or none");
    } else if (a == "--max-size") {
      if (!ParseInt(v, 0, 0x7FFFFFFFFFFFLL, n)) return bad("bytes");
      // the writer takes no smaller limit: the film would not be split where asked
      if (n < kSmallestMaxAviFileSize)
        return bad(Format("at least %lld bytes", static_cast<long long>(kSmallestMaxAviFileSize)).c_str());
      s.MaxAviFileSize = n;
    }
  }
  if (req.Settings.FileName.empty()) {
    const char* ext = req.Settings.OutputKind == okAviFilm        ? ".avi"
                      : req.Settings.OutputKind == okMp4Film      ? ".mp4"
                      : req.Settings.OutputKind == okBmpSequence  ? ".bmp"
                      : req.Settings.OutputKind == okGifSequence  ? ".gif"
                                                                  : ".jpg";
    req.Settings.FileName = std::filesystem::path(project).replace_extension(ext).string();
  }
  TFilmRenderResult result;
  const int status = RenderProjectFilm("render", project, req, &result);
  if (status == kExitOk) {
    std::printf("%s\n", FilmSummary(result).c_str());
    std::fflush(stdout);
  }
  return status;
}

}  // namespace movara
