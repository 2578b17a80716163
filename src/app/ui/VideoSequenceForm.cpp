#include "app/ui/VideoSequenceForm.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QTimer>
#include <QVBoxLayout>

#include "base/Format.h"
#include "project/Layers.h"
#include "project/ShortCut.h"
#include "project/ui/ShortCutForm.h"

namespace movara {
namespace {

uint16_t ShortCutOfItem(const TLayerItem& item) {
  return static_cast<uint16_t>(static_cast<uint32_t>(std::max(0, item.Fx3dID())) & 0xFFFF);
}

}  // namespace

TVideoSequenceForm::TVideoSequenceForm(TLayerBox& box, QWidget* parent) : QWidget(parent), FBox(box) {
  setObjectName("VideoSequenceForm");
  setWindowTitle(QString::fromUtf8("Sekwencje Filmu"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  lbSequence = new QListWidget(this);
  lbSequence->setObjectName("lbSequence");
  lbSequence->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lbSequence->installEventFilter(this);
  layout->addWidget(lbSequence);
  setFocusProxy(lbSequence);
  FRebuildTimer = new QTimer(this);
  FRebuildTimer->setSingleShot(true);
  FRebuildTimer->setInterval(0);
  connect(FRebuildTimer, &QTimer::timeout, this, qOverload<>(&TVideoSequenceForm::Rebuild));
  OnChooseShortCut = [this](int32_t& code, const std::vector<std::string>& used) {
    return ChooseShortCut(this, code, used);
  };
  connect(lbSequence, &QListWidget::itemClicked, this, [this] { ShowSelected(); });
  connect(lbSequence, &QListWidget::itemDoubleClicked, this, [this] { EditShortCut(); });
  FBox.OnSequenceKey = [this](int key, TShiftState shift) {
    uint16_t code = static_cast<uint16_t>(key & 0xFF);
    if (shift & ssShift) code |= scShift;
    if (shift & ssCtrl) code |= scCtrl;
    if (shift & ssAlt) code |= scAlt;
    return SequenceKey(code);
  };
  Rebuild(FBox.RowByNumber(lnSequence));
}

TVideoSequenceForm::~TVideoSequenceForm() { FBox.OnSequenceKey = nullptr; }

QSize TVideoSequenceForm::sizeHint() const {
  QSize size = QWidget::sizeHint();
  if (lbSequence->count() > 0)
    size.setWidth(std::max(size.width(), lbSequence->sizeHintForColumn(0) + 2 * lbSequence->frameWidth() + 24));
  return size;
}

TLayerItem* TVideoSequenceForm::LineItem(int line) const {
  return line >= 0 && line < static_cast<int>(FItems.size()) ? FItems[static_cast<size_t>(line)] : nullptr;
}

void TVideoSequenceForm::SetCountType(TCountType value) {
  if (!ValidEnum(value) || value == FCountType) return;
  FCountType = value;
  Rebuild();
}

void TVideoSequenceForm::SetTimeBase(int value) {
  if (value <= 0 || value == FTimeBase) return;
  FTimeBase = value;
  Rebuild();
}

std::string TVideoSequenceForm::LineText(int position, const TLayerItem& item) const {
  return Format("%d) %s - %s (%s) - %s", position, FormatFrameCode(item.FirstFrame(), FCountType, FTimeBase).c_str(),
                FormatFrameCode(item.LastFrame(), FCountType, FTimeBase).c_str(),
                FormatFrameCode(item.Duration(), FCountType, FTimeBase).c_str(),
                ShortCutToText(ShortCutOfItem(item)).c_str());
}

void TVideoSequenceForm::Rebuild() { Rebuild(FRow ? FRow : FBox.RowByNumber(lnSequence)); }

void TVideoSequenceForm::RebuildLater() { FRebuildTimer->start(); }

void TVideoSequenceForm::Current() {
  // the lines hold the blocks: a rebuild still to come goes first, the blocks of a
  // changed row may be gone
  if (FRebuildTimer->isActive()) Rebuild();
}

void TVideoSequenceForm::Rebuild(TLayerRow* row) {
  FRebuildTimer->stop();
  FRow = row;
  std::vector<TLayerItem*> items;
  QStringList lines;
  if (row) {
    for (int i = 0; i < row->ItemCount(); ++i) {
      TLayerItem* item = row->Items(i);
      items.push_back(item);
      lines << QString::fromStdString(LineText(i + 1, *item));
    }
  }
  FItems = std::move(items);
  bool same = lbSequence->count() == lines.size();
  for (int i = 0; same && i < lines.size(); ++i) same = lbSequence->item(i)->text() == lines[i];
  if (!same) {
    lbSequence->clear();
    lbSequence->addItems(lines);
  }
  // the line of the block selected on the time line, unless the list shows one already
  const QList<QListWidgetItem*> chosen = lbSequence->selectedItems();
  TLayerItem* shown = chosen.isEmpty() ? nullptr : LineItem(lbSequence->row(chosen.first()));
  if (shown && shown->Selected()) return;
  for (int i = 0; i < static_cast<int>(FItems.size()); ++i) {
    if (FItems[static_cast<size_t>(i)]->Selected()) {
      lbSequence->setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
      return;
    }
  }
}

TLayerItem* TVideoSequenceForm::BlockOfShortCut(uint16_t code) const {
  if (code == 0 || ShortCutToText(code).empty()) return nullptr;
  for (TLayerItem* item : FItems)
    if (ShortCutOfItem(*item) == code) return item;
  return nullptr;
}

bool TVideoSequenceForm::SequenceKey(uint16_t code) {
  Current();
  TLayerItem* item = BlockOfShortCut(code);
  if (!item) return false;
  FBox.ShowItem(item);
  return true;
}

void TVideoSequenceForm::ShowSelected() {
  Current();
  for (QListWidgetItem* line : lbSequence->selectedItems())
    if (TLayerItem* item = LineItem(lbSequence->row(line))) FBox.ShowItem(item);
}

bool TVideoSequenceForm::EditShortCut() {
  Current();
  int first = -1;
  for (int i = 0; i < lbSequence->count(); ++i)
    if (lbSequence->item(i)->isSelected()) {
      first = i;
      break;
    }
  TLayerItem* item = LineItem(first);
  if (!item || !FRow || !OnChooseShortCut) return false;
  int32_t code = ShortCutOfItem(*item);
  if (!OnChooseShortCut(code, FRow->UsedShortcutTexts(item))) return false;
  item->SetFx3dID(code);
  Rebuild();
  return true;
}

bool TVideoSequenceForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lbSequence && event->type() == QEvent::KeyPress) {
    Current();
    auto* k = static_cast<QKeyEvent*>(event);
    // a sequence's shortcut is taken here; every other key goes on to the list
    if (BlockOfShortCut(ShortCutOfKey(k->key(), k->modifiers()))) {
      k->accept();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TVideoSequenceForm::keyPressEvent(QKeyEvent* event) {
  Current();
  if (BlockOfShortCut(ShortCutOfKey(event->key(), event->modifiers()))) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TVideoSequenceForm::closeEvent(QCloseEvent* event) {
  // a standing window: closing hides it
  event->ignore();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
    sub->hide();
  else
    hide();
}

}  // namespace movara
