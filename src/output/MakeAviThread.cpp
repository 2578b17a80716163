#include "output/MakeAviThread.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <future>

#include "base/Clock.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "fx3d/DDUtils.h"
#include "media/AudioPcm.h"
#include "project/Layers.h"
#include "script/AudioEngine.h"
#include "script/RenderThread.h"

namespace movara {
namespace {

// What the render thread does with the frames of a video render mode.
TRenderOption RenderOptionOf(TVideoRenderMode mode) {
  switch (mode) {
    case vrmMaximal: return roRawCopy;
    case vrmMedium: return roFastCopy;
    default: return roRender;
  }
}

// Pixels of src into dst of the same form, without a new allocation.
void CopyPixels(TDIB& dst, const TDIB& src) {
  if (dst.Width() == src.Width() && dst.Height() == src.Height() && dst.BitCount() == src.BitCount() &&
      dst.ImageSize() == src.ImageSize() && dst.PixelFormat() == src.PixelFormat()) {
    std::memcpy(dst.Bits(), src.Bits(), src.ImageSize());
    return;
  }
  dst = src;
}

}  // namespace

// One piece of work for the writer, done in the order given.
struct TMakeAviThread::TJob {
  enum TKind { jAudio, jFrame, jStored, jPicture, jGood, jBad } Kind = jGood;
  int Time = 0;                // ms of the frame (jFrame, jPicture, jBad)
  int Position = 0;            // sound position (jAudio)
  int Duration = 0;            // sound length (jAudio)
  int ReadSize = 0;            // bytes the engine delivered (jAudio)
  std::vector<uint8_t> Bytes;  // jAudio
  TDIB Picture;                // jFrame, jPicture
  TStoredPicture Stored;       // jStored
  std::string FileName;        // jPicture
};

std::string TMakeAviThread::SequenceFileName(const std::string& baseName, int k, TOutputKind outputKind) {
  const char* ext = outputKind == okGifSequence ? ".GIF" : outputKind == okJpegSequence ? ".JPG" : ".BMP";
  return Format("%s%.4d%s", baseName.c_str(), k, ext);
}

TMakeAviThread::TMakeAviThread(TWindowHandle owner, TPreviewMode previewMode, bool createSuspended,
                               TMyProgressBar* progressBar, TPreviewBox* box, const std::string& scriptText,
                               TFxRenderThread* renderThread, const TLayerBox* layerBox,
                               const TFilmSettingsData& settings)
    : FOwner(owner),
      FSettings(settings),
      FLayerBox(layerBox),
      FRenderThread(renderThread),
      FProgress(progressBar),
      FScript(scriptText) {
  FWriteOutput = previewMode == pmNone;
  FBox = box;
  if (box) FPreviewMode = previewMode;
  FMakeVideo = FSettings.FilmContent < fcSoundOnly;
  FMakeSound = (FSettings.OutputKind == okAviFilm || FSettings.OutputKind == okMp4Film) &&
               (FSettings.FilmContent == fcVideoAndSound || FSettings.FilmContent == fcSoundOnly);
  FFrameDuration = FSettings.FramesPerSecond > 0 ? 1000.0 / FSettings.FramesPerSecond : 40.0;

  // The engine mixes at one of its three rates; the writer converts to the film's rate.
  const int channels = FSettings.Channels(), bits = FSettings.SampleBits();
  int pcmRate = FSettings.SamplesPerSecond;
  if (pcmRate != 44100 && pcmRate != 22050 && pcmRate != 11025) pcmRate = 44100;
  FPcmFormat = MakePcmFormat(channels, pcmRate, bits);
  FDestFormat = MakePcmFormat(channels, std::max(1, FSettings.SamplesPerSecond), bits);
  FDestFormat.wFormatTag = FSettings.AudioFormatTag;

  switch (FSettings.AudioBlockMode) {
    case abHalfSecond: FStepTimeDuration = 500; break;
    case abFrame: FStepTimeDuration = std::max(1, RoundInt(FFrameDuration)); break;
    case abSoundFirst:
      FStepTimeDuration = 1000;
      FSoundFirst = FMakeVideo;
      break;
    default: FStepTimeDuration = 1000; break;
  }
  if (FMakeVideo && FMakeSound) {
    // a block covers whole frames, so every step writes its sound and then its frames
    const int frames = std::max(1, RoundInt(FStepTimeDuration / FFrameDuration));
    FStepTimeDuration = RoundInt(frames * FFrameDuration);
    TraceF("[TMakeAviThread.Create] Corrected audio block length. FStepTimeDuration = %d", FStepTimeDuration);
  }

  if (FLayerBox) {
    FLayerBox->FillRangeList(FRanges, FSettings.RangeKind);
  } else if (FRenderThread) {
    // a script without its time line: all of its video
    const int end = FRenderThread->Actions().VideoEnd();
    if (end > 0) FRanges.Add(0, (end + 39) / 40);
  }

  if (FProgress) {
    FProgress->SetInfoText(FSettings.FilmContent == fcVideoAndSound ? "Animacja i dźwięk:"
                           : FSettings.FilmContent == fcVideoOnly  ? "Animacja:"
                                                                   : "Dźwięk:");
    const int64_t total = FRanges.LengthAfter(0) / 40;  // in time-line units of 40 ms
    int64_t max = 0;
    if (FMakeVideo) max += RoundHalfEven(static_cast<double>(total) * 40 / FFrameDuration);
    if (FMakeSound) max += (total * 40 + FStepTimeDuration - 1) / FStepTimeDuration;
    FProgress->SetMin(0);
    FProgress->SetMax(static_cast<int>(std::min<int64_t>(max, 0x7FFFFFFF)));
    FProgress->SetPosition(0);
  }
  if (!createSuspended) StartThread();
}

TMakeAviThread::~TMakeAviThread() {
  {
    std::lock_guard<std::mutex> l(FCallbackLock);
    OnDone = nullptr;
    OnTerminate = nullptr;
  }
  if (FThread.joinable()) {
    DoNothingAndTerminate();
    FThread.join();
  }
  StopWriter();
}

void TMakeAviThread::SetStateFlag(std::atomic<bool>& flag) {
  {
    std::lock_guard<std::mutex> l(FStateLock);
    flag = true;
  }
  FStateSignal.notify_all();
}

void TMakeAviThread::StartThread() {
  if (FTerminated) return;
  SetStateFlag(FStarted);
  std::lock_guard<std::mutex> l(FRunLock);
  if (FResumed) return;
  FResumed = true;
  FThread = std::thread([this] { Execute(); });
}

bool TMakeAviThread::WaitFor(int ms) {
  std::unique_lock<std::mutex> l(FStateLock);
  return FStateSignal.wait_for(l, std::chrono::milliseconds(std::max(ms, 0)), [this] { return FTerminated.load(); });
}

void TMakeAviThread::DoNothingAndTerminate() {
  // The writer reads the stop flag itself after every frame of a copied run: no lock is
  // taken here but the flags' own, so a long run ends at its next frame.
  SetStateFlag(FStop);
  if (FTerminated) return;
  StartThread();
  const int64_t start = NowMs();
  for (;;) {
    const int64_t waited = NowMs() - start;
    if (waited >= 15000) {
      TraceF("[TMakeAviThread.DoNothingAndTerminate] Failed !/");
      return;
    }
    if (WaitFor(std::min<int>(333, static_cast<int>(15000 - waited)))) return;
    if (ProcessMessages) ProcessMessages();
    TraceF("[TMakeAviThread.DoNothingAndTerminate] TimeWait = %d", static_cast<int>(NowMs() - start));
  }
}

void TMakeAviThread::RequestStop() {
  // the flag alone: the writer's lock may be held for a whole copied run
  FStop = true;
  if (!FTerminated) StartThread();
}

std::string TMakeAviThread::GetErrorText() const {
  switch (FError) {
    case meNone: return "Brak błędu.";
    case meInit: return "Inicjalizacja generowania filmu nie została wykonana prawidłowo.";
    case meNoWork: return "No work to do.";
    case meBadFrame: return Format("Błąd utworzenia klatki filmu w pozycji = %d [ms]", FBadTime.load());
    case meException: return FErrorText;
    default: return "Wystąpił nieznany błąd procedury generującej film.";
  }
}

void TMakeAviThread::SetPreviewBox(TPreviewBox* box) {
  if (FTerminated) return;
  FBox = box;
  if (!box) FPreviewMode = pmNone;
}

void TMakeAviThread::SetPreviewMode(TPreviewMode mode) {
  if (FTerminated) return;
  if (mode != pmNone && !FBox.load()) return;
  if (mode < pmNone || mode > pmEvery25th) return;
  FPreviewMode = mode;
}

// ---------------------------------------------------------------------------------

bool TMakeAviThread::InitAnimation() {
  if (!FMakeVideo && !FMakeSound) return true;
  // The process keeps its priority: raising it needs rights a user seldom has here.
  try {
    if (FMakeVideo) {
      if (!FRenderThread) throw EMakeAvi("Błąd inicjalizacji ramki.");
      if (TPreviewBox* box = FBox) box->Stretch = true;
      const int bits = FSettings.BitCount();
      FFrame.SetSize(FSettings.FrameWidth, FSettings.FrameHeight, bits);
      FFrame.SetPixelFormat(bits == 16 ? pf555 : pf888);
      FRenderThread->SetFilmMode(true, RenderOptionOf(FSettings.VideoRenderMode), FSettings.FrameWidth,
                                 FSettings.FrameHeight, FSettings.FramesPerSecond,
                                 // an uncompressed film takes no frames as they are stored: their rows may
                                 // run the other way or hold another depth
                                 FSettings.Compressed() ? FSettings.Compvars.fccHandler : VideoFourCC("DIB "), bits);
      FRenderThread->SetLinkOutDIB(&FFrame);
      // only the maximal optimisation copies compressed frames
      // (never into an MP4: its frames are all compressed anew)
      FRenderThread->SetRawCopyBuffer(FSettings.VideoRenderMode == vrmMaximal && FSettings.OutputKind == okAviFilm
                                          ? &FAviData
                                          : nullptr);
      // interleaved films take a step of a run at a time
      FRenderThread->SetRawCopyLimit(FMakeSound && !FSoundFirst ? FStepTimeDuration + 2 : 0);
      if (FFrame.Empty()) throw EMakeAvi("Błąd inicjalizacji ramki.");
      TraceF("[TMakeAviThread.InitAnimation] Frame Size: %dx%dx%d", FFrame.Width(), FFrame.Height(), FFrame.BitCount());
      if (!FRenderThread->OutputReady()) {
        ShowMessage("Nastąpił błąd podczas inicjalizacji obiektu renderującego. Spróbuj najpierw zmienić opcje w "
                    "oknie konfiguracyjnym.",
                    TMsgKind::Error);
        LeaveFilmMode();
        return false;
      }
      // the writer's picture has the frame's size and format; its pixels come with each
      // frame (left untouched until then, it takes no memory)
      FWriterFrame.SetSize(FFrame.Width(), FFrame.Height(), FFrame.BitCount());
      FWriterFrame.SetPixelFormat(FFrame.PixelFormat());
    }
    if (FWriteOutput && (FSettings.OutputKind == okAviFilm || FSettings.OutputKind == okMp4Film)) {
      TAviVideoOptions video;
      video.MakeVideo = FMakeVideo;
      video.Compress = FSettings.Compressed();
      video.DIB = FMakeVideo ? &FWriterFrame : nullptr;
      video.FramesPerSecond = FSettings.FramesPerSecond;
      video.UseGivenSettings = FMakeVideo;
      video.Compvars = FSettings.Compvars;
      video.StateBlock = FSettings.StateBlock.empty() ? nullptr : FSettings.StateBlock.data();
      video.StateSize = static_cast<int>(FSettings.StateBlock.size());
      video.AVIData = &FAviData;
      video.Break = &FStop;
      TAviAudioOptions audio;
      audio.MakeAudio = FMakeSound;
      if (FMakeSound) {
        FAudioEngine = std::make_unique<TAudioEngine>();
        FAudioEngine->LoadScript(FScript, &FPcmFormat);
        FPcm = std::make_unique<TAudioPcmManager>();
        // room for a step of the frame grid, which may be a millisecond longer
        FPcm->Init(FPcmFormat.wBitsPerSample, FPcmFormat.nChannels, FStepTimeDuration + 2,
                   static_cast<int>(FPcmFormat.nSamplesPerSec));
        audio.SourceFormat = FPcmFormat;
        audio.DestFormat = FDestFormat;
        audio.BlockSize = FPcm->BlockSize();
        audio.BlockDuration = FStepTimeDuration;
      }
      std::unique_ptr<TFilmWriter> maker;
      if (FSettings.OutputKind == okMp4Film) {
        const int quality = FSettings.Compvars.lQ >= 0 && FSettings.Compvars.lQ <= 10000 ? FSettings.Compvars.lQ : 7500;
        auto mp4 = std::make_unique<TMp4Maker>(audio, video, quality, FSettings.FileName);
        if (!mp4->Initialized())
          ShowMessage(Format("Nie mogę zapisać pliku \"%s\".", FSettings.FileName.c_str()) + " " + mp4->Error(),
                      TMsgKind::Error);
        if (FMakeVideo && mp4->Initialized()) {
          // a clip's frame alone goes to the encoder as it was decoded, unless the
          // preview shows it
          TMp4Maker* writer = mp4.get();
          FRenderThread->SetStoredPictureSink([this, writer](TAVI& avi, int frame) {
            if (FPreviewMode != pmNone && FBox.load()) return false;
            if (!FStored) FStored = NewStoredPicture();
            return FStored && avi.GetStoredPicture(frame, FStored.get()) && writer->TakesStoredPicture(FStored.get());
          });
        }
        maker = std::move(mp4);
      } else {
        maker = std::make_unique<TAVIMaker>(FOwner, audio, video, FSettings.FileName);
      }
      const bool ok = maker->Initialized();
      if (ok) maker->SetMaxFileSize(FSettings.MaxAviFileSize);
      {
        std::lock_guard<std::mutex> l(FMakerLock);
        FAviMaker = std::move(maker);
      }
      if (!ok) LeaveFilmMode();
      return ok;
    }
    if (FWriteOutput && !FSequenceOutput.Open(FSettings.FileName)) {
      // the pictures are written under temporary names, locked by the sequence's name
      ShowMessage(Format("Nie mogę zapisać pliku \"%s\".", FSettings.FileName.c_str()) + " " +
                      FSequenceOutput.Reason(),
                  TMsgKind::Error);
      LeaveFilmMode();
      return false;
    }
    return true;
  } catch (...) {
    TraceF("[TMakeAviThread.InitAnimation] Exception!");
    LeaveFilmMode();
    throw;
  }
}

void TMakeAviThread::LeaveFilmMode() {
  if (!FRenderThread || !FMakeVideo) return;
  FRenderThread->SetFilmMode(false, roRender, FSettings.FrameWidth, FSettings.FrameHeight, FSettings.FramesPerSecond,
                             0, FSettings.BitCount());
  FRenderThread->SetLinkOutDIB(nullptr);
  FRenderThread->SetRawCopyBuffer(nullptr);
  FRenderThread->SetRawCopyLimit(0);
  FRenderThread->SetStoredPictureSink(nullptr);
}

void TMakeAviThread::Execute() {
  try {
    FBaseName = std::filesystem::path(FSettings.FileName).replace_extension().string();
    // nothing to make, or an empty part of the time line: no file is made (an older one
    // stays as it is)
    if (((!FMakeVideo && !FMakeSound) || FRanges.LengthAfter(0) <= 0) && FPreviewMode == pmNone) {
      FError = meNoWork;
    } else if (!InitAnimation()) {
      FError = meInit;
    } else {
      FWriting = FWriteOutput && ((FAviMaker && FAviMaker->Initialized()) ||
                                  (!FAviMaker && FSettings.OutputKind != okAviFilm &&
                                   FSettings.OutputKind != okMp4Film));
      {
        std::unique_lock<std::mutex> l(FStateLock);
        FStateSignal.wait(l, [this] { return FStarted || FStop; });
      }
      if (!FStop) {
        if (FAviMaker && !FAviMaker->Initialized()) {
          ShowMessage("Błąd inicjalizacji pliku Avi", TMsgKind::Error);
        } else {
          if (FPipeline && FWriting) FWriterThread = std::thread([this] { WriterLoop(); });
          if (FProgress) FProgress->SetPosition(FProgress->Min());
          if (FMakeVideo && FMakeSound && !FSoundFirst) {
            // Steps follow the frames: step i holds frames i x n .. (i + 1) x n - 1 of the
            // range and the sound up to the next step's first frame, so neither drifts
            // when a frame does not last a whole number of milliseconds.
            const int perStep = std::max(1, RoundInt(FStepTimeDuration / FFrameDuration));
            struct TStep {
              int RangeStart, K, From, To;
            };
            std::vector<TStep> steps;
            for (int r = 0; r < FRanges.Count(); ++r) {
              const int start = FRanges.Ranges(r)->Start;
              const int end = start + FRanges.Ranges(r)->Length;
              int from = start;
              for (int64_t i = 0; from < end; ++i) {
                const int to = static_cast<int>(
                    std::clamp<int64_t>(start + RoundHalfEven((i + 1) * perStep * FFrameDuration), from + 1, end));
                steps.push_back({start, static_cast<int>(i * perStep), from, to});
                from = to;
              }
            }
            // With the writer on a thread of its own, the sound of the next step is mixed
            // on another beside this step's frames (the same blocks, written in the same
            // order); with one thread, one after the other.
            std::future<std::vector<TJob>> nextSound;
            for (size_t i = 0; i < steps.size() && !FStop; ++i) {
              const TStep& step = steps[i];
              std::vector<TJob> sound =
                  nextSound.valid() ? nextSound.get() : MixSound(step.From, step.To - step.From);
              if (FPipeline && i + 1 < steps.size()) {
                const TStep& next = steps[i + 1];
                nextSound = std::async(std::launch::async,
                                       [this, next] { return MixSound(next.From, next.To - next.From); });
              }
              if (!SubmitSound(std::move(sound))) FStop = true;
              if (!FStop && !MakeAnimation(step.RangeStart, step.K, step.To)) FStop = true;
            }
            if (nextSound.valid()) nextSound.wait();
          } else {
            if (FMakeSound)
              for (int r = 0; r < FRanges.Count() && !FStop; ++r)
                if (FRanges.Ranges(r)->Length > 0 && !MakeAudio(FRanges.Ranges(r)->Start, FRanges.Ranges(r)->Length))
                  FStop = true;
            if (FMakeVideo)
              for (int r = 0; r < FRanges.Count() && !FStop; ++r)
                if (!MakeAnimation(FRanges.Ranges(r)->Start, 0, FRanges.Ranges(r)->Start + FRanges.Ranges(r)->Length))
                  break;
          }
          Drain();
        }
      }
    }
  } catch (const std::exception& e) {
    // the writer thread may have ended the film with its own error text already
    TMakeAviError error = FError;
    if (error != meException && FError.compare_exchange_strong(error, meException)) FErrorText = e.what();
    TraceF("[TMakeAviThread.Execute] %s", e.what());
  }
  FStop = true;
  EndExecute();
}

void TMakeAviThread::EndExecute() {
  try {
    StopWriter();
    DoneAviMaker();
  } catch (const std::exception& e) {
    TraceF("[TMakeAviThread.EndExecute] %s", e.what());
    if (FError == meNone) {
      FErrorText = e.what();
      FError = meException;
    }
  }
  {
    std::lock_guard<std::mutex> l(FCallbackLock);
    if (OnDone) OnDone();
  }
  SetStateFlag(FTerminated);
  std::lock_guard<std::mutex> l(FCallbackLock);
  if (OnTerminate) OnTerminate();
}

void TMakeAviThread::DoneAviMaker() {
  std::unique_ptr<TFilmWriter> maker;
  {
    std::lock_guard<std::mutex> l(FMakerLock);
    maker = std::move(FAviMaker);
  }
  // A film that ended well, or that the user stopped, takes the place of an older one;
  // a failed film (or one stopped before anything was made) leaves the older one alone.
  const bool keep = FError == meNone && FBadBlockCount == 0 && (FGoodBlockCount > 0 || FAudioBlocks > 0);
  bool placed = true;
  if (maker) {
    FContinuationCount = maker->ContinuationCount();
    if (keep) {
      placed = maker->Close();  // the files are closed, trimmed and named
      FFiles = maker->Files();
    } else {
      maker->Abandon();
    }
    maker.reset();
  }
  if (FSequenceOutput.Opened()) {
    if (keep) {
      placed = FSequenceOutput.Commit();
      FFiles = FSequenceOutput.Committed();
      if (!placed)
        ShowMessage(Format("Nie mogę zapisać pliku \"%s\".", FSequenceOutput.Failed().c_str()) + " " +
                        FSequenceOutput.Reason(),
                    TMsgKind::Error);
    } else {
      FSequenceOutput.Discard();
    }
    FSequenceOutput.Release();
  }
  if (!placed && FError == meNone) {
    FErrorText = "Pliki filmu nie zostały zapisane pod swoimi nazwami.";
    FError = meException;
  }
  LeaveFilmMode();
  if (FBadBlockCount > 0)
    ShowMessage(Format("Błąd renderowania. Opuszczono %d klatek, poprawnie wyrenderowano %d klatek.",
                       FBadBlockCount.load(), FGoodBlockCount.load()),
                TMsgKind::Error);
}

// ---------------------------------------------------------------------------------

std::vector<TMakeAviThread::TJob> TMakeAviThread::MixSound(int start, int len) {
  std::vector<TJob> jobs;
  if (!FAviMaker || !FAudioEngine || !FPcm || len < 1) return jobs;
  int position = start;
  const int end = start + len;
  const int64_t rate = FPcmFormat.nSamplesPerSec;
  const int align = std::max<int>(1, FPcmFormat.nBlockAlign);
  auto frameAt = [rate](int64_t ms) { return RoundHalfEven(static_cast<long double>(ms) * rate / 1000.0L); };
  while (position < end) {
    // a step of the frame grid may be a millisecond longer than a block
    const int thisStep = end - position <= FStepTimeDuration + 1 ? end - position : FStepTimeDuration;
    // the block's sound frames counted from the film's start: blocks add up exactly
    const int bytes = static_cast<int>(
        std::min<int64_t>((frameAt(int64_t(position) + thisStep) - frameAt(position)) * align, FPcm->BlockSize()));
    FPcm->ClearBlock();
    const int read = FAudioEngine->GetAudioData(position, thisStep, bytes, FPcm->Block());
    TJob job;
    job.Kind = TJob::jAudio;
    job.Position = position;
    job.Duration = thisStep;
    job.ReadSize = read;
    job.Bytes.assign(FPcm->Block(), FPcm->Block() + bytes);
    jobs.push_back(std::move(job));
    position += thisStep;
    if (FStop) break;
  }
  return jobs;
}

bool TMakeAviThread::SubmitSound(std::vector<TJob>&& jobs) {
  for (TJob& job : jobs) {
    Submit(std::move(job));
    if (FProgress) FProgress->StepBy(1);
    if (FStop || WriterFailed()) break;
  }
  // a block that could not be written ends the film (later sound would move in time)
  return !WriterFailed();
}

bool TMakeAviThread::MakeAudio(int start, int len) {
  if (!FAviMaker || !FAudioEngine || !FPcm) return true;
  if (len < 1) return false;
  return SubmitSound(MixSound(start, len));
}

bool TMakeAviThread::MakeAnimation(int gridStart, int k, int end) {
  int time = RoundInt(k * FFrameDuration + gridStart);
  if (end - time <= 0) return false;
  TraceF("[TMakeAviThread.Execute] MakeAnimation at time = %d (Length = %d)", time, end - time);
  const int firstK = k;
  while (time < end) {
    FCurrentTime = time;
    TRenderResult result = rfNothing;
    try {
      result = FRenderThread->RenderFrame(time);
    } catch (const std::exception& e) {
      TraceF("[TMakeAviThread] RenderFrame at %d: %s", time, e.what());
      result = rfNothing;
    }
    int stepFrames = 1;
    if (result != rfPicture && result != rfRawCopy && result != rfStored) {
      TJob bad;
      bad.Kind = TJob::jBad;
      bad.Time = time;
      Submit(std::move(bad));
      std::fputc('\a', stderr);
      TraceF("[TMakeAviThread] Warning. BadBlockCount = %d at Time = %d", FBadBlockCount.load(), time);
    } else if (FWriting && (FSettings.OutputKind == okAviFilm || FSettings.OutputKind == okMp4Film)) {
      auto* mp4 = FSettings.OutputKind == okMp4Film ? dynamic_cast<TMp4Maker*>(FAviMaker.get()) : nullptr;
      if (result == rfPicture && mp4) {
        // converted here for the encoder: the writer gets a 4:2:0 picture, not a 24-bit copy
        TJob job;
        job.Kind = TJob::jStored;
        job.Time = time;
        job.Stored = NewStoredPicture();
        if (!job.Stored || !mp4->ConvertFrame(FFrame, job.Stored.get())) {
          job.Kind = TJob::jBad;
          job.Stored.reset();
        }
        Submit(std::move(job));
      } else if (result == rfPicture) {
        TJob job;
        job.Kind = TJob::jFrame;
        job.Time = time;
        Submit(std::move(job));
      } else if (result == rfStored) {
        TJob job;
        job.Kind = TJob::jStored;
        job.Time = time;
        job.Stored = std::move(FStored);
        Submit(std::move(job));
      } else {
        // the raw-copy buffer is filled by the next render: its run is written now
        Drain();
        if (!WriterFailed()) {
          // the frames of the grid left before the end
          int n = 1;
          while (RoundInt((k + n) * FFrameDuration + gridStart) < end) ++n;
          bool ok = false;
          int written = 0;
          {
            std::lock_guard<std::mutex> l(FMakerLock);
            ok = FAviMaker->AddVideoSeries(n);
            written = FAviMaker->LastSeriesFrames();
          }
          if (ok && written > 0) {
            FGoodBlockCount += written;
            stepFrames = written;
          } else {
            FBadBlockCount += std::max(1, written);
            FBadTime = time;
            FWriterFailed = true;
          }
        }
      }
    } else if (FWriting) {
      TJob job;
      job.Kind = TJob::jPicture;
      job.Time = time;
      job.FileName = SequenceFileName(FBaseName, FSequenceCount, FSettings.OutputKind);
      ++FSequenceCount;
      Submit(std::move(job));
    } else {
      TJob job;
      job.Kind = TJob::jGood;
      Submit(std::move(job));
    }
    if (result == rfPicture) {
      const TPreviewMode mode = FPreviewMode;
      if (FBox.load() && (mode == pmEveryFrame || (mode == pmEvery25th && (k - firstK) % 25 == 0))) ShowPreview(FFrame);
    }
    if (FProgress) FProgress->StepBy(stepFrames);
    if (FStop) break;
    k += stepFrames;
    if (FBadBlockCount > 0 || WriterFailed()) {
      TMakeAviError none = meNone;
      FError.compare_exchange_strong(none, meBadFrame);
      break;
    }
    time = RoundInt(k * FFrameDuration + gridStart);
  }
  TMakeAviError none = meNone;
  if (WriterFailed()) FError.compare_exchange_strong(none, meBadFrame);
  return FError == meNone;
}

void TMakeAviThread::ShowPreview(const TDIB& frame) {
  TPreviewBox* box = FBox;
  if (!box) return;
  CopyPixels(FPreview, frame);
  const int w = box->ClientWidth(), h = box->ClientHeight();
  if (w <= 0 || h <= 0) return;
  if (w == FPreview.Width() && h == FPreview.Height())
    box->Paint(FPreview);
  else
    box->Paint(FPreview.Stretched(w, h, 24));
}

// ---------------------------------------------------------------------------------
// the writer

size_t TMakeAviThread::QueueLength() const {
  // The MP4 encoder takes each frame into a queue of its own (its lookahead) at once:
  // one frame waiting before it keeps it busy, and a second would only hold memory.
  if (FSettings.OutputKind == okMp4Film) return 1;
  // four frames, or fewer large ones (about 16 MB of pictures), at least two
  constexpr size_t kQueueBytes = size_t(16) << 20;
  return std::clamp<size_t>(kQueueBytes / std::max<size_t>(1, FFrame.ImageSize()), 2, 4);
}

void TMakeAviThread::Submit(TJob&& job) {
  const bool needsPicture = job.Kind == TJob::jFrame || job.Kind == TJob::jPicture;
  if (!FWriterThread.joinable()) {
    if (needsPicture) {
      // the writer's picture takes the frame's pixels; the frame stays as it is
      if (job.Kind == TJob::jFrame) {
        CopyPixels(FWriterFrame, FFrame);
      } else {
        job.Picture = FFrame;
      }
    }
    RunJob(job);
    return;
  }
  std::unique_lock<std::mutex> l(FQueueLock);
  // a few frames in flight: enough to keep both threads busy
  FQueueSignal.wait(l, [this] { return FQueue.size() < QueueLength() || FWriterQuit; });
  if (needsPicture) {
    if (!FFreeFrames.empty()) {
      job.Picture = std::move(FFreeFrames.back());
      FFreeFrames.pop_back();
    }
    l.unlock();
    CopyPixels(job.Picture, FFrame);
    l.lock();
  }
  FQueue.push_back(std::move(job));
  FQueueSignal.notify_all();
}

void TMakeAviThread::RunJob(TJob& job) {
  if (FWriterFailed && job.Kind != TJob::jAudio) return;  // the film ended at the failed frame
  if (FWriterFailed) return;
  switch (job.Kind) {
    case TJob::jAudio: {
      bool ok;
      {
        std::lock_guard<std::mutex> l(FMakerLock);
        ok = FAviMaker && FAviMaker->AddAudioData(job.Bytes.data(), static_cast<int>(job.Bytes.size()));
      }
      if (ok) {
        ++FAudioBlocks;
        TraceF("Maked audio at FAudioPosition = %d, ThisStepTimeDuration = %d, DataSize = %d, ReadSize = %d",
               job.Position, job.Duration, static_cast<int>(job.Bytes.size()), job.ReadSize);
      } else {
        TraceF("FAILED audio writing at FAudioPosition = %d, ThisStepTimeDuration = %d, DataSize = %d", job.Position,
               job.Duration, static_cast<int>(job.Bytes.size()));
        // the film ends here: the sound after a lost block would come too early
        TMakeAviError none = meNone;
        if (FError.compare_exchange_strong(none, meException))
          FErrorText = Format("Błąd zapisu dźwięku filmu w pozycji = %d [ms]", job.Position);
        FWriterFailed = true;
      }
      break;
    }
    case TJob::jFrame:
    case TJob::jStored: {
      if (!job.Picture.Empty()) std::swap(FWriterFrame, job.Picture);
      bool ok;
      {
        std::lock_guard<std::mutex> l(FMakerLock);
        auto* mp4 = job.Kind == TJob::jStored ? dynamic_cast<TMp4Maker*>(FAviMaker.get()) : nullptr;
        ok = job.Kind == TJob::jStored ? mp4 && mp4->AddStoredPicture(job.Stored.get())
                                       : FAviMaker && FAviMaker->AddVideoFrame();
      }
      job.Stored.reset();  // the decoder's picture goes back to it
      if (ok) {
        ++FGoodBlockCount;
      } else {
        ++FBadBlockCount;
        FBadTime = job.Time;
        FWriterFailed = true;
      }
      break;
    }
    case TJob::jPicture: {
      // written under a temporary name; it takes its own when the sequence ends
      std::string name = FSequenceOutput.Create(job.FileName);
      errno = 0;
      if (!name.empty() && SavePictureFile(job.Picture, name, false)) {
        ++FGoodBlockCount;
      } else {
        const int error = errno;
        const std::string why = name.empty() ? FSequenceOutput.Reason() : error ? std::strerror(error) : "";
        ShowMessage(Format("Nie mogę zapisać pliku \"%s\".", job.FileName.c_str()) + (why.empty() ? "" : " " + why),
                    TMsgKind::Error);
        ++FBadBlockCount;
        FBadTime = job.Time;
        FWriterFailed = true;
      }
      break;
    }
    case TJob::jGood: ++FGoodBlockCount; break;
    case TJob::jBad:
      ++FBadBlockCount;
      FBadTime = job.Time;
      FWriterFailed = true;
      break;
  }
}

void TMakeAviThread::WriterLoop() {
  for (;;) {
    TJob job;
    {
      std::unique_lock<std::mutex> l(FQueueLock);
      FQueueSignal.wait(l, [this] { return !FQueue.empty() || FWriterQuit; });
      if (FQueue.empty()) return;
      job = std::move(FQueue.front());
      FQueue.pop_front();
      FWriterBusy = true;
    }
    try {
      RunJob(job);
    } catch (const std::exception& e) {
      TraceF("[TMakeAviThread.Writer] %s", e.what());
      ++FBadBlockCount;
      FBadTime = job.Time;
      FWriterFailed = true;
    }
    std::lock_guard<std::mutex> l(FQueueLock);
    FWriterBusy = false;
    if (!job.Picture.Empty() && FFreeFrames.size() < QueueLength()) FFreeFrames.push_back(std::move(job.Picture));
    FQueueSignal.notify_all();
  }
}

void TMakeAviThread::Drain() {
  if (!FWriterThread.joinable()) return;
  std::unique_lock<std::mutex> l(FQueueLock);
  FQueueSignal.wait(l, [this] { return (FQueue.empty() && !FWriterBusy) || FWriterQuit; });
}

void TMakeAviThread::StopWriter() {
  if (!FWriterThread.joinable()) return;
  Drain();
  {
    std::lock_guard<std::mutex> l(FQueueLock);
    FWriterQuit = true;
  }
  FQueueSignal.notify_all();
  FWriterThread.join();
}

}  // namespace movara
