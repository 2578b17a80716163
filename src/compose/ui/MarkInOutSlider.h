#pragma once
// TMarkInOutSlider: a horizontal slider over a range of positions (milliseconds in the
// clip player, frames in the resource view) with an in mark and an out mark; the part
// between them is drawn as the marked area while ShowMarkArea is set. The user moves
// the position with the mouse or the arrow keys; setting it from code raises nothing.
#include <QWidget>

namespace movara {

class TMarkInOutSlider : public QWidget {
  Q_OBJECT
 public:
  explicit TMarkInOutSlider(QWidget* parent = nullptr);

  int MinPos() const { return FMinPos; }
  int MaxPos() const { return FMaxPos; }
  int Position() const { return FPosition; }
  int MarkInPosition() const { return FMarkIn; }
  int MarkOutPosition() const { return FMarkOut; }
  bool ShowMarkArea() const { return FShowMarkArea; }

  // A range whose maximum is below its minimum becomes the minimum alone; positions
  // and marks are kept inside the range.
  void SetRange(int minPos, int maxPos);
  void SetPosition(int position);
  void SetMarkInPosition(int position);
  void SetMarkOutPosition(int position);
  void SetShowMarkArea(bool show);
  // The marked part: from the lower mark to the higher one.
  int MarkStart() const { return std::min(FMarkIn, FMarkOut); }
  int MarkLength() const { return std::abs(FMarkOut - FMarkIn); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // The user moved the position.
  void positionChanged(int position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int XOf(int position) const;
  int PositionAt(int x) const;
  int Clamp(int position) const;
  void UserMove(int position);

  int FMinPos = 0;
  int FMaxPos = 100;
  int FPosition = 0;
  int FMarkIn = 0;
  int FMarkOut = 0;
  bool FShowMarkArea = false;
};

}  // namespace movara
