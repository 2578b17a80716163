#include "app/ui/ClipPlayer.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "base/AppPaths.h"
#include "base/FileKind.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "compose/ui/ImageView.h"
#include "compose/ui/MarkInOutSlider.h"
#include "media/AudioReader.h"
#include "media/Avi.h"
#include "media/ResourceLists.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/ui/ClipPaint.h"
#include "project/ui/ResourcesForm.h"
#include "project/ui/TimeLineMime.h"

namespace movara {
namespace {

constexpr QSize kSoundViewSize(320, 90);

struct TPlayersState {
  QPointer<QMdiArea> Area;
  TClipBox* Box = nullptr;
  std::vector<QPointer<TClipPlayer>> Players;
  bool NextSet = false;
  QPoint Next;
  std::function<std::string()> AskFile;
};

TPlayersState& Shared() {
  static TPlayersState state;
  return state;
}

QString TimeText(int64_t ms) { return QString::fromStdString(FormatMilliseconds(std::max<int64_t>(0, ms))); }

std::string AskPlayerFile() {
  if (Shared().AskFile) return Shared().AskFile();
  QFileDialog dialog(QApplication::activeWindow(), QString::fromUtf8("Wybór plików animacji i dźwięku"));
  dialog.setFileMode(QFileDialog::ExistingFile);
  // the project's resource filters: their movies and sounds, then everything
  const QStringList filters = ResourceFileFilters();
  auto movies = filters[4], sounds = filters[5];
  const QString both = QString::fromUtf8("Pliki animacji i dźwięku (") + movies.section('(', 1).chopped(1) + ' ' +
                       sounds.section('(', 1);
  dialog.setNameFilters({both, movies, sounds, QString::fromUtf8("Wszystkie pliki (*)")});
  dialog.setDefaultSuffix("AVI");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  return dialog.selectedFiles().first().toStdString();
}

// Places a new player's frame: to the right of the last one, the next row when it
// would leave the area, the top-left again when it would leave the bottom.
void PlaceAndShow(TClipPlayer* player) {
  auto& shared = Shared();
  QWidget* frame = player->Frame();
  QRect bounds;
  if (shared.Area)
    bounds = shared.Area->viewport()->rect();
  else if (QScreen* screen = QGuiApplication::primaryScreen())
    bounds = screen->availableGeometry();
  else
    bounds = QRect(0, 0, 1024, 768);
  frame->adjustSize();
  const QSize size = frame->size();
  if (!shared.NextSet) {
    shared.Next = bounds.topLeft();
    shared.NextSet = true;
  }
  if (bounds.width() < shared.Next.x() + size.width()) {
    shared.Next.setX(bounds.left());
    shared.Next.ry() += size.height();
  }
  if (bounds.height() < shared.Next.y() + size.height()) shared.Next = bounds.topLeft();
  frame->move(shared.Next);
  shared.Next.rx() += size.width();
  frame->show();
  player->show();
}

}  // namespace

// ---------------------------------------------------------------------------------

TPlayerView::TPlayerView(TDCAviPlayer& player, QWidget* parent) : QWidget(parent), FPlayer(player) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPlayerView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QColor color = palette().color(QPalette::Window).darker(300);
  const TClipType type = FPlayer.ClipType();
  if (type == ctAudio) {
    p.fillRect(rect(), color);
    QFont font("Times New Roman");
    font.setPointSize(20);
    p.setFont(font);
    p.setPen(Qt::white);
    const int h = QFontMetrics(font).height();
    p.drawText(QRect(15, (height() - h) / 2 - 10, width() - 15, h), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("Dźwięk"));
    return;
  }
  TDIB picture;
  if (type == ctNone || FPlayer.ClipState() == csNone || !FPlayer.CopyPicture(picture)) {
    p.fillRect(rect(), color);
    return;
  }
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  p.drawImage(rect(), DibToImage(picture));
}

// ---------------------------------------------------------------------------------

