#pragma once
// TImageView: the resource view "Podgląd zasobu", a small window showing one picture: a
// still picture or title page file, one frame of an AVI chosen with its slider, a
// picture pasted from the clipboard, or a copy of another view. It zooms by fixed steps
// (2:1, 1:1, 1:2, 1:4), can show one field of an interlaced frame, copies the shown
// picture to the clipboard, saves the picture, and lets the user drag its file's name
// onto the resource list. A view without a file asks before it closes (TSaveAsk,
// "Potwierdzenie zapisu"); closing all views offers "Zastosuj do &wszystkich".
//
// The views are MDI children of the area they are opened in (top-level windows without
// one); all of them share the next position, the count of views made and the last
// answer of the save question.
#include <QPoint>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"

class QMdiArea;
class QMenu;
class QAction;

namespace movara {

class TAVI;
class TClipBox;
class TMarkInOutSlider;

// The open and save dialogs of the views; an empty name means cancelled.
class IImageViewDialogs {
 public:
  virtual ~IImageViewDialogs() = default;
  virtual std::string AskOpenFile() = 0;
  virtual std::string AskSaveFile(const std::string& folder) = 0;
};
// Installs the dialogs (not owned); nullptr restores the Qt dialogs.
void SetImageViewDialogs(IImageViewDialogs* dialogs);

class TImageView : public QWidget {
  Q_OBJECT
 public:
  explicit TImageView(QWidget* parent = nullptr);
  ~TImageView() override;

  // Loads a still picture, title page or AVI; false (the view unchanged) otherwise.
  bool LoadFile(const std::string& fileName);
  // The view's picture becomes a 24-bit copy of picture, without a file.
  void SetPicture(const TDIB& picture);

  double Zoom() const { return FZoom; }
  void SetZoom(double zoom);
  int FieldMode() const { return FFieldMode; }  // 0 both, 1 even, 2 odd
  void SetFieldMode(int mode);
  bool ShowsVideo() const { return FVideo != nullptr; }
  const TDIB& Picture() const { return FPicture; }
  const TDIB& ShownPicture() const { return FShown; }
  std::string FullFileName() const { return FFileName.empty() ? std::string() : FFileDir + FFileName; }
  const std::string& FileName() const { return FFileName; }
  TMarkInOutSlider* Slider() const { return FSlider; }
  // The popup menu, its entries refreshed (tests and the right button).
  QMenu* PopupMenu();

  // The popup's commands.
  void CopyToClipboard();
  bool PasteFromClipboard();
  TImageView* Duplicate();
  // Asks for a name and saves the picture (full size); true when it was saved.
  bool SaveAs();

  // The close query: true when the view may close (it may ask the save question).
  bool CanClose();
  // Enables the question's apply-to-all box (while all views are being closed).
  void SetAllowApplyToAll(bool allow) { FAllowApplyToAll = allow; }

  // The window's frame to be resized with the view: the MDI child holding it, or itself.
  QWidget* Frame();

  // Places the view (its frame) at the shared next position of area (nullptr: the
  // screen) and shows it.
  void PlaceAndShow(QMdiArea* area);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Relayout();
  void SliderMoved(int position);
  void BuildMenu();

  TDIB FPicture;
  TDIB FShown;
  std::unique_ptr<TAVI> FVideo;
  double FZoom = 1.0;
  int FFieldMode = 0;
  std::string FFileDir;
  std::string FFileName;
  bool FAllowApplyToAll = false;
  bool FDragging = false;
  bool FSettingSlider = false;
  QPoint FPressPoint;
  bool FPressed = false;
  TMarkInOutSlider* FSlider = nullptr;
  QMenu* FMenu = nullptr;
  QAction* FPaste = nullptr;
  QAction* FZooms[4] = {};
  QAction* FFields[3] = {};
};

// Opens a view on fileName (asks with the open dialog when empty) inside area (nullptr:
// a top-level window). False when cancelled or the file gives no picture.
bool OpenResourceView(const std::string& fileName, QMdiArea* area);
// "Otwórz Me&dia...": the open dialog, then a view of the file chosen.
bool OpenMediaDialog(QMdiArea* area);
// The views of every selected thumbnail of box (the tool bar's open-selected command);
// the number opened.
int OpenSelectedResources(TClipBox& box, QMdiArea* area);
// Closes every view in the order they were made, each with its close query and the
// apply-to-all box; stops at the first view that stays open (the apply-to-all choice is
// then cleared). True when no view is left.
bool CloseAllResourceViews();
// The views open now, in the order they were made.
std::vector<TImageView*> ResourceViews();
// Forgets the next position, the last answer and the apply-to-all choice (a new main
// window; tests).
void ResetResourceViewState();

}  // namespace movara
