#pragma once
// TVideoSequenceForm: the film sequences window "Sekwencje Filmu", one of the standing
// windows. It lists the blocks of the time line's sequence row, one line each:
// "%d) %s - %s (%s) - %s" (position, first frame, last frame, duration as time codes,
// the shortcut). A click shows the block on the time line, a double click gives it a
// shortcut (TShortCutForm), and a key that is a sequence's shortcut jumps to it from
// the project window (in this window the key is only taken).
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "project/VfxData.h"

class QListWidget;
class QTimer;

namespace movara {

class TLayerBox;
class TLayerItem;
class TLayerRow;

class TVideoSequenceForm : public QWidget {
  Q_OBJECT
 public:
  // Takes the box's sequence keys (OnSequenceKey) while it lives.
  explicit TVideoSequenceForm(TLayerBox& box, QWidget* parent = nullptr);
  ~TVideoSequenceForm() override;

  QListWidget* List() const { return lbSequence; }
  // The block of a line; nullptr out of range.
  TLayerItem* LineItem(int line) const;

  TCountType CountType() const { return FCountType; }
  void SetCountType(TCountType value);
  int TimeBase() const { return FTimeBase; }
  // Values above 0 only.
  void SetTimeBase(int value);

  // Reads the lines of a row again (the row is remembered); the list's content is
  // replaced only when its text changed, so a selection survives refreshes.
  void Rebuild(TLayerRow* row);
  // The remembered row again (the box's sequence row at first).
  void Rebuild();
  // Rebuild once the events of the moment are done: changes that come in a burst (a
  // project read block by block) make one rebuild.
  void RebuildLater();

  // The block whose shortcut the code is (0 and codes without a key match none).
  TLayerItem* BlockOfShortCut(uint16_t code) const;
  // A key handed over by the project window: true (and the block shown) on a match.
  bool SequenceKey(uint16_t code);
  // The selected lines' blocks shown on the time line (a click).
  void ShowSelected();
  // The shortcut dialog for the first selected line (a double click); true when a
  // shortcut was set.
  bool EditShortCut();

  // The shortcut dialog: the block's code in and out, the others' shortcut texts. The
  // TShortCutForm unless replaced (tests).
  std::function<bool(int32_t& code, const std::vector<std::string>& used)> OnChooseShortCut;

  // The line of a block, as the list shows it (1-based position).
  std::string LineText(int position, const TLayerItem& item) const;

  // Wide enough for the longest line.
  QSize sizeHint() const override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Current();
  TLayerBox& FBox;
  TLayerRow* FRow = nullptr;
  QListWidget* lbSequence = nullptr;
  QTimer* FRebuildTimer = nullptr;
  std::vector<TLayerItem*> FItems;  // the block of each line
  TCountType FCountType = ctSMPTE;
  int FTimeBase = DefaultTimeBase;
};

}  // namespace movara
