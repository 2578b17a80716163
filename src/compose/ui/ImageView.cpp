#include "compose/ui/ImageView.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/AppPaths.h"
#include "base/FileKind.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "base/UserMessages.h"
#include "compose/ui/MarkInOutSlider.h"
#include "fx3d/DDUtils.h"
#include "media/Avi.h"
#include "media/ResourceLists.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/ui/ClipPaint.h"
#include "project/ui/ResourcesForm.h"

namespace movara {
namespace {

// What all views share.
struct TViewsState {
  bool NextSet = false;
  QPoint Next;
  int Created = 0;
  TMsgAnswer Answer = TMsgAnswer::Cancel;
  bool ApplyToAll = false;
  std::vector<QPointer<TImageView>> Views;
};

TViewsState& Shared() {
  static TViewsState state;
  return state;
}

class TQtImageViewDialogs : public IImageViewDialogs {
 public:
  std::string AskOpenFile() override {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromUtf8("Wybór plików graficznych i animowanych"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(ResourceFileFilters());
    dialog.setDefaultSuffix("BMP");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
    return dialog.selectedFiles().first().toStdString();
  }
  std::string AskSaveFile(const std::string& folder) override {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromUtf8("Zapisz jako"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QString::fromUtf8("Pliki graficzne - BMP, JPG, GIF (*.BMP *.bmp *.JPG *.jpg *.GIF *.gif)"),
                           QString::fromUtf8("Pliki map bitowych (*.BMP *.bmp)"),
                           QString::fromUtf8("Pliki graficzne JPEG (*.JPG *.jpg)"),
                           QString::fromUtf8("Pliki graficzne GIF (*.GIF *.gif)"),
                           QString::fromUtf8("Wszystkie pliki (*)")});
    dialog.setDefaultSuffix("Bmp");
    if (!folder.empty()) dialog.setDirectory(QString::fromStdString(folder));
    // the dialog asks before it overwrites a file
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
    return dialog.selectedFiles().first().toStdString();
  }
};

IImageViewDialogs* gDialogs = nullptr;

IImageViewDialogs& Dialogs() {
  static TQtImageViewDialogs qtDialogs;
  return gDialogs ? *gDialogs : qtDialogs;
}

// The picture of a clipboard image, 24 bits; empty when there is none.
TDIB DibOfImage(const QImage& source) {
  TDIB dib;
  if (source.isNull() || source.width() <= 0 || source.height() <= 0) return dib;
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  dib.SetSize(image.width(), image.height(), 24);
  for (int y = 0; y < image.height(); ++y) {
    const uchar* in = image.constScanLine(y);
    uint8_t* out = dib.ScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      out[3 * x] = in[3 * x + 2];
      out[3 * x + 1] = in[3 * x + 1];
      out[3 * x + 2] = in[3 * x];
    }
  }
  return dib;
}

// A view as an MDI child: a single border, the title and the system menu only.
void AddViewWindow(QMdiArea* area, TImageView* view) {
  QMdiSubWindow* sub = area->addSubWindow(view, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                    Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->adjustSize();
}

}  // namespace

void SetImageViewDialogs(IImageViewDialogs* dialogs) { gDialogs = dialogs; }

TImageView::TImageView(QWidget* parent) : QWidget(parent) {
  setWindowTitle(QString::fromUtf8("Podgląd zasobu"));
  setAttribute(Qt::WA_DeleteOnClose);
  FPicture.SetSize(256, 256, 24);
  FSlider = new TMarkInOutSlider(this);
  FSlider->hide();
  connect(FSlider, &TMarkInOutSlider::positionChanged, this, &TImageView::SliderMoved);
  auto& shared = Shared();
  ++shared.Created;
  shared.Answer = TMsgAnswer::Cancel;
  shared.ApplyToAll = false;
  shared.Views.push_back(this);
  BuildMenu();
  Relayout();
}

TImageView::~TImageView() {
  auto& views = Shared().Views;
  views.erase(std::remove_if(views.begin(), views.end(), [this](const QPointer<TImageView>& v) { return !v || v == this; }),
              views.end());
}

void TImageView::BuildMenu() {
  FMenu = new QMenu(this);
  FMenu->addAction(QString::fromUtf8("&Kopiuj do schowka"), this, &TImageView::CopyToClipboard);
  FPaste = FMenu->addAction(QString::fromUtf8("&Wklej ze schowka"), this, [this] { PasteFromClipboard(); });
  FMenu->addAction(QString::fromUtf8("Utwórz &duplikat"), this, [this] { Duplicate(); });
  FMenu->addAction(QString::fromUtf8("Z&apisz jako..."), this, [this] { SaveAs(); });
  FMenu->addSeparator();
  const struct {
    const char* text;
    double zoom;
  } zooms[] = {{"Rozmiar 2:1", 2.0}, {"Rozmiar 1:&1", 1.0}, {"Rozmiar 1:&2", 0.5}, {"Rozmiar 1:&4", 0.25}};
  for (int i = 0; i < 4; ++i) {
    const double z = zooms[i].zoom;
    FZooms[i] = FMenu->addAction(QString::fromUtf8(zooms[i].text), this, [this, z] { SetZoom(z); });
    FZooms[i]->setCheckable(true);
  }
  FMenu->addSeparator();
  const struct {
    const char* text;
    int mode;
  } fields[] = {{"Oba półobrazy", 0}, {"&Nieparzysty półobraz", 2}, {"&Parzysty półobraz", 1}};
  for (int i = 0; i < 3; ++i) {
    const int m = fields[i].mode;
    FFields[i] = FMenu->addAction(QString::fromUtf8(fields[i].text), this, [this, m] { SetFieldMode(m); });
    FFields[i]->setCheckable(true);
  }
}

QMenu* TImageView::PopupMenu() {
  const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
  FPaste->setEnabled(clip != nullptr && clip->hasImage());
  const double zooms[] = {2.0, 1.0, 0.5, 0.25};
  for (int i = 0; i < 4; ++i) FZooms[i]->setChecked(FZoom == zooms[i]);
  const int modes[] = {0, 2, 1};
  for (int i = 0; i < 3; ++i) FFields[i]->setChecked(FFieldMode == modes[i]);
  return FMenu;
}

bool TImageView::LoadFile(const std::string& fileName) {
  const std::string full = ExpandFileName(fileName);
  switch (FileKindOfName(full)) {
    case fkBmp:
    case fkJpg:
    case fkGif:
    case fkPte: {
      TDIB* dib = DIBFYList()->GetItem(full, false);
      if (dib == nullptr || dib->Empty()) return false;
      TDIB picture(dib->Width(), dib->Height(), 24);
      picture.StretchFrom(*dib, Rect(0, 0, dib->Width(), dib->Height()), Rect(0, 0, dib->Width(), dib->Height()));
      FPicture = std::move(picture);
      FVideo.reset();
      FSlider->hide();
      break;
    }
    case fkAvi: {
      // a reader of our own: the list's reader serves the film's render thread
      auto avi = std::make_unique<TAVI>();
      if (!avi->Open(full)) return false;
      avi->SetPosition(0);
      if (avi->DIB()->Empty()) return false;
      FVideo = std::move(avi);
      FSettingSlider = true;
      FSlider->SetRange(FVideo->StartFrame(), FVideo->StopFrame());
      FSlider->SetPosition(FSlider->MinPos());
      FSlider->show();
      FSettingSlider = false;
      FPicture = FVideo->DIB()->ConvertTo(24);
      break;
    }
    default:
      return false;
  }
  FFileDir = ExtractFilePath(full);
  FFileName = ExtractFileName(full);
  Relayout();
  return true;
}

void TImageView::SetPicture(const TDIB& picture) {
  if (picture.Empty()) return;
  FPicture = picture.BitCount() == 24 ? picture : picture.ConvertTo(24);
  FFileDir.clear();
  FFileName.clear();
  FVideo.reset();
  FSlider->hide();
  Relayout();
}

void TImageView::SliderMoved(int position) {
  if (FVideo == nullptr || FSettingSlider) return;
  FVideo->SetPosition(position);
  if (!FVideo->DIB()->Empty()) FPicture = FVideo->DIB()->ConvertTo(24);
  Relayout();
}

void TImageView::SetZoom(double zoom) {
  if (zoom <= 0 || zoom == FZoom) return;
  FZoom = zoom;
  Relayout();
}

void TImageView::SetFieldMode(int mode) {
  if (mode < 0 || mode > 2 || mode == FFieldMode) return;
  FFieldMode = mode;
  Relayout();
}

void TImageView::Relayout() {
  if (FPicture.Empty()) return;
  const int w = std::max(1, static_cast<int>(RoundHalfEven(FPicture.Width() * FZoom)));
  const int h = std::max(1, static_cast<int>(RoundHalfEven(FPicture.Height() * FZoom)));
  TDIB scratch = FPicture.Stretched(w, h, 24);
  if (FFieldMode == 0 || h < 2) {
    FShown = std::move(scratch);
  } else {
    // rows counted from the bottom: the even field takes 0, 2, 4 ..., the odd 1, 3, 5 ...
    const int rows = h / 2;
    FShown.SetSize(w, rows, 24);
    const int first = FFieldMode == 1 ? 0 : 1;
    const size_t bytes = static_cast<size_t>(w) * 3;
    for (int r = 0; r < rows; ++r)
      std::copy_n(scratch.ScanLine(h - 1 - (first + 2 * r)), bytes, FShown.ScanLine(rows - 1 - r));
  }
  update();
  const int sliderHeight = FVideo ? FSlider->sizeHint().height() : 0;
  setFixedSize(FShown.Width(), FShown.Height() + sliderHeight);
  FSlider->setGeometry(0, FShown.Height(), FShown.Width(), sliderHeight);
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->adjustSize();
  const std::string name = FFileName.empty() ? std::string() : FFileName;
  setWindowTitle(QString::fromStdString(Format("%s [%d x %d]", name.c_str(), FShown.Width(), FShown.Height())));
}

void TImageView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!FShown.Empty()) p.drawImage(0, 0, DibToImage(FShown));
}

