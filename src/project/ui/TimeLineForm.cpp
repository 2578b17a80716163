#include "project/ui/TimeLineForm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPixmap>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

#include "base/Format.h"
#include "persist/ProjectDocument.h"
#include "project/Layers.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/UndoCommands.h"
#include "project/ui/LayerBoxSignals.h"
#include "project/ui/LayerBoxView.h"
#include "project/ui/ScriptWindow.h"
#include "project/ui/ShortCutForm.h"
#include "project/ui/TimeLineBitmaps.h"
#include "script/Script.h"

namespace movara {

bool ITimeLineDialogs::ChooseEffect(int32_t&, int) { return false; }
bool ITimeLineDialogs::ChooseShortcut(int32_t& code, const std::vector<std::string>& used) {
  return ChooseShortCut(QApplication::activeWindow(), code, used);
}
bool ITimeLineDialogs::ChooseKeying(TLayerItem&, int64_t, TColor&, TComposeMode&) { return false; }
bool ITimeLineDialogs::ChooseColorKey(TColor&, TComposeMode&, int32_t&, int32_t&) { return false; }

namespace {

// The colour dialog of Qt.
class TQtTimeLineDialogs : public ITimeLineDialogs {
 public:
  explicit TQtTimeLineDialogs(QWidget* parent) : FParent(parent) {}
  bool ChooseColor(TColor& color) override {
    const TColor rgb = ColorToRGB(color);
    const QColor c = QColorDialog::getColor(QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)), FParent);
    if (!c.isValid()) return false;
    color = RGBColor(c.red(), c.green(), c.blue());
    return true;
  }

 private:
  QWidget* FParent;
};

constexpr const char* kZoomCaptions[12] = {"1 Ramka",   "2 Ramki",   "4 Ramki",   "6 Ramek",  "12 Ramek", "1 Sekunda",
                                           "2 Sekundy", "4 Sekundy", "10 Sekund", "20 Sekund", "1 Minuta", "2 Minuty"};
constexpr const char* kCountCaptions[3] = {"&SMPTE", "&Klatki", "&Czas"};

constexpr int kIconColumnWidth = 26;

}  // namespace

const char* ZoomCaption(TZoom zoom) { return ValidEnum(zoom) ? kZoomCaptions[zoom] : ""; }

