#pragma once
// TLayerBoxView: the drawn time line of the project window. It paints the layer box
// (rows, scale, blocks, the position line) and hands the user's mouse, keys and drops
// to the box's operations, converted to the box's buttons, modifier keys and
// coordinates: selecting, moving and resizing blocks, envelope points, the scale's
// slider, the razor, resource thumbnails and clip parts dropped on a row, the paste
// drag. The marching frames of selected blocks walk on a 333 ms timer. No editing rule
// lives here.
#include <QFont>
#include <QWidget>

#include "project/VfxData.h"
#include "project/ui/LayerBoxPaint.h"

class QMimeData;
class QTimer;

namespace movara {

class TClipBox;
class TLayerBox;
class TLayerBoxSignals;
class TLayerRow;
struct TDragSource;

class TLayerBoxView : public QWidget {
  Q_OBJECT
 public:
  // clips: the resource list whose thumbnails are dropped (by index); may be nullptr.
  TLayerBoxView(TLayerBoxSignals& adapter, TClipBox* clips, QWidget* parent = nullptr);
  ~TLayerBoxView() override;

  TLayerBox& Box() const;
  TLayerBoxPaintCache& PaintCache() { return FCache; }
  const QFont& RowFont() const { return FFont; }

  // The razor command: the next click on a block cuts it there; Esc or a right click
  // gives it up.
  void StartRazor();
  // The paste command: a drag of the time line that the user drops on a row.
  void StartPaste();
  // The data of the paste drag of a box.
  static QMimeData* PasteMimeData(const TLayerBox& box);
  // Modifier keys of the last mouse event.
  Qt::KeyboardModifiers LastModifiers() const { return FLastModifiers; }
  // The marching frames' timer (running while blocks are selected).
  bool MarchingTimerRunning() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // A right click outside any gesture: the project window opens its menu there.
  void popupMenuRequested(const QPoint& pos, Qt::KeyboardModifiers modifiers);
  // A double click on a row: the project window opens that row's menu or dialog.
  void rowDoubleClicked(const QPoint& pos);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void Repaint(TLayerRow* row);
  void UpdateCursor(const QPoint& pos);
  void UpdateHeight();
  bool SourceOf(const QMimeData* data, TDragSource& source);
  void MarchingTick();
  void ShowFailures();

  TLayerBoxSignals& FSignals;
  TClipBox* FClips;
  TLayerBoxPaintCache FCache;
  QFont FFont;
  QTimer* FMarching = nullptr;
  TClipDragger FPart;
  Qt::KeyboardModifiers FLastModifiers = Qt::NoModifier;
  bool FHeldCursor = false;  // the cursor of a press stays until the release
  int FHeight = 0;
};

// The box's modifier keys of Qt's.
unsigned ShiftStateOf(Qt::KeyboardModifiers modifiers);
// The virtual-key code the sequence shortcuts use for a Qt key (0 when none).
int VirtualKeyOf(int qtKey, bool keypad);

}  // namespace movara
