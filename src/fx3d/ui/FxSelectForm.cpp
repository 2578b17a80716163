#include "fx3d/ui/FxSelectForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/AppPaths.h"
#include "base/Trace.h"
#include "fx3d/FxList.h"
#include "fx3d/ui/FxDrawWidget.h"
#include "script/RenderThread.h"

namespace movara {
namespace {

constexpr int kFxRole = Qt::UserRole;
// The first effect shown is not in the catalogue: the thread shows its first one.
constexpr int32_t kStartFxID = 0x361;

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

TFxSelectForm::TFxSelectForm(QWidget* parent) : QDialog(parent) {
  setObjectName("FxSelectForm");
  setWindowTitle(Q("Wybór efektu przejścia"));
  resize(660, 380);

  DXDraw = new TFxDrawWidget(this);
  DXDraw->setObjectName("DXDraw");
  DXDraw->setMinimumSize(320, 240);
  tvFx = new QTreeWidget(this);
  tvFx->setObjectName("tvFx");
  tvFx->setHeaderHidden(true);
  tvFx->setRootIsDecorated(true);
  tvFx->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tvFx->setSelectionMode(QAbstractItemView::SingleSelection);
  tvFx->setMinimumWidth(280);
  cbFxReverse = new QCheckBox(Q("Odwrotne wykonywanie efektu"), this);
  cbFxReverse->setObjectName("cbFxReverse");
  bbOK = new QPushButton(Q("A&kceptuj"), this);
  bbOK->setObjectName("bbOK");
  bbOK->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  bbOK->setDefault(true);
  bbCancel = new QPushButton(Q("A&nuluj"), this);
  bbCancel->setObjectName("bbCancel");
  bbCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

  auto* panels = new QHBoxLayout;
  panels->addWidget(DXDraw, 1);
  panels->addWidget(tvFx, 0);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cbFxReverse);
  buttons->addStretch(1);
  buttons->addWidget(bbOK);
  buttons->addWidget(bbCancel);
  auto* all = new QVBoxLayout(this);
  all->addLayout(panels, 1);
  all->addLayout(buttons);

  connect(bbOK, &QPushButton::clicked, this, &TFxSelectForm::accept);
  connect(bbCancel, &QPushButton::clicked, this, &TFxSelectForm::reject);
  connect(tvFx, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (FUpdating || !item || !FThread) return;
    const int32_t id = item->data(0, kFxRole).toInt();
    if (id == 0) return;  // a category carries no effect
    if (TFx3d* fx = EnsureFxList().FindByID(id)) {
      const bool running = !FThread->Suspended();
      FThread->SetEffect(fx->GetFxID());
      if (running) FThread->Resume();
    }
  });
  connect(cbFxReverse, &QCheckBox::toggled, this, [this](bool on) {
    if (FUpdating || !FThread) return;
    FThread->SetDirection(on ? fdReverse : fdNormal);
  });
  connect(DXDraw, &TFxDrawWidget::Resized, this, [this] {
    if (FThread && FThread->HasScene()) InitDXDraw();
  });

  FTimer = new QTimer(this);
  FTimer->setSingleShot(true);
  FTimer->setInterval(11);
  connect(FTimer, &QTimer::timeout, this, &TFxSelectForm::OnTimer);

  tvFx->clear();
  LoadFxTreeView();
  // the tree as wide as its longest description
  int widest = 0;
  for (int i = 0; i < tvFx->topLevelItemCount(); ++i) {
    QTreeWidgetItem* node = tvFx->topLevelItem(i);
    widest = std::max(widest, tvFx->fontMetrics().horizontalAdvance(node->text(0)));
    for (int k = 0; k < node->childCount(); ++k)
      widest = std::max(widest, tvFx->fontMetrics().horizontalAdvance(node->child(k)->text(0)) + tvFx->indentation());
  }
  tvFx->setMinimumWidth(widest + tvFx->indentation() + tvFx->iconSize().width() + 48);
  resize(std::max(width(), DXDraw->minimumWidth() + tvFx->minimumWidth() + 40), height());

  FThread = std::make_unique<TFxThread>(kStartFxID, true);
  TDIB a, b;
  const std::string folder = DataFolder() + "AppData/Grafika/";
  if (!a.LoadFromFile(folder + "FxText01.Bmp") || !b.LoadFromFile(folder + "FxText02.Bmp"))
    TraceF("[TFxSelectForm.Create] The sample pictures of %s cannot be read.", folder.c_str());
  FThread->SetTextureA(a);
  FThread->SetTextureB(b);
  FThread->SetShowOverlay(false);
  DXDraw->Attach(FThread.get());

  // the preview keys come here first, whichever control has the focus
  installEventFilter(this);
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
}

TFxSelectForm::~TFxSelectForm() {
  if (FThread) FThread->Stop();
  DXDraw->Attach(nullptr);
  FThread.reset();
}

void TFxSelectForm::LoadFxTreeView() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    TFxList& list = EnsureFxList();
    const int categories = list.CountInCategory(FxCategoryCount - 1) == 0 ? FxCategoryCount - 1 : FxCategoryCount;
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QIcon effect = style()->standardIcon(QStyle::SP_FileIcon);
    for (int i = 0; i < categories; ++i) {
      auto* node = new QTreeWidgetItem(tvFx, QStringList(QString::fromStdString(TFxList::CategoryName(i))));
      node->setIcon(0, closed);
      node->setData(0, kFxRole, 0);
      for (int k = 0; k < list.Count(); ++k) {
        TFx3d* fx = list.Items(k);
        if (!fx || fx->GetFxID() == StillFxID || TFxList::CategoryOf(fx->GetFxID()) != i) continue;
        auto* child = new QTreeWidgetItem(node, QStringList(QString::fromStdString(list.Strings(k))));
        child->setIcon(0, effect);
        child->setData(0, kFxRole, fx->GetFxID());
      }
    }
  } catch (const std::exception&) {
    Trace("TFxPreviewForm.LoadFxTreeView Error encountered while loading efect names");
  }
  QApplication::restoreOverrideCursor();
}

