#include "dv/ui/DvWidgets.h"

#include <QMetaObject>
#include <QPointer>
#include <QResizeEvent>

#include "base/AppPaths.h"
#include "platform/avifile/AviFile.h"
#include "platform/codecs/VideoDecoder.h"
#include "project/ui/ClipPaint.h"

namespace movara {

TDvPreviewPanel::TDvPreviewPanel(QWidget* parent) : QLabel(parent) {
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Sunken);
  setAlignment(Qt::AlignCenter);
  setMinimumSize(180, 144);
  setStyleSheet("background: black");
}

void TDvPreviewPanel::Offer(const TDIB& picture) {
  QImage copy = DibToImage(picture);
  {
    std::lock_guard<std::mutex> g(FLock);
    FNewest = std::move(copy);
  }
  if (!FPending.exchange(true)) QMetaObject::invokeMethod(this, [this] { ShowNewest(); }, Qt::QueuedConnection);
}

void TDvPreviewPanel::ShowNewest() {
  FPending = false;
  {
    std::lock_guard<std::mutex> g(FLock);
    FShown = FNewest;
  }
  if (!FShown.isNull())
    setPixmap(QPixmap::fromImage(FShown.scaled(contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TDvPreviewPanel::resizeEvent(QResizeEvent* e) {
  QLabel::resizeEvent(e);
  if (!FShown.isNull())
    setPixmap(QPixmap::fromImage(FShown.scaled(contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

TDvAnimation::TDvAnimation(const std::string& fileName, QWidget* parent) : QLabel(parent) {
  setAlignment(Qt::AlignCenter);
  PAVIFILE f = nullptr;
  int rate = 10;
  if (AVIFileOpen(&f, DataFolder() + fileName, OF_READ) == AVIERR_OK) {
    TAviFilePtr fp(f);
    PAVISTREAM s = nullptr;
    if (AVIFileGetStream(f, &s, streamtypeVIDEO, 0) == AVIERR_OK) {
      TAviStreamPtr sp(s);
      AVISTREAMINFO si;
      AVIStreamInfo(s, &si, sizeof si);
      if (si.dwScale && si.dwRate) rate = std::max<int>(1, static_cast<int>(si.dwRate / si.dwScale));
      int32_t size = 0;
      AVIStreamReadFormat(s, 0, nullptr, &size);
      std::vector<uint8_t> fmt(static_cast<size_t>(std::max(size, 0)));
      if (size > 0 && AVIStreamReadFormat(s, 0, fmt.data(), &size) == AVIERR_OK) {
        auto dec = TVideoDecoder::Create(fmt.data(), fmt.size(), si.fccHandler);
        std::vector<uint8_t> data;
        TDIB pic;
        for (int n = 0; dec && n < AVIStreamLength(s) && n < 500; ++n) {
          int32_t bytes = 0;
          if (AVIStreamRead(s, n, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK || bytes <= 0) continue;
          data.resize(static_cast<size_t>(bytes));
          if (AVIStreamRead(s, n, 1, data.data(), bytes, &bytes, nullptr) != AVIERR_OK) continue;
          int pos = 0;
          if (dec->SendPacket(data.data(), data.size(), true, n))
            while (dec->ReceiveFrame(&pos))
              if (dec->CopyTo(pic)) FFrames.push_back(DibToImage(pic));
        }
      }
    }
  }
  FTimer.setInterval(1000 / rate);
  connect(&FTimer, &QTimer::timeout, this, [this] { Step(); });
  if (!FFrames.empty()) {
    setPixmap(QPixmap::fromImage(FFrames[0]));
    setFixedSize(FFrames[0].size());
  }
}

void TDvAnimation::SetActive(bool on) {
  if (on == FTimer.isActive()) return;
  if (on && !FFrames.empty()) FTimer.start();
  else {
    FTimer.stop();
    FCurrent = 0;
    if (!FFrames.empty()) setPixmap(QPixmap::fromImage(FFrames[0]));
  }
}

void TDvAnimation::Step() {
  if (FFrames.empty()) return;
  FCurrent = (FCurrent + 1) % static_cast<int>(FFrames.size());
  setPixmap(QPixmap::fromImage(FFrames[static_cast<size_t>(FCurrent)]));
}

QString DvTimeText(const TDvTime& t) {
  return QString::asprintf("%d:%.2d:%.2d:%.2d", t.Hours, t.Minutes, t.Seconds, t.Frames);
}

void ConnectDvController(TDvController& dv, QObject* owner, QTimer& timer) {
  QPointer<QObject> guard(owner);
  TDvController* controller = &dv;
  dv.OnGraphNotify = [guard, controller] {
    if (guard)
      QMetaObject::invokeMethod(guard.data(), [guard, controller] {
        if (guard) controller->ServiceNotify();
      }, Qt::QueuedConnection);
  };
  timer.setInterval(TDvController::TimerInterval);
  QObject::connect(&timer, &QTimer::timeout, owner, [controller] { controller->OnTimer(); });
  timer.start();
}

}  // namespace movara