QWidget* TImageView::Frame() {
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) return sub;
  return this;
}

void TImageView::PlaceAndShow(QMdiArea* area) {
  QWidget* frame = Frame();
  QRect bounds;
  if (area != nullptr)
    bounds = area->viewport()->rect();
  else if (QScreen* screen = QGuiApplication::primaryScreen())
    bounds = screen->availableGeometry();
  else
    bounds = QRect(0, 0, 1024, 768);
  auto& shared = Shared();
  if (!shared.NextSet) {
    shared.Next = bounds.topLeft();
    shared.NextSet = true;
  }
  if (area == nullptr) frame->adjustSize();
  const QSize size = frame->size();
  frame->move(shared.Next);
  shared.Next.rx() += size.width();
  if (bounds.width() < shared.Next.x() + size.width()) {
    shared.Next.setX(bounds.left());
    shared.Next.ry() += size.height();
  }
  if (bounds.height() < shared.Next.y() + size.height()) shared.Next = bounds.topLeft();
  frame->show();
  show();
}

void TImageView::CopyToClipboard() {
  if (FShown.Empty()) return;
  QGuiApplication::clipboard()->setImage(DibToImage(FShown));
}

bool TImageView::PasteFromClipboard() {
  const QImage image = QGuiApplication::clipboard()->image();
  TDIB dib = DibOfImage(image);
  if (dib.Empty()) return false;
  SetPicture(dib);
  return true;
}

