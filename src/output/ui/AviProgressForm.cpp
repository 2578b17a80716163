#include "output/ui/AviProgressForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstring>

#include "base/Format.h"
#include "base/Trace.h"
#include "base/UserMessages.h"

namespace movara {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

const char* const kCaptions[] = {"Generowanie filmu AVI", "Generowanie sekwencji BMP", "Generowanie sekwencji GIFF",
                                 "Generowanie sekwencji JPEG", "Generowanie filmu MP4"};

// Runs fn on the widget's thread later; dropped when the widget is gone by then.
template <typename F>
void Queue(QObject* context, F&& fn) {
  QMetaObject::invokeMethod(context, std::forward<F>(fn), Qt::QueuedConnection);
}

}  // namespace

// ---------------------------------------------------------------------------------
// the bar

TProgressBarView::TProgressBarView(TMyProgressBar& model, QWidget* parent) : QWidget(parent), FModel(model) {
  setObjectName("MyProgressBar");
}

void TProgressBarView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect all = rect();
  p.fillRect(all, ColorFrame);
  const QRect inner = all.adjusted(BorderWidth, BorderWidth, -BorderWidth, -BorderWidth);
  const int min = FModel.Min(), max = FModel.Max(), pos = FModel.Position();
  const int doneWidth =
      max > min ? static_cast<int>(static_cast<int64_t>(inner.width()) * (pos - min) / (max - min)) : 0;
  const QRect done(inner.left(), inner.top(), doneWidth, inner.height());
  const QRect todo(inner.left() + doneWidth, inner.top(), inner.width() - doneWidth, inner.height());
  p.fillRect(done, ColorDone);
  p.fillRect(todo, ColorToDo);
  const QString text = QString::fromStdString(FModel.Text());
  // the text in the colour that shows on each part
  p.save();
  p.setClipRect(done);
  p.setPen(ColorToDo);
  p.drawText(inner, Qt::AlignCenter, text);
  p.restore();
  p.setClipRect(todo);
  p.setPen(ColorDone);
  p.drawText(inner, Qt::AlignCenter, text);
}

// ---------------------------------------------------------------------------------
// the preview box

TPreviewBoxView::TPreviewBoxView(QWidget* parent) : QWidget(parent) {
  setObjectName("PreviewBox");
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewBoxView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FWidth = width();
  FHeight = height();
}

void TPreviewBoxView::Paint(const TDIB& picture) {
  if (picture.Empty() || picture.BitCount() != 24) return;
  {
    std::lock_guard<std::mutex> l(FLock);
    if (FImage.width() != picture.Width() || FImage.height() != picture.Height())
      FImage = QImage(picture.Width(), picture.Height(), QImage::Format_BGR888);
    for (int y = 0; y < picture.Height(); ++y)
      std::memcpy(FImage.scanLine(y), picture.ScanLine(y), static_cast<size_t>(picture.Width()) * 3);
  }
  ++FPainted;
  if (!FUpdatePending.exchange(true))
    Queue(this, [this] {
      FUpdatePending = false;
      update();
    });
}

QImage TPreviewBoxView::Picture() const {
  std::lock_guard<std::mutex> l(FLock);
  return FImage.copy();
}

void TPreviewBoxView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  std::lock_guard<std::mutex> l(FLock);
  if (FImage.isNull())
    p.fillRect(rect(), Qt::black);
  else
    p.drawImage(rect(), FImage);
}

// ---------------------------------------------------------------------------------
// the window

TAviProgressForm::TAviProgressForm(QWidget* owner, const std::string& scriptText, TFxRenderThread* renderThread,
                                   const TLayerBox* layerBox, const TFilmSettingsData& settings, bool preview)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      FSettings(settings) {
  setObjectName("AviProgressForm");
  setWindowTitle(Q(kCaptions[settings.OutputKind < 5 ? settings.OutputKind : 0]));
  FBarView = new TProgressBarView(FBar, this);
  FBarView->setGeometry(8, 8, kWidth - 16, 24);
  FInfo = new QLabel(this);
  FInfo->setObjectName("lInfo");
  FInfo->setGeometry(8, 38, kWidth - 16, 20);
  FStartTimer = new QTimer(this);
  FStartTimer->setSingleShot(true);
  FStartTimer->setInterval(333);
  connect(FStartTimer, &QTimer::timeout, this, &TAviProgressForm::InitializeThread);

  // the film thread moves the bar: the window repaints it later, once per change burst
  FBar.OnChangePosition = [this](TMyProgressBar&) {
    if (!FBarUpdatePending.exchange(true))
      Queue(this, [this] {
        FBarUpdatePending = false;
        FBarView->update();
        FInfo->setText(QString::fromStdString(FBar.EstimateText()));
      });
  };
  if (preview) ShowBox(true);
  setFixedSize(kWidth, preview ? kHeightWithPreview : kHeight);
  FThread = std::make_unique<TMakeAviThread>(static_cast<TWindowHandle>(this), preview ? pmEveryFrame : pmNone, true,
                                             &FBar, FBox, scriptText, renderThread, layerBox, settings);
  FThread->OnTerminate = [this] { Queue(this, [this] { OnTerminateThread(); }); };
  FThread->ProcessMessages = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); };
  FInfo->setText(QString::fromStdString(FBar.EstimateText()));
}

