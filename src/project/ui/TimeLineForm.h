#pragma once
// TTimeLineForm: the project window "Okno projektu - [%s]", the standing window that
// holds the open project's time line. It shows the layer box (TLayerBoxView) with a
// horizontal scroll bar under it, the row icons beside video rows A and B and the three
// sound rows, the snapping button ("Przyklejanie objektów") and the scale button
// ("Wybór skali") with its menu of zoom steps, and the command menu of a right click
// with its shortcuts. It owns the project's film script and makes it again when it is
// stale (the slider's preview, "&Generuj skrypt...", the film command). Opening and
// saving go through the document; the window only asks and follows.
#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "project/VfxData.h"

class QAction;
class QMenu;
class QScrollBar;
class QToolButton;
class QLabel;
class QScrollArea;

namespace movara {

class TDocumentSignals;
class TLayerBox;
class TLayerBoxSignals;
class TLayerBoxView;
class TLayerItem;
class TLayerRow;
class TProjectDocument;
class TScript;
class TUndoCommands;

// The dialogs of other windows the project window opens; each answers false when
// cancelled. The Qt colour dialog serves ChooseColor and TShortCutForm ChooseShortcut;
// the others belong to the effect and keying windows and answer false until those
// windows give theirs.
class ITimeLineDialogs {
 public:
  virtual ~ITimeLineDialogs() = default;
  virtual bool ChooseColor(TColor& color) = 0;
  // The effect chooser: the transition's effect and its length in milliseconds.
  virtual bool ChooseEffect(int32_t& fxId, int lengthMs);
  // The shortcut chooser of a sequence block, with the shortcuts the others use.
  virtual bool ChooseShortcut(int32_t& code, const std::vector<std::string>& used);
  // The keying window of an image-row block at a time of the block (milliseconds).
  virtual bool ChooseKeying(TLayerItem& item, int64_t timeMs, TColor& colorKey, TComposeMode& mode);
  // The colour-key dialog of a key row.
  virtual bool ChooseColorKey(TColor& colorKey, TComposeMode& mode, int32_t& yuvHi, int32_t& yuvLo);
};

class TTimeLineForm : public QWidget {
  Q_OBJECT
 public:
  TTimeLineForm(TProjectDocument& document, TDocumentSignals& documentSignals, QWidget* parent = nullptr);
  ~TTimeLineForm() override;

  TProjectDocument& Document() const { return FDocument; }
  TDocumentSignals& DocumentSignals() const { return FDocumentSignals; }
  TLayerBox& Box() const;
  TLayerBoxSignals& BoxSignals() const { return *FBoxSignals; }
  TLayerBoxView* View() const { return FView; }
  QScrollBar* ScrollBar() const { return FScrollBar; }
  QToolButton* SnapButton() const { return FSnap; }
  QToolButton* ZoomButton() const { return FZoomButton; }
  QMenu* PopupMenu() const { return FPopup; }  // PopupMenuA1
  QMenu* ZoomMenu() const { return FZoomMenu; }  // pmZoom
  // An item of the command menu by its name ("MenuRazor", "MenuSaveProject", ...).
  QAction* MenuItem(const QString& name) const;
  // The row icons: ImageLayerV1, ImageLayerV2, ImageAudio1..3.
  QLabel* RowIcon(int index) const;

  QSize sizeHint() const override;

  // The dialogs of other windows (not owned); nullptr restores the Qt colour dialog alone.
  void SetDialogs(ITimeLineDialogs* dialogs);

  // The project's script: made again from the whole time line when stale (or always
  // when forced); the edited text of the script window stays until the time line
  // changes.
  TScript& Script() const { return *FScript; }
  bool ScriptStale() const { return FScriptStale; }
  TScript& MakeScript(bool force = false);

  // Prepares the command menu for a point of the time line: the row and the block
  // there, the items' enabling and checks, and the two items shown only while Ctrl and
  // Shift are held. The menu opens at the point after this (OpenPopupMenu).
  void PreparePopupMenu(const QPoint& viewPos, Qt::KeyboardModifiers modifiers);
  void OpenPopupMenu(const QPoint& viewPos, Qt::KeyboardModifiers modifiers);
  // The menu a double click on a row opens (colour blocks, the envelope, keying),
  // prepared for the point; nullptr where the double click opens a dialog instead (a
  // transition, a sequence, a key row) or nothing. Those dialogs run here.
  QMenu* PrepareRowMenu(const QPoint& viewPos);
  // The row and block the last prepared menu was opened over.
  TLayerRow* MenuRow() const { return FMenuRow; }
  TLayerItem* MenuBlock() const { return FMenuItem; }

  // Undo and Redo of the project's edits, with their texts, keys and enabling, for the
  // main window's Edit menu (they work in this window too).
  QAction* UndoAction() const;
  QAction* RedoAction() const;

  // The commands of the window.
  bool OpenProject();
  bool SaveProject();
  bool SaveProjectAs();
  bool NewProject();
  // "&Generuj skrypt...": makes the script and shows it in the script window (modal).
  void ShowScriptWindow();

  // The preview of the slider's frame: the script's text, whether it was made again
  // (the preview reloads it), the time in milliseconds and the mode (2: picture and
  // sound while Ctrl is held, 0: the picture alone).
  std::function<void(const std::string& script, bool reloaded, int64_t ms, int mode)> OnPreview;

 signals:
  void makeFilmRequested();  // "&Generuj film...", with the script made anew
  void sliderShown();
  void sliderHidden();
  void commandsChanged();   // Modified, the selection or the copied blocks changed
  void sequencesChanged();  // the sequence row changed: its list must be read again
  void newProjectShown();   // a new project: show the resource window, hide the preview

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildMenus();
  QAction* AddItem(QMenu* menu, const char* name, const char* caption, const QKeySequence& shortcut = {});
  void UpdateCaption();
  void ScheduleSync();
  void Sync();
  void LayoutIcons();
  void AfterOpen();
  void AfterNew();
  void SliderMoved();
  QAction* ShortcutItem(const QKeySequence& key) const;
  // Insert or recolour at the menu point.
  void InsertColor(TUniformColor kind);
  void InsertUserColor(bool doubleClickMenu);
  void ColorKeyDialog();
  void RowDoubleClicked(const QPoint& pos);

  TProjectDocument& FDocument;
  TDocumentSignals& FDocumentSignals;
  std::unique_ptr<TLayerBoxSignals> FBoxSignals;
  std::unique_ptr<TScript> FScript;
  bool FScriptStale = true;
  TLayerBoxView* FView = nullptr;
  QScrollBar* FScrollBar = nullptr;
  QWidget* FIconColumn = nullptr;
  QLabel* FIcons[5] = {};
  QScrollArea* FRowsArea = nullptr;
  QToolButton* FSnap = nullptr;
  QToolButton* FZoomButton = nullptr;
  QMenu* FPopup = nullptr;
  QMenu* FZoomMenu = nullptr;
  QMenu* FScaleMenu = nullptr;
  QMenu* FCountMenu = nullptr;
  QMenu* FRowMenu = nullptr;
  QPoint FMenuPoint;
  TLayerRow* FMenuRow = nullptr;
  TLayerItem* FMenuItem = nullptr;
  ITimeLineDialogs* FDialogs = nullptr;
  std::unique_ptr<ITimeLineDialogs> FQtDialogs;
  bool FSyncPending = false;
  bool FSyncing = false;
  TUndoCommands* FUndoCommands = nullptr;
};

// The captions of the zoom steps: "1 Ramka" .. "2 Minuty".
const char* ZoomCaption(TZoom zoom);

}  // namespace movara
