#include "output/ui/PowerInhibit.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

#include <unistd.h>

#include "base/Trace.h"

namespace movara {
namespace {

// A service that may be missing: the call is not even tried then (no waiting for a
// bus timeout).
bool HasService(const QDBusConnection& bus, const char* name) {
  if (!bus.isConnected() || !bus.interface()) return false;
  const QDBusReply<bool> r = bus.interface()->isServiceRegistered(QString::fromLatin1(name));
  return r.isValid() && r.value();
}

}  // namespace

TPowerInhibit::~TPowerInhibit() { Release(); }

bool TPowerInhibit::Acquire(const QString& reason) {
  Release();
  QDBusConnection session = QDBusConnection::sessionBus();
  if (HasService(session, "org.freedesktop.ScreenSaver")) {
    QDBusInterface saver("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                         session);
    saver.setTimeout(1000);
    const QDBusReply<uint32_t> cookie = saver.call("Inhibit", QStringLiteral("Movara"), reason);
    if (cookie.isValid()) FCookie = cookie.value();
  }
  QDBusConnection system = QDBusConnection::systemBus();
  if (HasService(system, "org.freedesktop.login1")) {
    QDBusInterface logind("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                          system);
    logind.setTimeout(1000);
    const QDBusReply<QDBusUnixFileDescriptor> fd =
        logind.call("Inhibit", QStringLiteral("idle:sleep"), QStringLiteral("Movara"), reason, QStringLiteral("block"));
    if (fd.isValid() && fd.value().isValid()) FSleepFd = ::dup(fd.value().fileDescriptor());
  }
  TraceF("[TPowerInhibit.Acquire] ScreenSaver = %d, Sleep = %d", FCookie != 0 ? 1 : 0, FSleepFd >= 0 ? 1 : 0);
  return FCookie != 0 || FSleepFd >= 0;
}

void TPowerInhibit::Release() {
  if (FCookie != 0) {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
      QDBusInterface saver("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                           "org.freedesktop.ScreenSaver", session);
      saver.setTimeout(1000);
      saver.call(QDBus::NoBlock, "UnInhibit", FCookie);
    }
    FCookie = 0;
  }
  if (FSleepFd >= 0) {
    ::close(FSleepFd);  // logind lets go of the lock with its last descriptor
    FSleepFd = -1;
  }
}

}  // namespace movara