TAviProgressForm::~TAviProgressForm() {
  // the thread ends first (its callbacks post to this window, which drops them when it
  // goes): nothing the thread reads is changed while it may still read it
  if (FThread) {
    if (!FThread->Terminated() && FThread->Started()) StopAndWait(15000);
    FThread.reset();
  }
  FBar.OnChangePosition = nullptr;
  FInhibit.Release();
}

void TAviProgressForm::ShowBox(bool show) {
  if (show && !FBox) {
    FBox = new TPreviewBoxView(this);
    // centred, 10 pixels below the info label
    FBox->setGeometry((kWidth - 100) / 2, FInfo->geometry().bottom() + 1 + 10, 100, 100);
  }
  if (FBox) FBox->setVisible(show);
  setFixedSize(kWidth, show ? kHeightWithPreview : kHeight);
}

void TAviProgressForm::TogglePreview() {
  if (!FThread || FThread->Terminated()) return;
  if (FBox && FBox->isVisible()) {
    FThread->SetPreviewMode(pmNone);
    ShowBox(false);
    return;
  }
  ShowBox(true);
  FThread->SetPreviewBox(FBox);
  FThread->SetPreviewMode(pmEveryFrame);
}

void TAviProgressForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!FGenerating && !FStartTimer->isActive() && FThread && !FThread->Started()) FStartTimer->start();
}

void TAviProgressForm::InitializeThread() {
  if (!FThread || FThread->Terminated()) {
    reject();
    return;
  }
  FGenerating = true;
  FInhibit.Acquire(Q("Generowanie filmu"));
  for (QScreen* s : QGuiApplication::screens())
    connect(s, &QScreen::geometryChanged, this, &TAviProgressForm::DisplayChanged, Qt::UniqueConnection);
  connect(qApp, &QGuiApplication::primaryScreenChanged, this, &TAviProgressForm::DisplayChanged,
          Qt::UniqueConnection);
  FThread->StartThread();
}

void TAviProgressForm::DisplayChanged() {
  if (!FGenerating) return;
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return;
  ShowMessage(Format("Został zmieniony tryb graficzny podczas renderowania (%dx%d x %d). Zmiana trybu graficznego "
                     "podczas renderowania jest zabroniona!",
                     s->size().width(), s->size().height(), s->depth()),
              TMsgKind::Warning);
}

void TAviProgressForm::OnTerminateThread() {
  FGenerating = false;
  FInhibit.Release();
  if (!FThread) return;
  FFilmError = FThread->Error();
  FFilmErrorText = FThread->GetErrorText();
  if (FUserStopped) {
    // the user's Esc: the film so far stays, the command goes no further
    if (!FWaiting && isVisible()) reject();
    return;
  }
  if (FFilmError != meNone) {
    ShowMessage(FFilmErrorText, TMsgKind::Error);
    reject();
  } else {
    accept();
  }
}

bool TAviProgressForm::StopAndWait(int ms) {
  if (!FThread) return true;
  if (FThread->Terminated()) return true;
  FThread->RequestStop();
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(10);
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (FThread->Terminated() || clock.elapsed() >= ms) loop.quit();
  });
  const bool wasWaiting = FWaiting;
  FWaiting = true;
  poll.start();
  loop.exec();
  FWaiting = wasWaiting;
  return FThread->Terminated();
}

void TAviProgressForm::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
  if (event->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
    if (!FThread || FThread->Terminated()) {
      reject();
      return;
    }
    FUserStopped = true;
    if (StopAndWait(15000)) {
      reject();
    } else {
      Trace("[TAviProgressForm.FormKeyDown] Waiting for Thread terminating TimeOut. Failed closing window.");
    }
    return;
  }
  if (event->key() == Qt::Key_Space && mods == Qt::ControlModifier) {
    TogglePreview();
    return;
  }
  // Enter and the other keys of a dialog do nothing here
  event->accept();
}

void TAviProgressForm::closeEvent(QCloseEvent* event) {
  if (!FThread || !FThread->Started() || FThread->Terminated()) {
    event->accept();
    return;
  }
  FUserStopped = true;
  bool ended = StopAndWait(15000);
  const bool forced = FRefusedCloses > 2 || (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier);
  // a thread cannot be killed safely: "forcibly" waits once more
  if (!ended && forced) ended = StopAndWait(15000);
  if (ended) {
    event->accept();
    setResult(QDialog::Rejected);
  } else {
    ++FRefusedCloses;
    event->ignore();
  }
}

}  // namespace movara
