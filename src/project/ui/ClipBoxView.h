#pragma once
// TClipBoxView: the drawn list of resource thumbnails of the resource window. It paints
// the clip box's thumbnails one under another and hands clicks, drags and drops to the
// box's operations: the selection, reordering by dropping one thumbnail on another,
// files dropped from a file manager, and dragging a thumbnail onto the time line (data
// of kClipMimeType: the thumbnail's index as decimal ASCII).
#include <QAbstractScrollArea>
#include <QPoint>

class QMimeData;

namespace movara {

class TClipBox;
class TClipGraphic;
class TClipBoxSignals;

class TClipBoxView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TClipBoxView(TClipBoxSignals& adapter, QWidget* parent = nullptr);
  TClipBox& Box() const;

  // Size of one thumbnail (all have the box's icon size).
  QSize ItemSize() const;
  // The rectangle of thumbnail index in viewport coordinates.
  QRect ClipRect(int index) const;
  // The index of the thumbnail at a viewport point; -1 when none.
  int IndexAt(const QPoint& point) const;
  // Scrolls so that the thumbnail is wholly visible.
  void EnsureVisible(int index);
  // Recomputes the scroll range and repaints (after the box changed).
  void Refresh();

  QSize sizeHint() const override;

 signals:
  // A click, a Ctrl-click or a drag changed the selection.
  void selectionChanged();
  // Files were dropped and some of them added.
  void filesDropped();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void UpdateScrollBars();
  void UpdateCursor(const QPoint& point);
  void StartDrag(int index);
  bool AcceptsDrag(const QMimeData* data, const QPoint& point) const;

  TClipBoxSignals& FSignals;
  int FPressed = -1;  // thumbnail under the last press of the left button
  QPoint FPressPoint;
  bool FDragStarted = false;
};

}  // namespace movara
