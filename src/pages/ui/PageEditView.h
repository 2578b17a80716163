#pragma once
// TPageEditView: the window side of a TPageEditBox. It paints the page at the box's
// scale (centred when smaller than the view, scrolled when larger), the marching
// frames of the selected items, the rubber band and the text caret, and forwards mouse
// and keys to the box in page pixels.
#include <QAbstractScrollArea>
#include <QImage>

class QTimer;

namespace movara {

class TPageEditBox;

class TPageEditView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  TPageEditView(TPageEditBox& box, QWidget* parent = nullptr);
  ~TPageEditView() override;

  TPageEditBox& Box() const { return FBox; }
  // Scroll ranges and the box's view after a change of scale or page size.
  void Relayout();
  // The page drawn again (items changed).
  void Changed();
  // The caret is drawn while this is set (the text field has the focus).
  void SetCaretShown(bool shown);
  bool CaretShown() const { return FCaretShown; }
  // A view point for a page point (tests and the caret).
  QPoint PageToView(double x, double y) const;
  // The page as last drawn.
  const QImage& PageImage() const { return FPage; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void SyncScroll();
  void UpdateCursor();

  TPageEditBox& FBox;
  QImage FPage;
  bool FStale = true;
  QTimer* FBlink = nullptr;
  int FPhase = 0;
  bool FCaretShown = false;
};

}  // namespace movara
