#pragma once
// TPageEditBox: a title page without its window. It owns the ordered text items (later
// items are drawn over earlier ones), the page size and colour, the selection, the
// mouse-editing rules (the window forwards its events in page coordinates), drawing
// into a 24-bit picture, and the title page file.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/MouseInput.h"
#include "pages/FontItem.h"

namespace movara {

// A point on the page, in page pixels (fractions come from the view's scale).
struct TPagePoint {
  double X = 0;
  double Y = 0;
};

// The pointer the window shows over the page.
enum TPageCursor { pcDefault, pcCross, pcSizeAll };
// Keys the page reacts to (anything else is pkOther).
enum TPageKey { pkOther, pkDelete, pkF2 };

// How the last OpenFile went.
enum TPageOpenResult {
  porNone,            // nothing opened yet
  porOk,              // read completely
  porDamaged,         // the header and part of the items were read; messages shown
  porUnreadable,      // the file could not be read or its header is incomplete
  porNotRecognised,   // not a title page file
  porMissing,         // the named file does not exist
  porCancelled,       // the user cancelled (save question or file dialog)
};

// A file dialog the window shows on the box's behalf.
struct TPageFileDialog {
  bool Save = false;           // save dialog (asks before overwriting), else open
  std::string Title;           // "Odczyt pliku projektu Edytora Tekstu" or the save title
  std::string Filter;          // "Pliki projektu Edytora Tekstu(*.PTE)|*.PTE"
  std::string DefaultExt;      // "PTE"
  std::string InitialDir;
};

// The page's question before its content is dropped.
inline constexpr char kAskSavePageText[] =
    "Projekt Edytora Tekstu nie jest zapisany. Czy chcesz zapisać aktualny stan na dysk ?";
inline constexpr char kAskSavePageCaption[] = "Zapis projektu Edytora Tekstu";
inline constexpr char kPageFileFilter[] = "Pliki projektu Edytora Tekstu(*.PTE)|*.PTE";
inline constexpr char kPageFileExt[] = "PTE";
inline constexpr char kOpenPageTitle[] = "Odczyt pliku projektu Edytora Tekstu";
inline constexpr char kSavePageTitle[] = "Zapis pliku projektu Edytora Tekstu";

class TPageEditBox {
 public:
  TPageEditBox();
  ~TPageEditBox();
  TPageEditBox(const TPageEditBox&) = delete;
  TPageEditBox& operator=(const TPageEditBox&) = delete;

  // --- properties
  TPageSize PageSize() const { return pageSize_; }
  void SetPageSize(TPageSize size);  // new page rectangle, repaint, modified
  TColor PageColor() const { return pageColor_; }
  void SetPageColor(TColor color);  // repaint, modified
  int Scale() const { return scale_; }
  void SetScale(int percent);  // 10..500, other values ignored; relayout, repaint
  const std::string& InitialDir() const { return initialDir_; }
  void SetInitialDir(const std::string& dir) { initialDir_ = dir; }
  TRect PageRect() const { return pageRect_; }

  const std::string& FileName() const { return fileName_; }  // "." until named
  void SetFileName(const std::string& name) { fileName_ = name; }
  bool HasFileName() const { return !fileName_.empty() && fileName_ != "."; }
  bool Modified() const { return modified_; }
  void SetModified(bool modified);  // true raises OnModified
  bool Saved() const { return saved_; }  // saved at least once
  TPageOpenResult LastOpenResult() const { return lastOpen_; }

  // --- events
  std::function<void(TPageEditBox&)> OnModified;
  std::function<void(TPageEditBox&, TFontItem*)> OnClickFontItem;
  std::function<void(TPageEditBox&, const std::string&)> OnSavedDocument;
  std::function<void(TPageEditBox&, int)> OnEnterEditMode;  // character index
  // The page needs repainting.
  std::function<void(TPageEditBox&)> OnInvalidate;
  // Shows a file dialog; returns the chosen name, "" when cancelled. Without it the
  // dialogs count as cancelled.
  std::function<std::string(const TPageFileDialog&)> OnFileDialog;

  // --- items
  // A new item with the defaults at the visible top-left of the page plus (12, 5),
  // appended; with deselectOthers every other item is deselected first.
  TFontItem* AddFontItem(bool deselectOthers, bool selected);
  int ItemCount() const { return static_cast<int>(items_.size()); }
  TFontItem* Items(int index) const;  // nullptr out of range
  int IndexOf(const TFontItem* item) const;  // -1 when not on this page
  // Removes and frees every item; the page is not marked modified.
  void ClearItems();
  // Removes and frees the selected items; modified when any went.
  void DeleteSelected();

  // --- selection
  void SelectAll();
  void DeselectAll();
  void SelectOnly(TFontItem* item);
  void ToggleSelected(TFontItem* item);
  int SelectedCount() const;
  std::vector<TFontItem*> SelectedItems() const;  // in list order
  // The next selected item after item in list order (the first for nullptr).
  TFontItem* NextSelected(const TFontItem* item) const;