TTimeLineForm::TTimeLineForm(TProjectDocument& document, TDocumentSignals& documentSignals, QWidget* parent)
    : QWidget(parent),
      FDocument(document),
      FDocumentSignals(documentSignals),
      FBoxSignals(std::make_unique<TLayerBoxSignals>(document.LayerBox())),
      FScript(std::make_unique<TScript>()) {
  setObjectName("TimeLineForm");
  FQtDialogs = std::make_unique<TQtTimeLineDialogs>(this);
  FDialogs = FQtDialogs.get();
  TLayerBox& box = Box();
  box.Scale().SetColor(0xFFFFFF);

  // the rows and their icons scroll up and down together when the window is lower
  // than the time line; the time line's own scroll bar moves it through the film
  FRowsArea = new QScrollArea(this);
  FRowsArea->setObjectName("RowsArea");
  FRowsArea->setFrameShape(QFrame::NoFrame);
  FRowsArea->setWidgetResizable(true);
  FRowsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* content = new QWidget;
  FView = new TLayerBoxView(*FBoxSignals, &document.ClipBox(), content);
  FScrollBar = new QScrollBar(Qt::Horizontal, this);
  FScrollBar->setObjectName("ScrollBar");
  FIconColumn = new QWidget(content);
  FIconColumn->setFixedWidth(kIconColumnWidth);
  const char* iconNames[5] = {"ImageLayerV1", "ImageLayerV2", "ImageAudio1", "ImageAudio2", "ImageAudio3"};
  const TTimeLineBitmap iconPictures[5] = {tbVideo1, tbVideo2, tbAudio1, tbAudio2, tbAudio3};
  for (int i = 0; i < 5; ++i) {
    FIcons[i] = new QLabel(FIconColumn);
    FIcons[i]->setObjectName(iconNames[i]);
    FIcons[i]->setPixmap(QPixmap::fromImage(TimeLineBitmap(iconPictures[i])));
    FIcons[i]->setFixedSize(20, 20);
  }
  FSnap = new QToolButton(FIconColumn);
  FSnap->setObjectName("sbSnap");
  FSnap->setToolTip(QString::fromUtf8("Przyklejanie objektów"));
  FSnap->setCheckable(true);
  FSnap->setChecked(document.LayerBox().SnapItems());
  FSnap->setAutoRaise(true);
  FSnap->setIcon(QIcon(QPixmap::fromImage(TimeLineBitmap(tbSnap))));
  FSnap->setFixedSize(22, 22);
  FZoomButton = new QToolButton(FIconColumn);
  FZoomButton->setObjectName("sbZoom");
  FZoomButton->setToolTip(QString::fromUtf8("Wybór skali"));
  FZoomButton->setAutoRaise(true);
  FZoomButton->setIcon(QIcon(QPixmap::fromImage(TimeLineBitmap(tbZoom))));
  FZoomButton->setFixedSize(22, 22);

  auto* rows = new QHBoxLayout(content);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(0);
  rows->addWidget(FIconColumn);
  rows->addWidget(FView, 1);
  FRowsArea->setWidget(content);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  grid->addWidget(FRowsArea, 0, 0, 1, 2);
  grid->addItem(new QSpacerItem(kIconColumnWidth, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), 1, 0);
  grid->addWidget(FScrollBar, 1, 1);
  grid->setRowStretch(0, 1);
  grid->setColumnStretch(1, 1);

  BuildMenus();
  FUndoCommands = new TUndoCommands(document.History(), *FBoxSignals, this);
  addAction(FUndoCommands->UndoAction());
  addAction(FUndoCommands->RedoAction());
  FUndoCommands->NameStep(MenuItem("MenuAlignSynchronizeItem"), "wyrównanie obrazu i dźwięku");
  FUndoCommands->NameStep(MenuItem("MenuDeleteAll"), "usunięcie wszystkich bloczków");
  FUndoCommands->NameStep(MenuItem("MenuMakeRandomFx3d"), "losowe efekty przejść");
  FUndoCommands->NameStep(MenuItem("MenuSecondLayerKey"), "kluczowanie warstwy 1");

  connect(FSnap, &QToolButton::toggled, this, [this](bool on) { Box().SetSnapItems(on); });
  connect(FZoomButton, &QToolButton::clicked, this,
          [this] { FZoomMenu->popup(mapToGlobal(contentsRect().topLeft() + QPoint(10, 20))); });
  connect(FScrollBar, &QScrollBar::valueChanged, this, [this](int v) {
    if (!FSyncing) Box().SetFirstFrame(v);
  });
  connect(FView, &TLayerBoxView::popupMenuRequested, this, &TTimeLineForm::OpenPopupMenu);
  connect(FView, &TLayerBoxView::rowDoubleClicked, this, &TTimeLineForm::RowDoubleClicked);

  TLayerBoxSignals* s = FBoxSignals.get();
  connect(s, &TLayerBoxSignals::modified, this, [this] {
    ScheduleSync();
    emit commandsChanged();
  });
  connect(s, &TLayerBoxSignals::clipboard, this, &TTimeLineForm::commandsChanged);
  connect(s, &TLayerBoxSignals::anyModified, this, [this] { FScriptStale = true; });
  connect(s, &TLayerBoxSignals::selected, this, [this] {
    emit commandsChanged();
    emit sequencesChanged();
  });
  connect(s, &TLayerBoxSignals::sequence, this, &TTimeLineForm::sequencesChanged);
  connect(s, &TLayerBoxSignals::moveSlider, this, &TTimeLineForm::SliderMoved);
  connect(s, &TLayerBoxSignals::showSlider, this, [this] {
    FScriptStale = true;
    emit sliderShown();
  });
  connect(s, &TLayerBoxSignals::hideSlider, this, [this] {
    FScriptStale = true;
    emit sliderHidden();
  });
  connect(s, &TLayerBoxSignals::repaint, this, [this](TLayerRow* row) {
    if (!row) ScheduleSync();
  });
  connect(&FDocumentSignals, &TDocumentSignals::fileNameChanged, this, &TTimeLineForm::UpdateCaption);
  connect(&FDocumentSignals, &TDocumentSignals::opened, this, &TTimeLineForm::AfterOpen);
  connect(&FDocumentSignals, &TDocumentSignals::cleared, this, &TTimeLineForm::AfterNew);

  // the window's own settings over the box: snapping from the button, the view at the
  // start, a fresh script, nothing modified
  box.SetSnapItems(FSnap->isChecked());
  box.SetFirstFrame(0);
  box.Scale().SetCountType(FDocument.CountType());
  FScript->SetTimeBase(DefaultTimeBase);
  box.SetModified(false);

  setMinimumSize(300, 280);
  setMaximumHeight(530);
  UpdateCaption();
  Sync();
}

