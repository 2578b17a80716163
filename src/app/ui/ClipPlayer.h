#pragma once
// TClipPlayer: the clip player window "Odtwarzacz", around the playback clock of
// TDCAviPlayer. It previews one AVI or WAV file, or the file of a resource thumbnail:
// play, play the marked part, stop (and rewind), steps of a second and of a frame,
// marks in and out on a TMarkInOutSlider, two time displays, and a drag of the whole
// clip or of the marked part onto the time line (a part of a thumbnail's clip, the
// drag of kClipPartMimeType). Closing the window hides it; CloseAllClipPlayers frees
// every player.
//
// The player opens its own readers of the file (a thumbnail's readers serve the time
// line's strips on the user's thread while the clock runs on its own).
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/DCAviPlayer.h"

class QLabel;
class QMdiArea;
class QMenu;
class QAction;
class QMimeData;
class QToolButton;

namespace movara {

class TAVI;
class TClipBox;
class TClipGraphic;
class TCustomAudioReader;
class TMarkInOutSlider;

// The picture of the player: the current frame stretched over it, "Dźwięk" for a sound.
class TPlayerView : public QWidget {
  Q_OBJECT
 public:
  explicit TPlayerView(TDCAviPlayer& player, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TDCAviPlayer& FPlayer;
};

class TClipPlayer : public QWidget {
  Q_OBJECT
 public:
  explicit TClipPlayer(QWidget* parent = nullptr);
  ~TClipPlayer() override;

  // Opens an AVI (video and its sound, 16-bit 44100 Hz) or a WAV (sound only); false
  // for any other kind or a file that does not open.
  bool OpenFile(const std::string& fileName);
  // The thumbnail this player plays (nullptr for a file opened by itself).
  TClipGraphic* Graphic() const { return FGraphic; }
  void SetGraphic(TClipGraphic* graphic) { FGraphic = graphic; }
  const std::string& FullFileName() const { return FFileName; }

  TDCAviPlayer& Player() { return FPlayer; }
  TMarkInOutSlider* Slider() const { return FSlider; }
  TPlayerView* View() const { return FView; }

  // Transport.
  void PlayClicked();
  void PlayMarkedClicked();
  void StopClicked();
  void BackSecond();
  void BackFrame();
  void ForwardFrame();
  void ForwardSecond();
  void MarkIn();
  void MarkOut();

  // The two displays: positions (current, end) and durations (marked part, whole).
  QString PositionText() const;
  QString DurationText() const;

  double DisplayScale() const { return FScale; }
  // The picture area becomes the video's size times scale.
  void SetDisplayScale(double scale);
  // The popup menu as it opens with the given keys held.
  QMenu* PopupMenu(Qt::KeyboardModifiers modifiers);

  // The data of a drag of the marked part (or of the whole clip): "index type offset
  // length" of kClipPartMimeType, the thumbnail found in (or added to) box. nullptr
  // when there is nothing to drag. added tells whether a thumbnail was added for it.
  QMimeData* DragData(TClipBox& box, bool* added = nullptr) const;

  QWidget* Frame();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Close();
  void UpdateDisplays();
  void UpdateCaption();
  void Step(int newPosition, int burstMs);
  void StartDrag();
  void ClockMoved();

  TDCAviPlayer FPlayer;
  std::unique_ptr<TAVI> FVideo;
  std::unique_ptr<TCustomAudioReader> FSound;
  TClipGraphic* FGraphic = nullptr;
  std::string FFileName;
  double FScale = 1.0;
  TPlayerView* FView = nullptr;
  TMarkInOutSlider* FSlider = nullptr;
  QLabel* FPositions = nullptr;
  QLabel* FDurations = nullptr;
  QMenu* FMenu = nullptr;
  QAction* FScales[4] = {};
  QAction* FPaste = nullptr;
  QPoint FPressPoint;
  bool FPressed = false;
};

// The area new players open in (the main window's) and the resource list that drags of
// a marked part refer to. Either may be nullptr (players then open as top-level
// windows, and drags are refused).
void SetClipPlayerHost(QMdiArea* area, TClipBox* box);
// Opens a player on a file (asks with "Wybór plików animacji i dźwięku" when the name
// is empty); nullptr when cancelled or the file does not open.
TClipPlayer* OpenClipPlayer(const std::string& fileName);
// The player of a thumbnail: the one already open for it is shown and activated.
TClipPlayer* PlayResourceClip(TClipGraphic& clip);
// Frees every player.
void CloseAllClipPlayers();
// The players that exist, in the order they were made.
std::vector<TClipPlayer*> ClipPlayers();
// Sets the open dialog's answer source (tests); an empty function restores the dialog.
void SetClipPlayerOpenDialog(std::function<std::string()> ask);

}  // namespace movara
