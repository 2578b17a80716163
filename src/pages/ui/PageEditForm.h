#pragma once
// TPageEditForm: the page editor "Edytor Tekstu - [%s]", the modal window in which the
// user writes a title page. Around the page (TPageEditView over a TPageEditBox) it
// holds the text field and the font, colour, shadow and outline controls of the
// selected items (each tagged with the item field it edits), the style toggles, the
// alignment and ordering buttons, the scale and the page colour, the menus with six
// recent files and the "&Tekst" menu of the page's items, export of the page as a
// picture or into the resource list, and the full-screen preview. Its settings live in
// the "Page Edit Section" of the settings file: read when it opens, written when it
// goes.
#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>
#include <string>

#include "pages/FontItem.h"
#include "pages/PageEditBox.h"

class QAction;
class QCheckBox;
class QComboBox;
class QMenu;
class QPlainTextEdit;
class QSpinBox;
class QTimer;
class QToolButton;

namespace movara {

class TPageEditView;
class TQtPageClipboard;
class IPageClipboard;

// A colour choice shown as a swatch; a click opens the colour dialog.
class TColorChoice : public QWidget {
  Q_OBJECT
 public:
  TColorChoice(const QString& hint, QWidget* parent);
  TColor Color() const { return FColor; }
  // Sets the colour; changed() follows when it differs.
  void SetColor(TColor color);

 signals:
  void changed();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;

 private:
  TColor FColor = 0;
};

// Tags of the controls that edit an item field.
enum TPageControlTag {
  ptNone, ptFontName, ptFontSize, ptText, ptFontColor, ptTextVisible, ptShadowColor, ptShadowX, ptShadowY,
  ptShadowed, ptOutlineColor, ptOutlineWidth, ptOutlined
};

class TPageEditForm : public QDialog {
  Q_OBJECT
 public:
  // iniFile: the program's settings file.
  TPageEditForm(const std::string& iniFile, QWidget* parent = nullptr);
  ~TPageEditForm() override;

  TPageEditBox& Box() { return FBox; }
  TPageEditView* View() const { return FView; }

  // Given by the opener: the page goes into the resource list; the page was saved.
  std::function<void(TPageEditForm&, const std::string&)> OnInsertToResources;
  std::function<void(TPageEditForm&, const std::string&)> OnPageSaved;
  // The file dialogs (the box's and the picture export's); the chosen name, "" when
  // cancelled. startName: the name the dialog starts with.
  std::function<std::string(const TPageFileDialog&, const std::string& startName)> FileDialog;

  // Commands of the menus (tests call them as the user's clicks would).
  void NewPage();
  void OpenPage();              // the open dialog
  void OpenRecent(int index);   // a recent-file entry
  void OpenFileByName(const std::string& fileName);  // as a menu item captioned with it
  // Shows the window where the settings put it: maximised (as it opens by default) or
  // at the stored place, never smaller than 603 x 440 nor off the screen's right or
  // bottom edge.
  void ShowPlaced();
  bool SavePage();
  bool SavePageAs();
  void SaveAsPicture();
  void InsertToResources();
  void InsertText();
  void ToggleStyle(QToolButton* button, QAction* menuItem);
  void BringToFront();
  void SendToBack();
  void ShowPreview();
  void RefreshMenus();

  // The twelve tagged controls and the untagged ones.
  QComboBox* fcbText = nullptr;
  QSpinBox* mseText = nullptr;
  QPlainTextEdit* edText = nullptr;
  TColorChoice* ccbText = nullptr;
  QCheckBox* cbDrawText = nullptr;
  TColorChoice* ccbShadow = nullptr;
  QSpinBox* mseShadowX = nullptr;
  QSpinBox* mseShadowY = nullptr;
  QCheckBox* cbDrawShadow = nullptr;
  TColorChoice* ccbOutline = nullptr;
  QSpinBox* mseOutline = nullptr;
  QCheckBox* cbDrawOutline = nullptr;
  QToolButton* sbFontBold = nullptr;
  QToolButton* sbFontItalic = nullptr;
  QToolButton* sbFontUnderline = nullptr;
  QSpinBox* mseScale = nullptr;
  TColorChoice* ccbBackground = nullptr;

  // Menu items by name ("miSave", "miRecent0", ...), the "&Tekst" menu.
  QAction* MenuItem(const QString& name) const;
  QMenu* TextMenu() const { return FTextMenu; }
  // The recent files as the menu holds them, newest first ("" for an empty entry).
  std::string RecentFile(int index) const;
  // The caption's file name.
  const std::string& CaptionName() const { return FCaptionName; }

  // Loads an item into the controls (nullptr: only the enabling).
  void LoadItem(const TFontItem* item);
  // The item the controls describe (Selected false, position 0, 0, no word wrap).
  TFontItem ControlsItem() const;

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildMenus();
  void ReadSettings();
  void WriteSettings();
  void ControlChanged(int tag);
  void ApplyControls(TFontItem& item) const;
  void ApplyTag(TFontItem& item, int tag) const;
  void RefreshEnabling();
  void AddRecent(const std::string& name);
  void ShowRecent();
  void SetCaption(const std::string& name);
  void AfterOpen();
  bool CanClose();
  void PageChanged();
  int EditIndexToItemIndex() const;
  void EnterEditMode(int index);

  std::string FIniFile;
  TPageEditBox FBox;
  TPageEditView* FView = nullptr;
  std::shared_ptr<TQtPageClipboard> FClipboard;
  std::shared_ptr<IPageClipboard> FPreviousClipboard;
  std::string FCaptionName;
  bool FLoading = false;
  bool FApplying = false;
  bool FSettingBackground = false;
  QTimer* FRepaint = nullptr;
  QMenu* FFileMenu = nullptr;
  QMenu* FEditMenu = nullptr;
  QMenu* FCommandMenu = nullptr;
  QMenu* FTextMenu = nullptr;
  QAction* FRecentSeparator = nullptr;
  QAction* FRecent[6] = {};
  QAction* FStyleItems[3] = {};
  QAction* FSizeItems[3] = {};
  // the placement as stored
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0, FWindowState = 2;
  bool FVisible = false;
};

// The full-screen preview of a page: the picture centred on black; a click or any key
// closes it.
class TPreviewPageForm : public QDialog {
  Q_OBJECT
 public:
  TPreviewPageForm(const QImage& picture, QWidget* parent = nullptr);
  const QImage& Picture() const { return FPicture; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent*) override;

 private:
  QImage FPicture;
};

// Opens the page editor modally on fileName (none when empty), the notifications given
// for the time it is open.
void EditTitlePage(QWidget* parent, const std::string& fileName, const std::string& iniFile,
                   std::function<void(const std::string&)> onInsertToResources,
                   std::function<void(const std::string&)> onPageSaved);

// Called with every page editor just before it is shown (tests and screenshots drive it).
extern std::function<void(TPageEditForm&)> OnPageEditFormShown;

}  // namespace movara