TClipPlayer::TClipPlayer(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QString::fromUtf8("Odtwarzacz"));
  FView = new TPlayerView(FPlayer, this);
  FView->setFixedSize(kSoundViewSize);
  FView->installEventFilter(this);
  FSlider = new TMarkInOutSlider(this);
  FPositions = new QLabel(this);
  FDurations = new QLabel(this);
  for (QLabel* l : {FPositions, FDurations}) {
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setAlignment(Qt::AlignCenter);
  }
  FPositions->setToolTip(QString::fromUtf8("Pozycja i koniec"));
  FDurations->setToolTip(QString::fromUtf8("Długość zaznaczenia i całości"));

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(1);
  auto add = [&](const char* caption, const char* hint, void (TClipPlayer::*slot)()) {
    auto* b = new QToolButton(this);
    b->setText(QString::fromUtf8(caption));
    b->setToolTip(QString::fromUtf8(hint));
    b->setAutoRaise(false);
    b->setMinimumWidth(24);
    connect(b, &QToolButton::clicked, this, slot);
    buttons->addWidget(b);
  };
  add("\u25B6", "Odtwarzaj", &TClipPlayer::PlayClicked);
  add("[\u25B6]", "Odtwarzaj zaznaczony fragment", &TClipPlayer::PlayMarkedClicked);
  add("\u25A0", "Zatrzymaj (ponownie: na początek)", &TClipPlayer::StopClicked);
  add("\u25C0\u25C0", "Sekunda wstecz", &TClipPlayer::BackSecond);
  add("\u25C0|", "Klatka wstecz", &TClipPlayer::BackFrame);
  add("|\u25B6", "Klatka naprzód", &TClipPlayer::ForwardFrame);
  add("\u25B6\u25B6", "Sekunda naprzód", &TClipPlayer::ForwardSecond);
  add("[", "Początek zaznaczenia", &TClipPlayer::MarkIn);
  add("]", "Koniec zaznaczenia", &TClipPlayer::MarkOut);
  buttons->addStretch(1);

  auto* displays = new QHBoxLayout;
  displays->addWidget(FPositions, 1);
  displays->addWidget(FDurations, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 2);
  layout->setSpacing(2);
  layout->addWidget(FView, 0, Qt::AlignHCenter);
  layout->addWidget(FSlider);
  layout->addLayout(buttons);
  layout->addLayout(displays);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(FSlider, &TMarkInOutSlider::positionChanged, this, [this](int ms) {
    FPlayer.SetCurrentTime(ms);
    UpdateDisplays();
  });

  // the clock's events come on its timer thread: the window hears them queued
  FPlayer.ProcessMessages = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
  FPlayer.OnRepaint = [this] { QMetaObject::invokeMethod(this, [this] { ClockMoved(); }, Qt::QueuedConnection); };
  FPlayer.OnStop = FPlayer.OnRepaint;

  FMenu = new QMenu(this);
  const struct {
    const char* text;
    double scale;
  } scales[] = {{"Rozmiar &100%", 1.0}, {"Rozmiar &50%", 0.5}, {"Rozmiar &75%", 0.75}, {"Rozmiar &25%", 0.25}};
  for (int i = 0; i < 4; ++i) {
    const double s = scales[i].scale;
    FScales[i] = FMenu->addAction(QString::fromUtf8(scales[i].text), this, [this, s] { SetDisplayScale(s); });
  }
  FPaste = FMenu->addAction(QString::fromUtf8("&Wklej ze schowka"), this, [] {
    const QImage image = QGuiApplication::clipboard()->image();
    if (image.isNull()) return;
    // the picture goes into a resource view of its own
    auto* view = new TImageView();
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    TDIB dib(rgb.width(), rgb.height(), 24);
    for (int y = 0; y < rgb.height(); ++y) {
      const uchar* in = rgb.constScanLine(y);
      uint8_t* out = dib.ScanLine(y);
      for (int x = 0; x < rgb.width(); ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
      }
    }
    view->SetPicture(dib);
    QMdiArea* area = Shared().Area;
    if (area) area->addSubWindow(view)->setAttribute(Qt::WA_DeleteOnClose);
    view->PlaceAndShow(area);
  });

  Shared().Players.push_back(this);
  UpdateDisplays();
}