int32_t TFxSelectForm::SelectedFxID() const {
  QTreeWidgetItem* item = tvFx->currentItem();
  return item && item->isSelected() ? item->data(0, kFxRole).toInt() : 0;
}

void TFxSelectForm::SelectNode(int32_t fxId) {
  const bool was = FUpdating;
  FUpdating = true;
  QTreeWidgetItem* found = nullptr;
  for (int i = 0; i < tvFx->topLevelItemCount() && !found; ++i) {
    QTreeWidgetItem* node = tvFx->topLevelItem(i);
    for (int k = 0; k < node->childCount(); ++k)
      if (node->child(k)->data(0, kFxRole).toInt() == fxId) {
        found = node->child(k);
        break;
      }
  }
  if (found) {
    tvFx->setCurrentItem(found);
    tvFx->scrollToItem(found);
  } else {
    tvFx->setCurrentItem(nullptr);
    tvFx->clearSelection();
  }
  FUpdating = was;
}

void TFxSelectForm::RefreshFromThread(bool selection) {
  if (!FThread) return;
  const bool was = FUpdating;
  FUpdating = true;
  cbFxReverse->setChecked(FThread->Direction() == fdReverse);
  if (selection && FThread->Effect()) SelectNode(FThread->Effect()->GetFxID());
  FUpdating = was;
}

bool TFxSelectForm::ChooseEffect(int32_t& effectRef, int period) {
  if (!FThread) return false;
  const int32_t id = effectRef & ~ReverseFlag;
  FRequested = EnsureFxList().FindByID(id);
  FThread->SetEffect(0x101);
  SelectNode(id);
  FThread->SetPeriod(period < 0 ? TFxThread::CycleLength : period);
  FThread->SetDirection((effectRef & ReverseFlag) ? fdReverse : fdNormal);
  FFirstShow = true;
  if (exec() != QDialog::Accepted) return false;
  if (!FThread->Effect()) return false;
  effectRef = FThread->Effect()->GetFxID() | (FThread->Direction() == fdReverse ? ReverseFlag : 0);
  return true;
}

void TFxSelectForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (FFirstShow) {
    FFirstShow = false;
    FTimer->start();
    RefreshFromThread(false);  // the node of the caller's effect stays selected
  } else {
    RefreshFromThread(true);
  }
}

void TFxSelectForm::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  FTimer->stop();
  if (FThread) FThread->Pause();
  FFirstShow = true;
}

void TFxSelectForm::InitDXDraw() {
  const bool running = !FThread->Suspended();
  try {
    FThread->SetPreviewSize(DXDraw->width(), DXDraw->height());
  } catch (const std::exception& e) {
    TraceF("[TFxSelectForm.InitDXDraw] %s", e.what());
  }
  if (running) FThread->Resume();
}

void TFxSelectForm::OnTimer() {
  Trace("[TFxSelectForm.OnTimer]");
  if (!FThread || !isVisible()) return;
  if (!FThread->HasScene()) InitDXDraw();
  if (FRequested) FThread->SetEffect(FRequested->GetFxID());
  RefreshFromThread(FRequested != nullptr);
  FThread->Resume();
}

void TFxSelectForm::accept() {
  if (FThread) FThread->Pause();
  QDialog::accept();
}

void TFxSelectForm::reject() {
  if (FThread) FThread->Pause();
  QDialog::reject();
}

bool TFxSelectForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (HandleKey(watched, key->key(), key->modifiers())) {
      RefreshFromThread(true);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool TFxSelectForm::HandleKey(QObject* target, int key, Qt::KeyboardModifiers modifiers) {
  if (!FThread) return false;
  const Qt::KeyboardModifiers mods = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
  const bool keypad = (modifiers & Qt::KeypadModifier) != 0;
  if (mods == Qt::AltModifier && (key == Qt::Key_Return || key == Qt::Key_Enter)) return true;  // no full screen
  if (mods == Qt::NoModifier) {
    switch (key) {
      case Qt::Key_Up:
      case Qt::Key_Down:
        // tree navigation, from whichever control has the focus
        if (target != tvFx) {
          QKeyEvent forwarded(QEvent::KeyPress, key, Qt::NoModifier);
          QApplication::sendEvent(tvFx, &forwarded);
          return true;
        }
        return false;
      case Qt::Key_Plus:
        if (!keypad) return false;
        if (FThread->Period() > 500) FThread->SetPeriod(FThread->Period() - 333);
        return true;
      case Qt::Key_Minus:
        if (!keypad) return false;
        FThread->SetPeriod(FThread->Period() + 333);
        return true;
      case Qt::Key_F9: FThread->SetPriorityClass(TFxThread::pcIdle); return true;
      case Qt::Key_F10: FThread->SetPriorityClass(TFxThread::pcNormal); return true;
      case Qt::Key_F11: FThread->SetPriorityClass(TFxThread::pcHigh); return true;
      default: break;
    }
  }
  // the hardware-device option of the drawing control: one software renderer here
  if (mods == (Qt::ControlModifier | Qt::AltModifier) && key == Qt::Key_F1) return true;
  return HandleFxPreviewKey(key, modifiers, FThread.get(), DXDraw, FSaveCounter);
}

}  // namespace movara