TTimeLineForm::~TTimeLineForm() {
  // the rows are emptied with the project when the document goes; the adapter lets go
  // of the box's events first
  delete FView;
  FView = nullptr;
}

TLayerBox& TTimeLineForm::Box() const { return FDocument.LayerBox(); }

QAction* TTimeLineForm::UndoAction() const { return FUndoCommands->UndoAction(); }
QAction* TTimeLineForm::RedoAction() const { return FUndoCommands->RedoAction(); }

QLabel* TTimeLineForm::RowIcon(int index) const { return index >= 0 && index < 5 ? FIcons[index] : nullptr; }

void TTimeLineForm::SetDialogs(ITimeLineDialogs* dialogs) { FDialogs = dialogs ? dialogs : FQtDialogs.get(); }

void TTimeLineForm::UpdateCaption() {
  setWindowTitle(QString::fromStdString(Format(ProjectWindowCaption, FDocument.FileName().c_str())));
}

// ---------------------------------------------------------------------------------
// Menus

QAction* TTimeLineForm::AddItem(QMenu* menu, const char* name, const char* caption, const QKeySequence& shortcut) {
  QAction* a = menu->addAction(QString::fromUtf8(caption));
  a->setObjectName(name);
  if (!shortcut.isEmpty()) {
    a->setShortcut(shortcut);
    // the window handles its own keys (see event()): the main window's commands with
    // the same keys stay unambiguous
    a->setShortcutContext(Qt::WidgetShortcut);
  }
  return a;
}

QAction* TTimeLineForm::MenuItem(const QString& name) const { return FPopup->findChild<QAction*>(name); }