TClipPlayer::~TClipPlayer() {
  // the clock stops before the readers and this window go (what it still posts to the
  // window goes with the window)
  FPlayer.ProcessMessages = nullptr;
  FPlayer.Attach(nullptr, nullptr);
  auto& players = Shared().Players;
  players.erase(std::remove_if(players.begin(), players.end(),
                               [this](const QPointer<TClipPlayer>& p) { return !p || p == this; }),
                players.end());
}

QWidget* TClipPlayer::Frame() {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) return sub;
  return this;
}

bool TClipPlayer::OpenFile(const std::string& fileName) {
  const std::string full = ExpandFileName(fileName);
  std::unique_ptr<TAVI> video;
  std::unique_ptr<TCustomAudioReader> sound;
  switch (FileKindOfName(full)) {
    case fkAvi:
      video = std::make_unique<TAVI>();
      if (!video->Open(full)) return false;
      video->SetFlipDIBY(false);
      video->SetPosition(0);
      sound = MakeAudioReaderFromFile(full, 2, 16, 44100);
      break;
    case fkWav:
      sound = MakeAudioReaderFromFile(full, 2, 16, 44100);
      if (!sound) return false;
      break;
    default:
      return false;
  }
  FPlayer.Attach(video.get(), sound.get());
  FVideo = std::move(video);
  FSound = std::move(sound);
  FFileName = full;
  FSlider->SetRange(0, FPlayer.LengthTime());
  FSlider->SetPosition(0);
  FSlider->SetMarkInPosition(0);
  FSlider->SetMarkOutPosition(0);
  FSlider->SetShowMarkArea(false);
  SetDisplayScale(1.0);
  UpdateCaption();
  UpdateDisplays();
  return true;
}

void TClipPlayer::UpdateCaption() {
  const std::string name = ExtractFileName(FFileName);
  if (FVideo)
    setWindowTitle(QString::fromStdString(
        Format("Odtwarzacz [%s - (%d x %d)]", name.c_str(), FVideo->FrameWidth(), FVideo->FrameHeight())));
  else
    setWindowTitle(QString::fromStdString(Format("Odtwarzacz [%s]", name.c_str())));
}

void TClipPlayer::SetDisplayScale(double scale) {
  if (scale <= 0) return;
  FScale = scale;
  if (FVideo) {
    const int w = std::max(1, static_cast<int>(RoundHalfEven(FVideo->FrameWidth() * scale)));
    const int h = std::max(1, static_cast<int>(RoundHalfEven(FVideo->FrameHeight() * scale)));
    FView->setFixedSize(w, h);
  } else {
    FView->setFixedSize(kSoundViewSize);
  }
  FView->update();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->adjustSize();
}

QMenu* TClipPlayer::PopupMenu(Qt::KeyboardModifiers modifiers) {
  // the sizes only for a video, and only while Ctrl and Shift are held
  const bool sizes = FVideo != nullptr && (modifiers & Qt::ControlModifier) && (modifiers & Qt::ShiftModifier);
  for (QAction* a : FScales) a->setVisible(sizes);
  const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
  FPaste->setEnabled(clip != nullptr && clip->hasImage());
  return FMenu;
}

void TClipPlayer::contextMenuEvent(QContextMenuEvent* event) {
  PopupMenu(QGuiApplication::queryKeyboardModifiers())->exec(event->globalPos());
}

void TClipPlayer::ClockMoved() {
  const TClipState st = FPlayer.ClipState();
  if (st == csPlaying || st == csPaused || FSlider->Position() != FPlayer.CurrentTime())
    FSlider->SetPosition(FPlayer.CurrentTime());
  FView->update();
  UpdateDisplays();
}