TImageView* TImageView::Duplicate() {
  QMdiArea* area = nullptr;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) area = sub->mdiArea();
  auto* view = new TImageView();
  view->SetPicture(FShown);
  if (area != nullptr) AddViewWindow(area, view);
  view->PlaceAndShow(area);
  return view;
}

bool TImageView::SaveAs() {
  std::string name = Dialogs().AskSaveFile(FFileDir);
  if (name.empty()) return false;
  if (!SavePictureFile(FPicture, name, false)) return false;
  // the view now shows the written file
  LoadFile(name);
  return true;
}

bool TImageView::CanClose() {
  if (!FFileName.empty()) return true;
  auto& shared = Shared();
  if (!shared.ApplyToAll) {
    TMsgRequest ask;
    ask.Text = Format("Obrazek %s nie jest zapisany.\r\nCzy chcesz go zapisać na dysk ?", FullFileName().c_str());
    ask.Caption = "Potwierdzenie zapisu";
    ask.Kind = TMsgKind::Question;
    ask.Buttons = TMsgButtons::YesNoCancel;
    ask.SafeAnswer = TMsgAnswer::Cancel;
    // the box is there only while all views are being closed
    if (FAllowApplyToAll) ask.CheckBoxText = "Zastosuj do &wszystkich";
    const TMsgReply reply = UserMessage(ask);
    shared.Answer = reply.Answer;
    shared.ApplyToAll = FAllowApplyToAll && reply.Checked;
  }
  switch (shared.Answer) {
    case TMsgAnswer::Yes:
      return SaveAs();
    case TMsgAnswer::No:
      return true;
    default:
      return false;
  }
}

