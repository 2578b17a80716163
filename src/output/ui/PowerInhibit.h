#pragma once
// Keeps the screen saver and sleep away while a film is generated, through the
// desktop's D-Bus services: org.freedesktop.ScreenSaver (Inhibit / UnInhibit) and
// logind (an "idle:sleep" block lock held as a file descriptor). Without a session or
// system bus, or without the services, it does nothing and says nothing.
#include <QString>
#include <memory>

namespace movara {

class TPowerInhibit {
 public:
  TPowerInhibit() = default;
  ~TPowerInhibit();
  TPowerInhibit(const TPowerInhibit&) = delete;
  TPowerInhibit& operator=(const TPowerInhibit&) = delete;

  // Asks both services; true when at least one took the request.
  bool Acquire(const QString& reason);
  void Release();
  bool ScreenSaverInhibited() const { return FCookie != 0; }
  bool SleepInhibited() const { return FSleepFd >= 0; }

 private:
  uint32_t FCookie = 0;
  int FSleepFd = -1;
};

}  // namespace movara
