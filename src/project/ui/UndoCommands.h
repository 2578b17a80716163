#pragma once
// TUndoCommands: the Undo and Redo commands of the open project ("Cofnij: %s" and
// "Ponów: %s", Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y), enabled while there is a step to take
// back or repeat. It records the time line's changes as steps: once the events that
// changed something are handled, and while a mouse gesture runs only at its end, so a
// whole drag is one step. The main window puts the two actions into its Edit menu.
#include <QObject>

class QAction;
class QTimer;

namespace movara {

class TLayerBoxSignals;
class TUndoHistory;

class TUndoCommands : public QObject {
  Q_OBJECT
 public:
  TUndoCommands(TUndoHistory& history, TLayerBoxSignals& boxSignals, QObject* parent = nullptr);
  ~TUndoCommands() override;

  QAction* UndoAction() const { return FUndo; }
  QAction* RedoAction() const { return FRedo; }
  // Records the step the action's command made, under Name, once it has run.
  void NameStep(QAction* action, const char* name);
  // Records what changed once the events under way are handled (a gesture: at its end).
  void CommitSoon();

 private:
  void Commit();
  void Update();

  TUndoHistory& FHistory;
  QAction* FUndo;
  QAction* FRedo;
  QTimer* FTimer;
};

}  // namespace movara
