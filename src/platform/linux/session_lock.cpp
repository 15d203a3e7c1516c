#include "platform/linux/session_lock.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>

namespace zx {
namespace {

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
constexpr char kScreenSaver[] = "org.freedesktop.ScreenSaver";
constexpr char kScreenSaverPath[] = "/org/freedesktop/ScreenSaver";

}  // namespace

// Every call goes out with a callback and returns at once; the answers come
// through the event loop.
SessionLockWatcher::SessionLockWatcher() {
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(kLogind, "/org/freedesktop/login1",
                                                           "org.freedesktop.login1.Manager", "GetSessionByPID");
        call << static_cast<uint>(getpid());
        system.callWithCallback(call, this, SLOT(OnSessionPath(QDBusObjectPath)));
    }
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        // Listening before asking, so that no change between the two is lost.
        session.connect(kScreenSaver, kScreenSaverPath, kScreenSaver, "ActiveChanged", this,
                        SLOT(OnScreenSaverActive(bool)));
        session.callWithCallback(
            QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver, "GetActive"), this,
            SLOT(OnScreenSaverAnswer(bool)));
    }
}

void SessionLockWatcher::OnSessionPath(const QDBusObjectPath& path) {
    sessionPath_ = path.path();
    QDBusConnection system = QDBusConnection::systemBus();
    system.connect(kLogind, sessionPath_, kProperties, "PropertiesChanged", this,
                   SLOT(OnLogindProperties(QString, QVariantMap, QStringList)));
    QDBusMessage get = QDBusMessage::createMethodCall(kLogind, sessionPath_, kProperties, "Get");
    get << QString("org.freedesktop.login1.Session") << QString("LockedHint");
    system.callWithCallback(get, this, SLOT(OnLockedHint(QDBusVariant)));
}

void SessionLockWatcher::OnLockedHint(const QDBusVariant& hint) {
    if (!logindSignalled_) logindLocked_ = hint.variant().toBool();
}

void SessionLockWatcher::OnScreenSaverAnswer(bool active) {
    if (!screenSaverSignalled_) screenSaverActive_ = active;
}

void SessionLockWatcher::OnLogindProperties(const QString&, const QVariantMap& changed, const QStringList&) {
    auto it = changed.find("LockedHint");
    if (it == changed.end()) return;
    logindLocked_ = it->toBool();
    logindSignalled_ = true;
}

void SessionLockWatcher::OnScreenSaverActive(bool active) {
    screenSaverActive_ = active;
    screenSaverSignalled_ = true;
}

}  // namespace zx
