#pragma once
// The main window keeps the screen saver away while the program is the one the user
// works in (the application is active), as the program did by swallowing the system's
// screen-saver command: the desktop's org.freedesktop.ScreenSaver is asked to inhibit
// it then and to let go when another program comes to the front or the window closes.
// A change of the active state takes effect after a short settling time, so that
// dialogs coming and going do not call the bus each time. Without a session bus or
// the service nothing happens and nothing is said. Sleep is not touched (the film
// command keeps it away while a film is made).
#include <QObject>
#include <cstdint>
#include <functional>

class QTimer;

namespace movara {

class TScreenSaverRule : public QObject {
  Q_OBJECT
 public:
  static constexpr int kSettleMs = 500;
  explicit TScreenSaverRule(QObject* parent = nullptr);
  ~TScreenSaverRule() override;  // lets go of an inhibition

  // Follows the application's active state from now on (tests drive SetActive).
  void FollowApplication();
  void SetActive(bool active);
  bool Inhibited() const { return FCookie != 0; }

  // The bus calls: inhibit gives a cookie (0 = refused), release takes it back. The
  // session bus unless replaced.
  std::function<uint32_t()> Inhibit;
  std::function<void(uint32_t cookie)> Release;

 private:
  void Apply();
  QTimer* FTimer = nullptr;
  bool FActive = false;
  uint32_t FCookie = 0;
};

}  // namespace movara