QString TClipPlayer::PositionText() const {
  return TimeText(FSlider->Position()) + "  " + TimeText(FSlider->MaxPos());
}

QString TClipPlayer::DurationText() const {
  const int whole = FSlider->MaxPos() - FSlider->MinPos();
  const int marked = FSlider->ShowMarkArea() ? FSlider->MarkLength() : whole;
  return TimeText(marked) + "  " + TimeText(whole);
}

void TClipPlayer::UpdateDisplays() {
  FPositions->setText(PositionText());
  FDurations->setText(DurationText());
}

void TClipPlayer::PlayClicked() {
  if (FPlayer.ClipState() == csPaused) {
    FPlayer.Resume();
    return;
  }
  FPlayer.Play(FSlider->Position(), 0);
}

void TClipPlayer::PlayMarkedClicked() {
  if (FPlayer.ClipState() == csPaused) {
    FPlayer.Resume();
    return;
  }
  FPlayer.Play(FSlider->MarkStart(), FSlider->MarkLength());
}

void TClipPlayer::StopClicked() {
  const TClipState st = FPlayer.ClipState();
  if (st == csPlaying || st == csPaused) {
    FPlayer.Stop();
  } else {
    FSlider->SetPosition(FSlider->MinPos());
    FPlayer.SetCurrentTime(FSlider->MinPos());
  }
  UpdateDisplays();
}

void TClipPlayer::Step(int newPosition, int burstMs) {
  const TClipState before = FPlayer.ClipState();
  FPlayer.Stop();
  FSlider->SetPosition(newPosition);
  FPlayer.SetCurrentTime(FSlider->Position());
  if (FPlayer.ClipType() == ctNone) return;
  const bool burst = before == csPaused || before == csReady;
  FPlayer.Play(FSlider->Position(), burst ? burstMs : 0);
  UpdateDisplays();
}

void TClipPlayer::BackSecond() { Step(std::max(FSlider->MinPos(), FSlider->Position() - 2000), 1000); }

void TClipPlayer::BackFrame() {
  Step(std::max(FSlider->MinPos(), FSlider->Position() - FPlayer.TimeOfFrames(4)), 100);
}

void TClipPlayer::ForwardFrame() {
  Step(std::min(FSlider->MaxPos(), FSlider->Position() + FPlayer.TimeOfFrames(1)), 100);
}

void TClipPlayer::ForwardSecond() { Step(std::min(FSlider->MaxPos(), FSlider->Position() + 1000), 1000); }

void TClipPlayer::MarkIn() {
  FSlider->SetShowMarkArea(true);
  FSlider->SetMarkInPosition(FSlider->Position());
  UpdateDisplays();
}

void TClipPlayer::MarkOut() {
  FSlider->SetShowMarkArea(true);
  FSlider->SetMarkOutPosition(FSlider->Position());
  UpdateDisplays();
}

QMimeData* TClipPlayer::DragData(TClipBox& box, bool* added) const {
  if (added) *added = false;
  if (FPlayer.ClipType() == ctNone || FFileName.empty()) return nullptr;
  // the thumbnail of the file: this player's own, another of the same file, or a new one
  int index = FGraphic ? box.IndexOf(FGraphic) : -1;
  if (index >= 0 && box.Clips(index)->FullFileName() != FFileName) index = -1;
  if (index < 0) index = box.IndexOf(box.FindClip(FFileName));
  if (index < 0) {
    if (box.MaxClipOverflow()) return nullptr;
    TClipGraphic* clip = box.AddFile(FFileName);
    if (clip == nullptr) return nullptr;
    index = box.IndexOf(clip);
    if (added) *added = true;
  }
  const bool part = FSlider->ShowMarkArea() && FSlider->MarkLength() > 0;
  const int offset = part ? FSlider->MarkStart() : 0;
  const int length = part ? FSlider->MarkLength() : -1;
  auto* data = new QMimeData;
  data->setData(kClipPartMimeType, QByteArray::number(index) + ' ' + QByteArray::number(int(FPlayer.ClipType())) + ' ' +
                                       QByteArray::number(offset) + ' ' + QByteArray::number(length));
  return data;
}

