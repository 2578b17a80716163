#include "project/ui/LayerBoxSignals.h"

#include "project/Layers.h"

namespace movara {

TLayerBoxSignals::TLayerBoxSignals(TLayerBox& box, QObject* parent) : QObject(parent), FBox(box) {
  FBox.OnModified = [this](TLayerBox*) { emit modified(); };
  FBox.OnAnyModified = [this](TLayerBox*) { emit anyModified(); };
  FBox.OnSequence = [this](TLayerBox*) { emit sequence(); };
  FBox.OnSelected = [this](TLayerBox*) { emit selected(); };
  FBox.OnClipboard = [this](TLayerBox*) { emit clipboard(); };
  FBox.OnMoveSlider = [this](TLayerBox*) { emit moveSlider(); };
  FBox.OnShowSlider = [this](TLayerBox*) { emit showSlider(); };
  FBox.OnHideSlider = [this](TLayerBox*) { emit hideSlider(); };
  FBox.OnStartResizing = [this](TLayerBox*) { emit startResizing(); };
  FBox.OnResizing = [this](TLayerBox*, int x) { emit resizing(x); };
  FBox.OnEndResizing = [this](TLayerBox*) { emit endResizing(); };
  FBox.OnRepaint = [this](TLayerBox*, TLayerRow* row) { emit repaint(row); };
}

TLayerBoxSignals::~TLayerBoxSignals() {
  FBox.OnModified = nullptr;
  FBox.OnAnyModified = nullptr;
  FBox.OnSequence = nullptr;
  FBox.OnSelected = nullptr;
  FBox.OnClipboard = nullptr;
  FBox.OnMoveSlider = nullptr;
  FBox.OnShowSlider = nullptr;
  FBox.OnHideSlider = nullptr;
  FBox.OnStartResizing = nullptr;
  FBox.OnResizing = nullptr;
  FBox.OnEndResizing = nullptr;
  FBox.OnRepaint = nullptr;
}

}  // namespace movara
