#include "app/ui/ScreenSaverRule.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QGuiApplication>
#include <QTimer>

#include "base/Trace.h"

namespace movara {
namespace {

// A connection of its own at the session's address of the moment.
constexpr const char* kConnection = "movara-screensaver-rule";

QDBusConnection Session() {
  const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
  if (address.isEmpty()) return QDBusConnection(QString());
  QDBusConnection bus(kConnection);
  return bus.isConnected() ? bus : QDBusConnection::connectToBus(address, kConnection);
}

QDBusMessage Call(const char* method) {
  return QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                        "org.freedesktop.ScreenSaver", method);
}

uint32_t BusInhibit() {
  QDBusConnection bus = Session();
  if (!bus.isConnected() || !bus.interface()) return 0;
  const QDBusReply<bool> there = bus.interface()->isServiceRegistered("org.freedesktop.ScreenSaver");
  if (!there.isValid() || !there.value()) return 0;
  QDBusMessage call = Call("Inhibit");
  call << QStringLiteral("Movara") << QStringLiteral("Praca w programie Movara");
  const QDBusReply<uint32_t> cookie = bus.call(call, QDBus::Block, 1000);
  return cookie.isValid() ? cookie.value() : 0;
}

void BusRelease(uint32_t cookie) {
  QDBusConnection bus(kConnection);
  if (!bus.isConnected()) return;
  QDBusMessage call = Call("UnInhibit");
  call << cookie;
  bus.call(call, QDBus::Block, 1000);
}

}  // namespace

TScreenSaverRule::TScreenSaverRule(QObject* parent)
    : QObject(parent), Inhibit(BusInhibit), Release(BusRelease), FTimer(new QTimer(this)) {
  FTimer->setSingleShot(true);
  FTimer->setInterval(kSettleMs);
  connect(FTimer, &QTimer::timeout, this, &TScreenSaverRule::Apply);
}

TScreenSaverRule::~TScreenSaverRule() {
  if (FCookie != 0 && Release) Release(FCookie);
  FCookie = 0;
}

void TScreenSaverRule::FollowApplication() {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app) return;
  connect(app, &QGuiApplication::applicationStateChanged, this,
          [this](Qt::ApplicationState state) { SetActive(state == Qt::ApplicationActive); });
  SetActive(QGuiApplication::applicationState() == Qt::ApplicationActive);
}

void TScreenSaverRule::SetActive(bool active) {
  FActive = active;
  FTimer->start();
}

void TScreenSaverRule::Apply() {
  if (FActive && FCookie == 0) {
    FCookie = Inhibit ? Inhibit() : 0;
    TraceF("[TMovaraForm.ScreenSaver] Inhibited = %d", FCookie != 0 ? 1 : 0);
  } else if (!FActive && FCookie != 0) {
    if (Release) Release(FCookie);
    FCookie = 0;
    Trace("[TMovaraForm.ScreenSaver] Released");
  }
}

}  // namespace movara