void TTimeLineForm::BuildMenus() {
  FPopup = new QMenu(this);
  FPopup->setObjectName("PopupMenuA1");
  QAction* blue = AddItem(FPopup, "MenuInsertBlue", "Wstaw jendolity kolor &niebieski");
  QAction* magenta = AddItem(FPopup, "MenuInsertMagenta", "Wstaw jednolity kolor r&óżowy");
  QAction* user = AddItem(FPopup, "MenuInsertSelected", "Wstaw jednolity kolor użytkownika...");
  QAction* key = AddItem(FPopup, "MenuInsertKey", "Wstaw &kluczowanie");
  FPopup->addSeparator();
  QAction* desync = AddItem(FPopup, "MenuDesynchronizeItem", "&Rozłącz animację i dźwięk");
  QAction* sync = AddItem(FPopup, "MenuSynchronizeItem", "&Połącz animację i dźwięk");
  QAction* align = AddItem(FPopup, "MenuAlignSynchronizeItem", "W&yrównaj animację i dźwięk");
  QAction* frames = AddItem(FPopup, "MenuShowHideAnimationBox", "Pokaż / Ukryj k&latki animacji");
  FPopup->addSeparator();
  QAction* razor = AddItem(FPopup, "MenuRazor", "&Cięcie bloczka na dwie części", QKeySequence(Qt::CTRL | Qt::Key_C));
  QAction* script =
      AddItem(FPopup, "MenuMakeScript", "&Generuj skrypt...", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
  QAction* film = AddItem(FPopup, "MenuMakeFilm", "&Generuj film...");
  QAction* layerKey = AddItem(FPopup, "MenuSecondLayerKey", "Kluczowanie warstwy &1");
  layerKey->setCheckable(true);
  FPopup->addSeparator();
  FScaleMenu = FPopup->addMenu(QString::fromUtf8("&Skala..."));
  FScaleMenu->menuAction()->setObjectName("MenuScale");
  FCountMenu = FPopup->addMenu(QString::fromUtf8("Podzia&łka..."));
  FCountMenu->menuAction()->setObjectName("MenuCounType");
  FPopup->addSeparator();
  QAction* open = AddItem(FPopup, "MenuOpenProject", "&Otwórz projekt...", QKeySequence(Qt::CTRL | Qt::Key_O));
  QAction* save = AddItem(FPopup, "MenuSaveProject", "Zapi&sz projekt", QKeySequence(Qt::CTRL | Qt::Key_S));
  QAction* saveAs = AddItem(FPopup, "MenuSaveProjectAs", "Z&apisz projekt jako...");
  FPopup->addSeparator();
  QAction* delSel = AddItem(FPopup, "MenuDeleteSelected", "Kasuj &zaznaczone");
  QAction* delAll = AddItem(FPopup, "MenuDeleteAll", "Kasuj &wszystko");
  FPopup->addSeparator();
  QAction* random =
      AddItem(FPopup, "MenuMakeRandomFx3d", "G&eneruj losowo efekty przejścia", QKeySequence(Qt::CTRL | Qt::Key_E));
  QAction* test = AddItem(FPopup, "MenuTestAllFx3dDll", "Testowanie bibliotek z efektami");

  // the zoom steps, in the command menu and in the scale button's menu
  FZoomMenu = new QMenu(this);
  FZoomMenu->setObjectName("pmZoom");
  auto* scaleGroup = new QActionGroup(this);
  auto* zoomGroup = new QActionGroup(this);
  for (int z = 0; z < 12; ++z) {
    for (QMenu* m : {FScaleMenu, FZoomMenu}) {
      QAction* a = m->addAction(QString::fromUtf8(kZoomCaptions[z]));
      a->setCheckable(true);
      a->setData(z);
      (m == FScaleMenu ? scaleGroup : zoomGroup)->addAction(a);
      connect(a, &QAction::triggered, this, [this, z] { Box().SetZoom(static_cast<TZoom>(z)); });
    }
  }
  auto* countGroup = new QActionGroup(this);
  for (int c = 0; c < 3; ++c) {
    QAction* a = FCountMenu->addAction(QString::fromUtf8(kCountCaptions[c]));
    a->setCheckable(true);
    a->setData(c);
    countGroup->addAction(a);
    connect(a, &QAction::triggered, this, [this, c] {
      Box().Scale().SetCountType(static_cast<TCountType>(c));
      FDocument.SetCountType(static_cast<TCountType>(c));
    });
  }
  auto checkSteps = [this](QMenu* m) {
    for (QAction* a : m->actions()) a->setChecked(a->data().toInt() == Box().Zoom());
  };
  connect(FZoomMenu, &QMenu::aboutToShow, this, [this, checkSteps] { checkSteps(FZoomMenu); });
  connect(FScaleMenu, &QMenu::aboutToShow, this, [this, checkSteps] { checkSteps(FScaleMenu); });

  connect(blue, &QAction::triggered, this, [this] { InsertColor(ucBlue); });
  connect(magenta, &QAction::triggered, this, [this] { InsertColor(ucMagenta); });
  connect(user, &QAction::triggered, this, [this] { InsertUserColor(false); });
  connect(key, &QAction::triggered, this, &TTimeLineForm::ColorKeyDialog);
  connect(desync, &QAction::triggered, this, [this] {
    if (FMenuItem) FMenuItem->Desynchronize();
  });
  connect(sync, &QAction::triggered, this, [this] {
    if (FMenuItem) FMenuItem->Synchronize();
  });
  connect(align, &QAction::triggered, this, [this] {
    if (FMenuItem) FMenuItem->Align();
  });
  connect(frames, &QAction::triggered, this, [this] {
    if (FMenuItem) FMenuItem->SetShowAnimationBox(!FMenuItem->ShowAnimationBox());
  });
  connect(razor, &QAction::triggered, this, [this] { FView->StartRazor(); });
  connect(script, &QAction::triggered, this, &TTimeLineForm::ShowScriptWindow);
  connect(film, &QAction::triggered, this, [this] {
    MakeScript(true);
    emit makeFilmRequested();
  });
  connect(layerKey, &QAction::triggered, this, [this] { Box().SetFirstLayerDoKey(!Box().FirstLayerDoKey()); });
  connect(open, &QAction::triggered, this, &TTimeLineForm::OpenProject);
  connect(save, &QAction::triggered, this, &TTimeLineForm::SaveProject);
  connect(saveAs, &QAction::triggered, this, &TTimeLineForm::SaveProjectAs);
  connect(delSel, &QAction::triggered, this, [this] { Box().DeleteSelected(); });
  connect(delAll, &QAction::triggered, this, [this] { Box().ConfirmClearProject(); });
  connect(random, &QAction::triggered, this, [this] { Box().MakeRandomFx3d(); });
  connect(test, &QAction::triggered, this, [] {
    // the effects are built in: the hourglass shows for a moment
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QTimer::singleShot(300, [] { QApplication::restoreOverrideCursor(); });
  });
}

void TTimeLineForm::PreparePopupMenu(const QPoint& viewPos, Qt::KeyboardModifiers modifiers) {
  TLayerBox& box = Box();
  FMenuPoint = viewPos;
  FMenuRow = box.RowAtPoint(viewPos.y());
  FMenuItem = FMenuRow ? FMenuRow->ItemAtPoint(viewPos.x(), viewPos.y() - FMenuRow->Top()) : nullptr;
  const TLayerType rowType = FMenuRow ? FMenuRow->LayerType() : ltNone;
  const bool pictures = rowType == ltBmpAvi || rowType == ltImage;
  const bool hasBlocks = box.ProjectItemCount() > 0;
  TLayerItem* item = FMenuItem;
  TLayerItem* partner = item ? item->LinkSynchronizeItem() : nullptr;
  const bool synced = item && item->SynchronizeBothItem();

  MenuItem("MenuInsertBlue")->setEnabled(pictures);
  MenuItem("MenuInsertMagenta")->setEnabled(pictures);
  MenuItem("MenuInsertSelected")->setEnabled(pictures);
  MenuItem("MenuInsertKey")->setEnabled(rowType == ltKey);
  MenuItem("MenuRazor")->setEnabled(hasBlocks);
  MenuItem("MenuDesynchronizeItem")->setEnabled(synced);
  MenuItem("MenuSynchronizeItem")->setEnabled(item && partner && !synced);
  MenuItem("MenuAlignSynchronizeItem")
      ->setEnabled(synced && (partner->FirstFrame() != item->FirstFrame() || partner->Duration() != item->Duration()));
  MenuItem("MenuShowHideAnimationBox")
      ->setEnabled(item && (item->ClipType() == ctAnimation || item->ClipType() == ctMovie));
  const bool hidden = (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) == (Qt::ControlModifier | Qt::ShiftModifier);
  MenuItem("MenuMakeScript")->setVisible(hidden);
  MenuItem("MenuTestAllFx3dDll")->setVisible(hidden);
  MenuItem("MenuSecondLayerKey")->setChecked(box.FirstLayerDoKey());
  MenuItem("MenuSaveProject")->setEnabled(box.Modified());
  MenuItem("MenuSaveProjectAs")->setEnabled(box.Modified());
  MenuItem("MenuDeleteSelected")->setEnabled(box.SelectedLayerItemCount() > 0);
  MenuItem("MenuDeleteAll")->setEnabled(hasBlocks);
  MenuItem("MenuMakeRandomFx3d")->setEnabled(box.RowByNumber(lnFirstFx3d)->ItemCount() > 0);
  for (QAction* a : FScaleMenu->actions()) a->setChecked(a->data().toInt() == box.Zoom());
  for (QAction* a : FCountMenu->actions()) a->setChecked(a->data().toInt() == box.Scale().CountType());
}

void TTimeLineForm::OpenPopupMenu(const QPoint& viewPos, Qt::KeyboardModifiers modifiers) {
  PreparePopupMenu(viewPos, modifiers);
  FPopup->popup(FView->mapToGlobal(viewPos));
}

QMenu* TTimeLineForm::PrepareRowMenu(const QPoint& viewPos) {
  TLayerBox& box = Box();
  FMenuPoint = viewPos;
  FMenuRow = box.RowAtPoint(viewPos.y());
  if (!FMenuRow) return nullptr;
  TLayerRow* row = FMenuRow;
  const int y = viewPos.y() - row->Top();
  FMenuItem = row->ItemAtPoint(viewPos.x(), y);
  const TLayerType type = row->LayerType();
  delete FRowMenu;
  FRowMenu = nullptr;
  if (type != ltBmpAvi && type != ltImage && type != ltAudio) return nullptr;

  FRowMenu = new QMenu(this);
  FRowMenu->setObjectName("RowMenu");
  if (type == ltBmpAvi || type == ltImage) {
    const TLayerRow::TColorMenuState s = row->ColorMenuState(viewPos.x(), y);
    QAction* blue = FRowMenu->addAction(QString::fromUtf8("Wstaw jednolity kolor &niebieski"));
    blue->setObjectName("RowInsertBlue");
    blue->setCheckable(true);
    blue->setChecked(s.BlueChecked);
    blue->setEnabled(s.BlueEnabled);
    QAction* magenta = FRowMenu->addAction(QString::fromUtf8("Wstaw jednolity kolor r&óżowy"));
    magenta->setObjectName("RowInsertMagenta");
    magenta->setCheckable(true);
    magenta->setChecked(s.MagentaChecked);
    magenta->setEnabled(s.MagentaEnabled);
    QAction* user = FRowMenu->addAction(QString::fromUtf8("Wstaw jednolity kolor uż&ytkownika..."));
    user->setObjectName("RowInsertSelected");
    user->setEnabled(!s.Item || s.Item->UniformColor() != ucNone);
    QAction* del = FRowMenu->addAction(QString::fromUtf8("Kasuj jednolity kolor"));
    del->setObjectName("RowDeleteColor");
    del->setVisible(s.DeleteVisible);
    const int x = viewPos.x();
    connect(blue, &QAction::triggered, this,
            [this, x, y] { FMenuRow->ApplyUniformColor(x, y, ucBlue, UniformColorBlue); });
    connect(magenta, &QAction::triggered, this,
            [this, x, y] { FMenuRow->ApplyUniformColor(x, y, ucMagenta, UniformColorMagenta); });
    connect(user, &QAction::triggered, this, [this] { InsertUserColor(true); });
    connect(del, &QAction::triggered, this, [this, x, y] {
      if (TLayerItem* i = FMenuRow->ItemAtPoint(x, y); i && i->UniformColor() != ucNone) FMenuRow->DeleteItem(i);
    });
  }
  if (type == ltImage || type == ltAudio) {
    QAction* graph = FRowMenu->addAction(QString::fromUtf8("Wykres"));
    graph->setObjectName("RowLevelBox");
    graph->setCheckable(true);
    graph->setChecked(row->LevelBoxVisible());
    graph->setEnabled(row->ItemCount() > 0 || row->LevelBoxVisible());
    connect(graph, &QAction::triggered, this, [this] { FMenuRow->SetLevelBoxVisible(!FMenuRow->LevelBoxVisible()); });
  }
  if (type == ltImage && FMenuItem) {
    FRowMenu->addSeparator();
    QAction* keying = FRowMenu->addAction(QString::fromUtf8("Kluczowanie..."));
    keying->setObjectName("RowKeying");
    const int frame = row->FrameAtX(viewPos.x());
    connect(keying, &QAction::triggered, this, [this, frame] {
      TLayerItem* item = FMenuItem;
      if (!item) return;
      TColor key = item->ColorKey();
      if (key == clBtnFace) key = UniformColorBlue;
      TComposeMode mode = item->ComposeMode() == cmNone ? cmKeyOnThisLayer : item->ComposeMode();
      const int64_t ms = FramesToMilliseconds(std::max(0, frame - item->FirstFrame()), DefaultTimeBase);
      if (!FDialogs->ChooseKeying(*item, ms, key, mode)) return;
      item->SetComposeMode(mode);
      item->SetColorKey(key);
    });
  }
  return FRowMenu;
}

void TTimeLineForm::RowDoubleClicked(const QPoint& pos) {
  TLayerBox& box = Box();
  TLayerRow* row = box.RowAtPoint(pos.y());
  if (!row) return;
  const int y = pos.y() - row->Top();
  TLayerItem* item = row->ItemAtPoint(pos.x(), y);
  switch (row->LayerType()) {
    case ltFx3d: {
      if (!item) return;
      int32_t fx = item->Fx3dID() == -1 ? box.DefaultFx3dID() : item->Fx3dID();
      const int ms = static_cast<int>(FramesToMilliseconds(item->Duration(), DefaultTimeBase));
      if (FDialogs->ChooseEffect(fx, ms)) box.ChooseEffect(item, fx);
      return;
    }
    case ltSequence: {
      int32_t code = item ? item->Fx3dID() : 0;
      if (FDialogs->ChooseShortcut(code, row->UsedShortcutTexts(item))) row->SetSequenceShortcut(pos.x(), y, code);
      return;
    }
    case ltKey:
      FMenuPoint = pos;
      FMenuRow = row;
      FMenuItem = item;
      ColorKeyDialog();
      return;
    default:
      break;
  }
  if (QMenu* menu = PrepareRowMenu(pos)) menu->popup(FView->mapToGlobal(pos));
}

void TTimeLineForm::InsertColor(TUniformColor kind) {
  if (!FMenuRow) return;
  FMenuRow->InsertUniformColor(FMenuPoint.x(), kind, kind == ucBlue ? UniformColorBlue : UniformColorMagenta);
}

void TTimeLineForm::InsertUserColor(bool doubleClickMenu) {
  TLayerRow* row = FMenuRow;
  if (!row) return;
  const int x = FMenuPoint.x(), y = FMenuPoint.y() - row->Top();
  TLayerItem* item = row->ItemAtPoint(x, y);
  TColor colour = item && item->UniformColor() != ucNone ? UniformColorToColor(item->UniformColor(), item->UniformColorValue())
                                                         : UniformColorBlue;
  if (!FDialogs->ChooseColor(colour)) return;
  item = row->ItemAtPoint(x, y);
  if (item && item->UniformColor() != ucNone)
    row->RecolorItem(item, ucSelected, colour);
  else if (!item || !doubleClickMenu)
    row->InsertUniformColor(x, ucSelected, colour);
}

void TTimeLineForm::ColorKeyDialog() {
  TLayerRow* row = FMenuRow;
  if (!row || row->LayerType() != ltKey) return;
  const int x = FMenuPoint.x(), y = FMenuPoint.y() - row->Top();
  TLayerItem* item = row->ItemAtPoint(x, y);
  TColor key = item ? item->ColorKey() : UniformColorMagenta;
  TComposeMode mode = item ? item->StoredComposeMode() : cmKeyOnOtherLayer;
  int32_t hi = item ? item->YUVHi() : 0, lo = item ? item->YUVLo() : 0;
  if (FDialogs->ChooseColorKey(key, mode, hi, lo)) row->SetKeyItem(x, y, key, mode, hi, lo);
}

// ---------------------------------------------------------------------------------
// Keys of the command menu: taken before the main window's commands see them

QAction* TTimeLineForm::ShortcutItem(const QKeySequence& key) const {
  for (QAction* a : FPopup->actions())
    if (!a->shortcut().isEmpty() && a->shortcut() == key) return a;
  return nullptr;
}

bool TTimeLineForm::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* k = static_cast<QKeyEvent*>(event);
    if (ShortcutItem(QKeySequence(k->keyCombination()))) {
      event->accept();
      return true;
    }
  }
  return QWidget::event(event);
}

