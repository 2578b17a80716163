#pragma once
// Film generation from the command line: a project's film rendered with given settings
// through the film thread, progress on stderr, Ctrl+C stopping it cleanly.
#include <cstdint>
#include <string>
#include <vector>

#include "output/FilmSettings.h"

namespace movara {

struct TFilmRenderRequest {
  // 720 x 576, 25 frames a second, 24 bits, MJPG, PCM stereo 16 bits at 44100 Hz, blocks
  // of a second, picture and sound, the whole film, maximal optimisation, 2 GB files.
  TFilmRenderRequest();
  TFilmSettingsData Settings;
  int Quality = -1;            // 0..10000; -1 the compressor's default
  bool SkipMissing = false;    // render a project whose media are partly gone
  bool Pipeline = true;        // write on a second thread
  bool Quiet = false;          // no progress lines
  // On a terminal one progress line is rewritten; elsewhere (a file, a pipe) a line
  // is written every this many percent.
  int ProgressStep = 10;
};

struct TFilmRenderResult {
  int Frames = 0;              // frames written
  int LengthMs = 0;            // the film's length
  double Seconds = 0;          // wall time of the generation
  double FramesPerSecond = 0;  // frames generated a second
  int ContinuationFiles = 0;
  bool Stopped = false;        // stopped by Ctrl+C
  bool Video = false;          // the film has pictures
  // The files written: the film and its continuation files, or the pictures of a sequence.
  std::vector<std::string> Files;
};

// "made FILES: N frames, S s, generated in T s: F frames a second", the line that ends a
// film made on the command line.
std::string FilmSummary(const TFilmRenderResult& result);

// "MJPG", "DIB" (uncompressed) or any FOURCC of the compressor catalogue, in any case; the
// handler set is the catalogue's spelling ("mjpg" gives MJPG).
bool ParseVideoCodec(const std::string& text, TCompVars& compvars);
// pcm, msadpcm, imaadpcm, alaw, mulaw, gsm, mp3 in any case, or a tag ($55, 0x55, 85).
bool ParseAudioCodec(const std::string& text, uint16_t& tag);

// Reads the project, makes its script and generates the film. Returns the exit code:
// 0 when the film was written without a bad frame, 1 on failure (the message on stderr
// under "movara COMMAND:"), 2 when the file is no project, 130 when stopped by Ctrl+C.
int RenderProjectFilm(const char* command, const std::string& project, const TFilmRenderRequest& request,
                      TFilmRenderResult* result);

}  // namespace movara
