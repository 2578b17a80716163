#pragma once
// TLayerBoxSignals: the Qt side of the time line's events. The layer box holds one
// std::function per event; this adapter takes them all and re-emits each as a Qt signal
// that any number of windows connect to (the project window, the main window's
// commands, the sequences window). One adapter per box, made by the project window.
#include <QObject>

namespace movara {

class TLayerBox;
class TLayerRow;

class TLayerBoxSignals : public QObject {
  Q_OBJECT
 public:
  explicit TLayerBoxSignals(TLayerBox& box, QObject* parent = nullptr);
  ~TLayerBoxSignals() override;
  TLayerBox& Box() const { return FBox; }

 signals:
  void modified();     // Modified was set (the commands' state follows)
  void anyModified();  // the film changed: the script is stale
  void sequence();     // the sequence row changed
  void selected();     // the selection changed
  void clipboard();    // blocks were marked for copying
  void moveSlider();   // the scale's slider moved (while shown)
  void showSlider();
  void hideSlider();
  void startResizing();
  void resizing(int x);
  void endResizing();
  // Something shown changed: one row, or everything (row == nullptr).
  void repaint(movara::TLayerRow* row);

 private:
  TLayerBox& FBox;
};

}  // namespace movara
