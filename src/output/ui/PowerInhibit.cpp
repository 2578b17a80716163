#include "output/ui/PowerInhibit.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
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

namespace {

// Connections of their own, made for each film: the bus of the moment is the one asked
// (the program's default connection would keep the first answer for good).
constexpr const char* kSession = "movara-inhibit-session";
constexpr const char* kSystem = "movara-inhibit-system";

}  // namespace

TPowerInhibit::~TPowerInhibit() { Release(); }

bool TPowerInhibit::Acquire(const QString& reason) {
  Release();
  // the session's address as it is now (the bus library keeps the first one it read)
  const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
  QDBusConnection session = address.isEmpty() ? QDBusConnection(QString())
                                              : QDBusConnection::connectToBus(address, kSession);
  if (HasService(session, "org.freedesktop.ScreenSaver")) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                                       "org.freedesktop.ScreenSaver", "Inhibit");
    call << QStringLiteral("Movara") << reason;
    const QDBusReply<uint32_t> cookie = session.call(call, QDBus::Block, 1000);
    if (cookie.isValid()) FCookie = cookie.value();
  }
  QDBusConnection system = QDBusConnection::connectToBus(QDBusConnection::SystemBus, kSystem);
  if (HasService(system, "org.freedesktop.login1")) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                       "org.freedesktop.login1.Manager", "Inhibit");
    call << QStringLiteral("idle:sleep") << QStringLiteral("Movara") << reason << QStringLiteral("block");
    const QDBusReply<QDBusUnixFileDescriptor> fd = system.call(call, QDBus::Block, 1000);
    if (fd.isValid() && fd.value().isValid()) FSleepFd = ::dup(fd.value().fileDescriptor());
  }
  if (FCookie == 0) QDBusConnection::disconnectFromBus(kSession);
  QDBusConnection::disconnectFromBus(kSystem);
  TraceF("[TPowerInhibit.Acquire] ScreenSaver = %d, Sleep = %d", FCookie != 0 ? 1 : 0, FSleepFd >= 0 ? 1 : 0);
  return FCookie != 0 || FSleepFd >= 0;
}

void TPowerInhibit::Release() {
  if (FCookie != 0) {
    QDBusConnection session(kSession);
    if (session.isConnected()) {
      QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                                         "org.freedesktop.ScreenSaver", "UnInhibit");
      call << FCookie;
      session.call(call, QDBus::Block, 1000);
    }
    QDBusConnection::disconnectFromBus(kSession);
    FCookie = 0;
  }
  if (FSleepFd >= 0) {
    ::close(FSleepFd);  // logind lets go of the lock with its last descriptor
    FSleepFd = -1;
  }
}

}  // namespace movara
