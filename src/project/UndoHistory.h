#pragma once
// TUndoHistory: the undo and redo of the time line's edits. It keeps the state of every
// block as it was at the end of the last step (a flat record per block, not a copy of
// the project); a step is the difference found at the end of a user's gesture: the
// blocks that came, went or changed, with their state before and after. Undo puts the
// "before" states back, redo the "after" states, without the editing rules running
// again: the transition row and the partner links come back exactly as they were.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace movara {

class TClipGraphic;
class TLayerBox;

class TUndoHistory {
 public:
  // Steps kept before the oldest is dropped.
  static constexpr int DefaultLimit = 500;

  explicit TUndoHistory(TLayerBox& Box, int Limit = DefaultLimit);
  ~TUndoHistory();
  TUndoHistory(const TUndoHistory&) = delete;
  TUndoHistory& operator=(const TUndoHistory&) = delete;

  // Forgets every step and takes the time line as it is now as the start (a project
  // opened or created, a resource removed with its blocks).
  void Clear();
  // The name of the next step that records something, for a command that knows better
  // than the changes tell ("wklejenie bloczków").
  void SetNextName(const std::string& Name) { FNextName = Name; }
  // Whether a mouse gesture of the time line is under way: its changes become a step
  // when it ends.
  bool GestureActive() const;
  // Records the changes since the last step as one step; false when nothing changed or
  // a gesture is still under way.
  bool Commit();

  bool CanUndo() const;
  bool CanRedo() const;
  // Names of the steps undo and redo would take back or repeat ("przesunięcie bloczka");
  // empty when none.
  std::string UndoName() const;
  std::string RedoName() const;
  // The texts of the menu items: "Cofnij: %s" / "Ponów: %s", the bare verb when none.
  std::string UndoText() const;
  std::string RedoText() const;
  // Changes not yet recorded become a step first. False when there is nothing to take
  // back or repeat, or while a gesture is under way.
  bool Undo();
  bool Redo();
  int UndoCount() const { return FPosition; }
  int RedoCount() const { return static_cast<int>(FSteps.size()) - FPosition; }
  int Limit() const { return FLimit; }
  // Changes whenever the recorded state does (a step, an undo, a redo, a clear).
  uint64_t Serial() const { return FSerial; }

  // The project was saved as it stands: stepping back to this point leaves it
  // unmodified.
  void MarkSaved();
  // Bytes held by the recorded steps (the state of the last step not counted).
  size_t StepBytes() const;
  // Bytes held by the state of the last step.
  size_t BaseBytes() const;

  // Steps came or went, or undo or redo ran.
  std::function<void(TUndoHistory*)> OnChange;

  struct TItemState;
  struct TStep;

 private:
  struct TImpl;
  void Apply(const TStep& Step, bool Forward);
  void Changed();
  void WatchClip(TClipGraphic* Clip);
  void UnwatchClips();
  void ClipGoing();

  TLayerBox& FBox;
  int FLimit;
  std::unique_ptr<TImpl> FImpl;
  std::vector<std::unique_ptr<TStep>> FSteps;
  int FPosition = 0;  // steps before it are done, from it on undone
  int FSavedPosition = -1;
  std::string FNextName;
  bool FStale = false;  // a clip of a recorded block went: the steps are void
  bool FApplying = false;
  uint64_t FSerial = 0;
};

}  // namespace movara