void TTimeLineForm::keyPressEvent(QKeyEvent* event) {
  if (QAction* a = ShortcutItem(QKeySequence(event->keyCombination()))) {
    if (a == MenuItem("MenuMakeScript")) {
      // the item is hidden unless Ctrl and Shift open the menu; its key works always
      ShowScriptWindow();
    } else {
      // the items' enabling as the menu would show it at the pointer
      PreparePopupMenu(FView->mapFromGlobal(QCursor::pos()), event->modifiers());
      if (a->isEnabled()) a->trigger();
    }
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------
// The script

TScript& TTimeLineForm::MakeScript(bool force) {
  if (force || FScriptStale) {
    FScript->MakeScript(&Box());
    FScriptStale = false;
  }
  return *FScript;
}

void TTimeLineForm::ShowScriptWindow() {
  MakeScript(true);
  TScriptWindow window(*FScript, this);
  window.exec();
}

void TTimeLineForm::SliderMoved() {
  const bool reload = FScriptStale;
  MakeScript(false);
  const int64_t ms = FramesToMilliseconds(Box().Scale().SliderFrame(), DefaultTimeBase);
  const int mode = (Box().Scale().LastShift() & ssCtrl) ? 2 : 0;
  if (OnPreview) OnPreview(FScript->Text(), reload, ms, mode);
}

// ---------------------------------------------------------------------------------
// Opening, saving, a new project, closing

bool TTimeLineForm::OpenProject() { return FDocument.Open(std::string()); }

bool TTimeLineForm::SaveProject() {
  FDocument.SetCountType(Box().Scale().CountType());
  return FDocument.Save();
}

bool TTimeLineForm::SaveProjectAs() {
  FDocument.SetCountType(Box().Scale().CountType());
  return FDocument.SaveAs();
}

bool TTimeLineForm::NewProject() { return FDocument.New(); }

void TTimeLineForm::AfterOpen() {
  TLayerBox& box = Box();
  box.Scale().SetCountType(FDocument.CountType());
  {
    const QSignalBlocker block(FSnap);
    FSnap->setChecked(box.SnapItems());
  }
  FScriptStale = true;
  FView->PaintCache().Clear();
  UpdateCaption();
  Sync();
  FView->update();
}

void TTimeLineForm::AfterNew() {
  TLayerBox& box = Box();
  box.SetFirstFrame(0);
  box.SetModified(false);
  FScriptStale = true;
  FView->PaintCache().Clear();
  UpdateCaption();
  Sync();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->show();
  show();
  FView->setFocus(Qt::OtherFocusReason);
  emit newProjectShown();
}

void TTimeLineForm::closeEvent(QCloseEvent* event) {
  // the window is hidden, never freed: the project stays open
  event->ignore();
  if (!FDocument.QueryUnsaved()) return;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
    sub->hide();
  else
    hide();
}

// ---------------------------------------------------------------------------------
// Scroll bar and icons

void TTimeLineForm::ScheduleSync() {
  if (FSyncPending) return;
  FSyncPending = true;
  QTimer::singleShot(0, this, [this] { Sync(); });
}

void TTimeLineForm::Sync() {
  FSyncPending = false;
  TLayerBox& box = Box();
  box.UpdateScrollBar();
  const TTimeLineScrollBar& sb = box.ScrollBar();
  FSyncing = true;
  FScrollBar->setRange(sb.Min, std::max(sb.Min, sb.Max));
  FScrollBar->setPageStep(sb.LargeChange);
  FScrollBar->setSingleStep(sb.SmallChange);
  FScrollBar->setValue(sb.Position);
  FSyncing = false;
  FScrollBar->setVisible(sb.Visible);
  LayoutIcons();
}

void TTimeLineForm::LayoutIcons() {
  TLayerBox& box = Box();
  const TLayerNumber rows[5] = {lnFirstClipTop, lnFirstClipBottom, lnAudioFirst, lnAudioSecond, lnAudioThird};
  const int top = FView->y() - FIconColumn->y();
  for (int i = 0; i < 5; ++i) {
    TLayerRow* r = box.RowByNumber(rows[i]);
    FIcons[i]->setVisible(r->Visible());
    const int h = std::min(r->BaseHeight(), 20);
    FIcons[i]->setFixedSize(20, h);
    FIcons[i]->setScaledContents(h < 20);
    FIcons[i]->move(3, top + r->Top() + (r->BaseHeight() - h) / 2);
  }
  // the two buttons beside the range row, the sequence row and the scale
  FSnap->move(2, top + 2);
  FZoomButton->move(2, top + std::max(24, box.ScaleTop() + box.ScaleHeight() - 22));
}

QSize TTimeLineForm::sizeHint() const {
  // the whole time line, as high as the window may be
  const int h = Box().TotalHeight() + FScrollBar->sizeHint().height();
  return QSize(kIconColumnWidth + FView->sizeHint().width(), std::clamp(h, minimumHeight(), maximumHeight()));
}

void TTimeLineForm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutIcons();
}

}  // namespace movara