void TClipPlayer::StartDrag() {
  TClipBox* box = Shared().Box;
  if (box == nullptr) return;
  bool added = false;
  QMimeData* data = DragData(*box, &added);
  if (data == nullptr) return;
  TClipGraphic* clip = box->Clips(data->data(kClipPartMimeType).split(' ').value(0).toInt());
  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  drag->setDragCursor(DropperOkPixmap(), Qt::CopyAction);
  const Qt::DropAction done = drag->exec(Qt::CopyAction, Qt::CopyAction);
  // a thumbnail added for a drag that went nowhere goes again
  if (added && done == Qt::IgnoreAction && clip != nullptr && !clip->Used()) box->DeleteClip(clip);
}

bool TClipPlayer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FView) {
    if (event->type() == QEvent::MouseButtonPress) {
      auto* e = static_cast<QMouseEvent*>(event);
      FPressed = e->button() == Qt::LeftButton;
      FPressPoint = e->position().toPoint();
    } else if (event->type() == QEvent::MouseButtonDblClick) {
      FPressed = false;
    } else if (event->type() == QEvent::MouseMove) {
      auto* e = static_cast<QMouseEvent*>(event);
      if (FPressed && (e->buttons() & Qt::LeftButton) &&
          (e->position().toPoint() - FPressPoint).manhattanLength() >= QApplication::startDragDistance()) {
        FPressed = false;
        StartDrag();
      }
    } else if (event->type() == QEvent::MouseButtonRelease) {
      FPressed = false;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TClipPlayer::closeEvent(QCloseEvent* event) {
  // closing hides: the player is freed by the close-all command or with the main window
  FPlayer.Stop();
  event->ignore();
  Frame()->hide();
}

// ---------------------------------------------------------------------------------

void SetClipPlayerHost(QMdiArea* area, TClipBox* box) {
  Shared().Area = area;
  Shared().Box = box;
  Shared().NextSet = false;
}

void SetClipPlayerOpenDialog(std::function<std::string()> ask) { Shared().AskFile = std::move(ask); }

namespace {

TClipPlayer* NewPlayer(const std::string& fileName, TClipGraphic* graphic) {
  auto player = std::make_unique<TClipPlayer>();
  if (!player->OpenFile(fileName)) return nullptr;
  player->SetGraphic(graphic);
  TClipPlayer* p = player.release();
  if (QMdiArea* area = Shared().Area) area->addSubWindow(p);
  PlaceAndShow(p);
  return p;
}

}  // namespace

TClipPlayer* OpenClipPlayer(const std::string& fileName) {
  std::string name = fileName;
  if (name.empty()) name = AskPlayerFile();
  if (name.empty()) return nullptr;
  return NewPlayer(name, nullptr);
}

TClipPlayer* PlayResourceClip(TClipGraphic& clip) {
  for (TClipPlayer* p : ClipPlayers())
    if (p->Graphic() == &clip && p->FullFileName() == ExpandFileName(clip.FullFileName())) {
      p->Frame()->show();
      p->show();
      if (auto* sub = qobject_cast<QMdiSubWindow*>(p->parentWidget()); sub && sub->mdiArea())
        sub->mdiArea()->setActiveSubWindow(sub);
      else
        p->activateWindow();
      return p;
    }
  return NewPlayer(clip.FullFileName(), &clip);
}

std::vector<TClipPlayer*> ClipPlayers() {
  std::vector<TClipPlayer*> players;
  for (const auto& p : Shared().Players)
    if (p) players.push_back(p.data());
  return players;
}

void CloseAllClipPlayers() {
  for (TClipPlayer* p : ClipPlayers()) {
    QWidget* frame = p->Frame();
    delete frame;
  }
  Shared().NextSet = false;
}

}  // namespace movara
