#include "app/ui/MovaraForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>

#include "app/ui/ProjectDialogs.h"
#include "base/Format.h"
#include "persist/ProjectDocument.h"

namespace movara {

// The status bar's progress while a project is read.
class TMovaraForm::TStatusProgress : public TProjectProgress {
 public:
  explicit TStatusProgress(QStatusBar* bar) : FBar(new QProgressBar(bar)) {
    FBar->setMaximumWidth(200);
    FBar->setTextVisible(false);
    bar->addPermanentWidget(FBar);
    FBar->hide();
  }
  void Start(int max) override {
    FBar->setRange(0, std::max(max, 1));
    FBar->setValue(0);
    FBar->show();
  }
  void Step() override {
    FBar->setValue(FBar->value() + 1);
    // the bar moves while the reading goes on, one repaint a few percent
    if (FBar->maximum() < 50 || FBar->value() % std::max(1, FBar->maximum() / 50) == 0) FBar->repaint();
  }
  void End() override { FBar->hide(); }

 private:
  QProgressBar* FBar;
};

namespace {

template <typename E>
bool SetEnum(int ordinal, E last, E& out) {
  if (ordinal < 0 || ordinal > static_cast<int>(last)) return false;
  out = static_cast<E>(ordinal);
  return true;
}

int StateOf(Qt::WindowStates s) {
  if (s & Qt::WindowMinimized) return 1;
  if (s & Qt::WindowMaximized) return 2;
  return 0;
}

}  // namespace

TMovaraForm::TMovaraForm(TProjectDocument& document, QWidget* parent)
    : QMainWindow(parent), FDocument(document) {
  setWindowTitle("Movara");
  setObjectName("MovaraForm");
  FMdiArea = new QMdiArea(this);
  FMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(FMdiArea);
  FProgress = new TStatusProgress(statusBar());
  FDialogs = new TQtProjectDialogs(this);
  FDocument.SetProgress(FProgress);
  FDocument.SetDialogs(FDialogs);
  BuildMenus();
  resize(800, 600);
}

TMovaraForm::~TMovaraForm() {
  FDocument.SetProgress(nullptr);
  FDocument.SetDialogs(nullptr);
  delete FProgress;
  delete FDialogs;
}

void TMovaraForm::BuildMenus() {
  FFileMenu = menuBar()->addMenu(QString::fromUtf8("&Plik"));
  QAction* newItem = FFileMenu->addAction(QString::fromUtf8("&Nowy"));
  connect(newItem, &QAction::triggered, this, [this] { FDocument.New(); });
  QAction* open = FFileMenu->addAction(QString::fromUtf8("&Otwórz..."));
  open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(open, &QAction::triggered, this, [this] { FDocument.Open(std::string()); });
  QAction* save = FFileMenu->addAction(QString::fromUtf8("&Zapisz Projekt"));
  save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  connect(save, &QAction::triggered, this, [this] { FDocument.Save(); });
  QAction* saveAs = FFileMenu->addAction(QString::fromUtf8("Z&apisz Projekt jako..."));
  connect(saveAs, &QAction::triggered, this, [this] { FDocument.SaveAs(); });
  FRecentSeparator = FFileMenu->addSeparator();
  for (size_t i = 0; i < FRecentItems.size(); ++i) {
    QAction* item = FFileMenu->addAction(QString());
    connect(item, &QAction::triggered, this, [this, item] { FDocument.OpenRecentCaption(item->text().toStdString()); });
    FRecentItems[i] = item;
  }
  FExitSeparator = FFileMenu->addSeparator();
  QAction* exit = FFileMenu->addAction(QString::fromUtf8("&Wyjście"));
  exit->setShortcut(QKeySequence::Quit);
  exit->setShortcutContext(Qt::ApplicationShortcut);
  connect(exit, &QAction::triggered, this, &QWidget::close);
  connect(FFileMenu, &QMenu::aboutToShow, this, &TMovaraForm::UpdateRecentItems);
  UpdateRecentItems();
}

void TMovaraForm::UpdateRecentItems() {
  const auto& files = FDocument.RecentFiles();
  for (size_t i = 0; i < FRecentItems.size(); ++i) {
    const std::string& name = files[i];
    FRecentItems[i]->setText(name.empty() ? QString()
                                          : QString::fromStdString(Format("&%d %s", static_cast<int>(i) + 1,
                                                                          name.c_str())));
    FRecentItems[i]->setVisible(!name.empty());
  }
  FRecentSeparator->setVisible(!files[0].empty());
}

void TMovaraForm::AddFileCommand(QAction* action) { FFileMenu->insertAction(FRecentSeparator, action); }

void TMovaraForm::ReadSettings(const std::string& iniFile) {
  FSettingsFile = iniFile;
  ReadConfig(iniFile, FSettings);
  FDocument.SetRecentFiles(FSettings.RecentFiles);
  TLayerBox& box = FDocument.LayerBox();
  TIconSize icon;
  if (SetEnum(FSettings.TimeLineSettings.IconSize, isLarge, icon)) box.SetIconSize(icon);
  TZoom zoom;
  if (SetEnum(FSettings.TimeLineSettings.Zoom, zmTwoMinutes, zoom)) box.SetZoom(zoom);
  box.SetSnapItems(FSettings.TimeLineSettings.SnapItems);
  if (SetEnum(FSettings.ResourceList.IconSize, isLarge, icon)) FDocument.ClipBox().SetClipIconSize(icon);
  FDocument.ClipBox().SetInitialDir(FSettings.ResourceList.InitialDirectory);
  UpdateRecentItems();
}

TWindowLayout& TMovaraForm::LayoutOf(TStandingWindow which) {
  switch (which) {
    case swProject: return FSettings.TimeLine;
    case swResources: return FSettings.Resources;
    case swSequences: break;
  }
  return FSettings.Sequences;
}

QMdiSubWindow* TMovaraForm::AddStandingWindow(QWidget* window, TStandingWindow which) {
  QMdiSubWindow* sub = FMdiArea->addSubWindow(window);
  // a standing window is hidden, not freed, when the user closes it
  sub->setAttribute(Qt::WA_DeleteOnClose, false);
  sub->setWindowTitle(window->windowTitle());
  connect(window, &QWidget::windowTitleChanged, sub, &QWidget::setWindowTitle);
  FStanding[static_cast<size_t>(which)] = sub;
  return sub;
}

QMdiSubWindow* TMovaraForm::StandingWindow(TStandingWindow which) const {
  return FStanding[static_cast<size_t>(which)];
}

QMdiSubWindow* TMovaraForm::AddMdiChild(QWidget* window) {
  QMdiSubWindow* sub = FMdiArea->addSubWindow(window);
  sub->setAttribute(Qt::WA_DeleteOnClose, true);
  sub->show();
  return sub;
}

void TMovaraForm::RestoreLayout() {
  const TWindowLayout& main = FSettings.MainApp;
  const QRect screen = this->screen() ? this->screen()->geometry() : QRect(0, 0, 1024, 768);
  if (main.WindowState == 0) {
    QRect g = geometry();
    if (main.Left + 50 < screen.width()) g.moveLeft(main.Left);
    if (main.Top + 50 < screen.height()) g.moveTop(main.Top);
    g.setSize(QSize(std::max(main.Width, 100), std::max(main.Height, 100)));
    setGeometry(g);
  } else {
    resize(std::max(main.Width, 100), std::max(main.Height, 100));
    setWindowState(main.WindowState == 1 ? Qt::WindowMinimized : Qt::WindowMaximized);
  }
  for (int w = swProject; w <= swSequences; ++w) {
    QMdiSubWindow* sub = FStanding[static_cast<size_t>(w)];
    if (!sub) continue;
    const TWindowLayout& l = LayoutOf(static_cast<TStandingWindow>(w));
    sub->setGeometry(l.Left, l.Top, std::max(l.Width, 60), std::max(l.Height, 40));
    if (l.Visible) {
      sub->show();
      if (l.WindowState == 1)
        sub->showMinimized();
      else if (l.WindowState == 2)
        sub->showMaximized();
    } else {
      sub->hide();
    }
  }
  FDocument.LayerBox().SetModified(false);
}

void TMovaraForm::ShowProjectWindows() {
  for (TStandingWindow w : {swResources, swProject}) {
    QMdiSubWindow* sub = FStanding[static_cast<size_t>(w)];
    if (sub && !sub->isVisible()) sub->show();
  }
}

void TMovaraForm::TakeLayout() {
  TWindowLayout& main = FSettings.MainApp;
  main.WindowState = StateOf(windowState());
  const QRect normal = main.WindowState == 0 || normalGeometry().isEmpty() ? geometry() : normalGeometry();
  main.Left = normal.left();
  main.Top = normal.top();
  main.Width = width();
  main.Height = height();
  main.Visible = isVisible();
  for (int w = swProject; w <= swSequences; ++w) {
    QMdiSubWindow* sub = FStanding[static_cast<size_t>(w)];
    if (!sub) continue;
    TWindowLayout& l = LayoutOf(static_cast<TStandingWindow>(w));
    l.WindowState = StateOf(sub->windowState());
    // a minimised or maximised child keeps the normal place it had
    if (l.WindowState == 0) {
      l.Left = sub->x();
      l.Top = sub->y();
      l.Width = sub->width();
      l.Height = sub->height();
    }
    l.Visible = sub->isVisible();
  }
  const TLayerBox& box = FDocument.LayerBox();
  FSettings.TimeLineSettings.IconSize = box.IconSize();
  FSettings.TimeLineSettings.Zoom = box.Zoom();
  FSettings.TimeLineSettings.FirstFrame = box.FirstFrame();
  FSettings.TimeLineSettings.SnapItems = box.SnapItems();
  FSettings.ResourceList.IconSize = FDocument.ClipBox().ClipIconSize();
  FSettings.ResourceList.InitialDirectory = FDocument.ClipBox().InitialDir();
  FSettings.RecentFiles = FDocument.RecentFiles();
}

bool TMovaraForm::SaveSettings() {
  TakeLayout();
  if (FSettingsFile.empty()) return false;
  return WriteConfig(FSettingsFile, FSettings);
}

void TMovaraForm::closeEvent(QCloseEvent* event) {
  // the main window itself always lets go; unsaved work is the project's question
  if (!FDocument.QueryUnsaved()) {
    event->ignore();
    return;
  }
  SaveSettings();
  event->accept();
}

}  // namespace movara