void TImageView::closeEvent(QCloseEvent* event) {
  if (!CanClose()) {
    event->ignore();
    return;
  }
  event->accept();
  // gone from the views at once (the window itself is freed a little later)
  auto& views = Shared().Views;
  views.erase(std::remove(views.begin(), views.end(), QPointer<TImageView>(this)), views.end());
}

void TImageView::contextMenuEvent(QContextMenuEvent* event) { PopupMenu()->exec(event->globalPos()); }

void TImageView::mousePressEvent(QMouseEvent* event) {
  FPressed = event->button() == Qt::LeftButton && !FFileName.empty() &&
             QRect(0, 0, FShown.Width(), FShown.Height()).contains(event->position().toPoint());
  FPressPoint = event->position().toPoint();
}

void TImageView::mouseMoveEvent(QMouseEvent* event) {
  if (!FPressed || FDragging || !(event->buttons() & Qt::LeftButton)) return;
  if ((event->position().toPoint() - FPressPoint).manhattanLength() < QApplication::startDragDistance()) return;
  // the resource list takes a dropped text that names a file
  FDragging = true;
  auto* data = new QMimeData;
  data->setText(QString::fromStdString(FullFileName()));
  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  drag->exec(Qt::CopyAction, Qt::CopyAction);
  FDragging = false;
  FPressed = false;
}

void TImageView::mouseReleaseEvent(QMouseEvent*) { FPressed = false; }

bool OpenResourceView(const std::string& fileName, QMdiArea* area) {
  std::string name = fileName;
  if (name.empty()) {
    name = Dialogs().AskOpenFile();
    if (name.empty()) return false;
  }
  auto* view = new TImageView();
  if (!view->LoadFile(name)) {
    delete view;
    return false;
  }
  // the starting zoom by the picture's width
  const int width = view->Picture().Width();
  view->SetZoom(width > 640 ? 0.5 : width < 50 ? 2.0 : 1.0);
  if (area != nullptr) AddViewWindow(area, view);
  view->PlaceAndShow(area);
  return true;
}

std::vector<TImageView*> ResourceViews() {
  std::vector<TImageView*> views;
  for (const auto& v : Shared().Views)
    if (v) views.push_back(v.data());
  return views;
}

bool CloseAllResourceViews() {
  for (TImageView* view : ResourceViews()) {
    QPointer<TImageView> guard(view);
    view->SetAllowApplyToAll(true);
    const bool closed = view->Frame()->close();
    if (!closed) {
      if (guard) view->SetAllowApplyToAll(false);
      Shared().ApplyToAll = false;
      return false;
    }
  }
  return true;
}

int OpenSelectedResources(TClipBox& box, QMdiArea* area) {
  int opened = 0;
  for (int i = 0; i < box.Count(); ++i)
    if (box.Clips(i)->Selected() && OpenResourceView(box.Clips(i)->FullFileName(), area)) ++opened;
  return opened;
}

bool OpenMediaDialog(QMdiArea* area) { return OpenResourceView(std::string(), area); }

void ResetResourceViewState() {
  auto& shared = Shared();
  shared.NextSet = false;
  shared.Answer = TMsgAnswer::Cancel;
  shared.ApplyToAll = false;
}

}  // namespace movara