  // --- order and layout
  void BringToFront(TFontItem* item);  // to the end of the list
  void SendToBack(TFontItem* item);    // to the start of the list
  // The selected items keep their order among themselves above (below) all others.
  void BringSelectedToFront();
  void SendSelectedToBack();
  // Horizontal, vertical: 0 none, 1 left/top, 2 centre, 3 right/bottom.
  void AlignSelected(uint8_t horizontal, uint8_t vertical);
  void SpaceSelected(bool horizontally);

  // --- drawing (PageRender.cpp)
  // Sets every item's bounds (and on-screen frame) as drawing would.
  void UpdateBounds();
  // Draws the page into a 24-bit picture of the page size. False when text cannot be
  // drawn (no font system); the picture then holds the page colour only.
  bool RenderToBitmap(TDIB& bitmap);
  bool RenderToDIB(TDIB& dib);
  // The character index of item's Text (code points, a CR LF counting two) nearest
  // to a page point.
  int TextIndexAt(const TFontItem& item, TPagePoint point);
  // The caret's rectangle on the page before the character at index.
  TRect CaretRectAt(const TFontItem& item, int index);

  // --- view (the window's scroll box)
  void SetViewSize(int width, int height);
  void SetScrollPos(int x, int y);  // in view pixels
  // A pointer position in the view to page pixels.
  TPagePoint ViewToPage(int x, int y) const;

  // --- mouse and keys (PageEditMouse.cpp), points in page pixels
  void MouseDown(TMouseButton button, TPagePoint point, TShiftState shift);
  void MouseMove(TPagePoint point, TShiftState shift);
  void MouseUp(TMouseButton button, TPagePoint point, TShiftState shift);
  bool KeyDown(TPageKey key, TShiftState shift);  // true when handled
  // The topmost item whose bounds hold the point (bounds as last laid out).
  TFontItem* ItemAt(TPagePoint point) const;
  TPageCursor Cursor() const { return cursor_; }
  bool Dragging() const { return drag_.dragging; }
  // The rubber band while one is drawn (press on the empty page and drag).
  bool RubberBanding() const { return drag_.banding; }
  TRect RubberBand() const;
  bool TextEditing() const { return textEditing_; }
  void SetTextEditing(bool on) { textEditing_ = on; }
  int CaretIndex() const { return caretIndex_; }
  void SetCaretIndex(int index) { caretIndex_ = index; }

  // --- files (PageFile.cpp)
  // When the page is modified, asks whether to save it first: Yes saves and goes on
  // only when saved, No goes on, Cancel stops. True to go on.
  bool AskToSave();
  // Opens the file named by the menu caption (accelerator marks removed), or asks for
  // one with the open dialog without a caption. True when the file was read whole.
  bool OpenFile(const std::optional<std::string>& menuItemCaption = std::nullopt);
  // OpenFile with a menu item captioned with this name (its '&' kept).
  bool OpenFileNamed(const std::string& fileName);
  // Saves to the page's file name, asking for one when there is none.
  bool SaveFile();
  // Asks for a name, then saves.
  bool SaveFileAs();

  // --- clipboard (PageClipboard.cpp)
  void CopySelectedToClipboard();
  void PasteFromClipboard();
  bool CanPaste() const;

 private:
  struct TDragState {
    bool pressed = false;
    bool dragging = false;
    bool banding = false;
    bool onItem = false;
    bool clickedSelected = false;  // the press hit an item that was already selected
    unsigned buttons = 0;          // buttons pressed during the gesture (1 << button)
    TFontItem* item = nullptr;
    TPagePoint start;
    TPagePoint current;
    std::vector<std::pair<TFontItem*, std::pair<int32_t, int32_t>>> origins;
  };

  void Invalidate();
  void MarkModified() { SetModified(true); }
  bool ChooseFile(bool save, std::string& name);
  bool WriteTo(const std::string& name);
  TPageOpenResult ReadFrom(const std::string& name);
  void StartDrag();
  void DragTo(TPagePoint point);
  void FinishBand(TPagePoint a, TPagePoint b, TShiftState shift);

  std::vector<std::unique_ptr<TFontItem>> items_;
  TPageSize pageSize_ = psVideo;
  TRect pageRect_;
  TColor pageColor_ = 0;
  int scale_ = 100;
  std::string initialDir_;
  std::string fileName_ = ".";
  bool modified_ = false;
  bool saved_ = false;
  TPageOpenResult lastOpen_ = porNone;
  int viewWidth_ = 0, viewHeight_ = 0;
  int scrollX_ = 0, scrollY_ = 0;
  TDragState drag_;
  TPageCursor cursor_ = pcDefault;
  bool textEditing_ = false;
  int caretIndex_ = 0;
};

// Renders a title page file into a 24-bit picture. A file missing where named is
// looked for by its bare name in the program's folder. False when it is missing, is
// not a title page, cannot be read at all, or text cannot be drawn; a page read in
// part is drawn with what was read (its messages shown).
bool LoadPageToBitmap(const std::string& fileName, TDIB& bitmap);
bool LoadPageToDIB(const std::string& fileName, TDIB& dib);
// The same page as its background alone (its size and colour), the items read but not
// drawn: for callers that need a page as a clip but never show it (the film script).
bool LoadPageBackgroundToDIB(const std::string& fileName, TDIB& dib);

}  // namespace movara
