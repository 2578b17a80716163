#include "project/ui/UndoCommands.h"

#include <QAction>
#include <QKeySequence>
#include <QTimer>

#include "project/UndoHistory.h"
#include "project/ui/LayerBoxSignals.h"

namespace movara {
namespace {
// How often a gesture under way is looked at again for its end.
constexpr int kGesturePollMs = 50;
}  // namespace

TUndoCommands::TUndoCommands(TUndoHistory& history, TLayerBoxSignals& boxSignals, QObject* parent)
    : QObject(parent),
      FHistory(history),
      FUndo(new QAction(this)),
      FRedo(new QAction(this)),
      FTimer(new QTimer(this)) {
  FUndo->setObjectName("MenuUndo");
  FRedo->setObjectName("MenuRedo");
  FUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  FRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  FTimer->setSingleShot(true);
  connect(FTimer, &QTimer::timeout, this, &TUndoCommands::Commit);
  connect(FUndo, &QAction::triggered, this, [this] {
    FTimer->stop();
    FHistory.Undo();
    Update();
  });
  connect(FRedo, &QAction::triggered, this, [this] {
    FTimer->stop();
    FHistory.Redo();
    Update();
  });
  connect(&boxSignals, &TLayerBoxSignals::modified, this, &TUndoCommands::CommitSoon);
  FHistory.OnChange = [this](TUndoHistory*) { Update(); };
  Update();
}

TUndoCommands::~TUndoCommands() { FHistory.OnChange = nullptr; }

void TUndoCommands::NameStep(QAction* action, const char* name) {
  const std::string text = name;
  // connected after the command itself: the step is recorded as soon as it has run
  connect(action, &QAction::triggered, this, [this, text] {
    FTimer->stop();
    FHistory.SetNextName(text);
    if (!FHistory.Commit()) FHistory.SetNextName(std::string());
  });
}

void TUndoCommands::CommitSoon() {
  if (!FTimer->isActive()) FTimer->start(0);
}

void TUndoCommands::Commit() {
  if (FHistory.GestureActive()) {
    FTimer->start(kGesturePollMs);
    return;
  }
  FHistory.Commit();
}

void TUndoCommands::Update() {
  FUndo->setText(QString::fromStdString(FHistory.UndoText()));
  FRedo->setText(QString::fromStdString(FHistory.RedoText()));
  FUndo->setEnabled(FHistory.CanUndo());
  FRedo->setEnabled(FHistory.CanRedo());
}

}  // namespace movara
