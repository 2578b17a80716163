// The sound card behind the waveOut device: a QAudioSink in push mode on the default
// output. The sink needs an event loop, so each device runs a private QThread whose loop
// owns the sink and a 10 ms timer that moves bytes from our queue into the sink as it
// has room. Calls from our side are posted to that thread and waited for a bounded time.
#include <QtCore/QCoreApplication>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QIODevice>
#include <QtCore/QObject>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtMultimedia/QAudioDevice>
#include <QtMultimedia/QAudioFormat>
#include <QtMultimedia/QAudioSink>
#include <QtMultimedia/QMediaDevices>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <vector>

#include "base/Trace.h"
#include "platform/audioout/WaveOutQueue.h"

namespace movara {

bool QtWaveOutAvailable() {
  // Without an application object Qt has no event loops to run a sink in, and we do not
  // create one behind the caller's back: the silent device plays instead.
  if (QCoreApplication::instance() == nullptr) return false;
  return !QMediaDevices::defaultAudioOutput().isNull();
}

namespace {

constexpr int kWaitMs = 3000;

// What the lambdas running in the sink's thread share with the backend; held by
// shared_ptr so that a lambda that runs late never sees freed memory.
struct TQtSinkState {
  std::shared_ptr<TWaveQueue> queue;
  WAVEFORMATEX format;
  QAudioSink* sink = nullptr;
  QIODevice* io = nullptr;
  QTimer* timer = nullptr;
  bool paused = false;
  std::vector<uint8_t> chunk;
  MMRESULT startResult = MMSYSERR_ERROR;
  std::atomic<uint64_t> buffered{0};
};

void Feed(TQtSinkState& s) {
  if (s.sink == nullptr || s.io == nullptr || s.paused) return;
  const qsizetype room = s.sink->bytesFree();
  if (room > 0) {
    s.chunk.resize(static_cast<size_t>(room));
    const size_t n = s.queue->Pull(s.chunk.data(), s.chunk.size());
    if (n > 0) s.io->write(reinterpret_cast<const char*>(s.chunk.data()), static_cast<qint64>(n));
  }
  const qsizetype held = s.sink->bufferSize() - s.sink->bytesFree();
  s.buffered = held > 0 ? static_cast<uint64_t>(held) : 0;
}

void OpenSink(const std::shared_ptr<TQtSinkState>& sp) {
  TQtSinkState& s = *sp;
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) {
    s.startResult = MMSYSERR_NODRIVER;
    return;
  }
  QAudioFormat fmt;
  fmt.setSampleRate(static_cast<int>(s.format.nSamplesPerSec));
  fmt.setChannelCount(s.format.nChannels);
  fmt.setSampleFormat(s.format.wBitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
  if (!device.isFormatSupported(fmt)) {
    s.startResult = WAVERR_BADFORMAT;
    return;
  }
  s.sink = new QAudioSink(device, fmt);
  // About a fifth of a second in the sink: our own queue holds the rest.
  s.sink->setBufferSize(static_cast<qsizetype>(s.format.nAvgBytesPerSec / 5));
  s.io = s.sink->start();
  if (s.io == nullptr || s.sink->error() != QAudio::NoError) {
    delete s.sink;
    s.sink = nullptr;
    s.io = nullptr;
    s.startResult = MMSYSERR_ERROR;
    return;
  }
  s.timer = new QTimer;
  s.timer->setInterval(10);
  QObject::connect(s.timer, &QTimer::timeout, s.timer, [sp] { Feed(*sp); });
  s.timer->start();
  s.startResult = MMSYSERR_NOERROR;
}

void CloseSink(TQtSinkState& s) {
  if (s.timer != nullptr) {
    s.timer->stop();
    delete s.timer;  // drops the lambda's reference to the state
    s.timer = nullptr;
  }
  if (s.sink != nullptr) {
    s.sink->stop();
    delete s.sink;
    s.sink = nullptr;
    s.io = nullptr;
  }
  s.buffered = 0;
}

class TQtBackend : public TWaveOutBackend {
 public:
  TQtBackend(std::shared_ptr<TWaveQueue> queue, const WAVEFORMATEX& format)
      : st_(std::make_shared<TQtSinkState>()) {
    st_->queue = std::move(queue);
    st_->format = format;
  }
  ~TQtBackend() override { Shutdown(); }

  MMRESULT Start() override {
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("movara-waveout"));
    thread_->start();
    ctx_ = new QObject;
    ctx_->moveToThread(thread_.get());
    if (!RunInThread([](const std::shared_ptr<TQtSinkState>& sp) { OpenSink(sp); })) {
      Shutdown();
      return MMSYSERR_ERROR;
    }
    const MMRESULT r = st_->startResult;
    if (r != MMSYSERR_NOERROR) Shutdown();
    return r;
  }

  void SetPaused(bool paused) override {
    RunInThread([paused](const std::shared_ptr<TQtSinkState>& sp) {
      sp->paused = paused;
      if (sp->sink == nullptr) return;
      if (paused)
        sp->sink->suspend();
      else
        sp->sink->resume();
    });
  }

  void Reset() override {
    RunInThread([](const std::shared_ptr<TQtSinkState>& sp) {
      TQtSinkState& s = *sp;
      if (s.sink == nullptr) return;
      // Stop drops what the sink holds; a new start gives a fresh push device.
      s.sink->stop();
      s.io = s.sink->start();
      if (s.paused) s.sink->suspend();
      s.buffered = 0;
    });
  }

  void Wake() override {}

  uint64_t BufferedBytes() override { return st_->buffered.load(); }

  void Shutdown() override {
    if (!thread_) return;
    RunInThread([](const std::shared_ptr<TQtSinkState>& sp) { CloseSink(*sp); });
    thread_->quit();
    if (thread_->wait(QDeadlineTimer(kWaitMs))) {
      delete ctx_;
      thread_.reset();
    } else {
      // A QThread that still runs must not be destroyed: leave it to the process end.
      Trace("[waveOut] the sound thread did not stop in time");
      (void)thread_.release();
    }
    ctx_ = nullptr;
  }

 private:
  bool RunInThread(std::function<void(const std::shared_ptr<TQtSinkState>&)> fn) {
    if (ctx_ == nullptr) return false;
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::shared_ptr<TQtSinkState> sp = st_;
    const bool posted = QMetaObject::invokeMethod(
        ctx_,
        [sp, fn = std::move(fn), done] {
          fn(sp);
          done->set_value();
        },
        Qt::QueuedConnection);
    if (!posted) return false;
    return finished.wait_for(std::chrono::milliseconds(kWaitMs)) == std::future_status::ready;
  }

  std::shared_ptr<TQtSinkState> st_;
  std::unique_ptr<QThread> thread_;
  QObject* ctx_ = nullptr;
};

}  // namespace

std::unique_ptr<TWaveOutBackend> MakeQtWaveOutBackend(std::shared_ptr<TWaveQueue> queue,
                                                      const WAVEFORMATEX& format) {
  return std::make_unique<TQtBackend>(std::move(queue), format);
}

}  // namespace movara
