#include "platform/linux/session_lock.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include "platform/linux/log_categories.h"

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
        system.callWithCallback(call, this, SLOT(OnSessionPath(QDBusMessage)), SLOT(OnNoAnswer(QDBusError)));
    } else {
        qCDebug(lcLock, "no system bus: logind's lock hint is not followed");
    }
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        // Listening before asking, so that no change between the two is lost.
        session.connect(kScreenSaver, kScreenSaverPath, kScreenSaver, "ActiveChanged", this,
                        SLOT(OnScreenSaverActive(bool)));
        session.callWithCallback(
            QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver, "GetActive"), this,
            SLOT(OnScreenSaverAnswer(QDBusMessage)), SLOT(OnNoAnswer(QDBusError)));
    } else {
        qCDebug(lcLock, "no session bus: the screen saver is not followed");
    }
}

void SessionLockWatcher::OnSessionPath(const QDBusMessage& reply) {
    sessionPath_ = qdbus_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
    if (sessionPath_.isEmpty()) {
        qCDebug(lcLock, "logind names no session for this process: its lock hint is not followed");
        return;
    }
    QDBusConnection system = QDBusConnection::systemBus();
    system.connect(kLogind, sessionPath_, kProperties, "PropertiesChanged", this,
                   SLOT(OnLogindProperties(QString, QVariantMap, QStringList)));
    QDBusMessage get = QDBusMessage::createMethodCall(kLogind, sessionPath_, kProperties, "Get");
    get << QString("org.freedesktop.login1.Session") << QString("LockedHint");
    system.callWithCallback(get, this, SLOT(OnLockedHint(QDBusMessage)), SLOT(OnNoAnswer(QDBusError)));
}

void SessionLockWatcher::OnLockedHint(const QDBusMessage& reply) {
    const QVariant hint = qdbus_cast<QDBusVariant>(reply.arguments().value(0)).variant();
    if (!logindSignalled_) logindLocked_ = hint.toBool();
    qCDebug(lcLock, "logind's lock hint: %s", hint.toBool() ? "locked" : "unlocked");
}

void SessionLockWatcher::OnScreenSaverAnswer(const QDBusMessage& reply) {
    if (!screenSaverSignalled_) screenSaverActive_ = reply.arguments().value(0).toBool();
    qCDebug(lcLock, "the screen saver: %s", reply.arguments().value(0).toBool() ? "active" : "inactive");
}

// No logind or no screen saver is an ordinary desktop: its service counts as
// unlocked, and only diagnostics hear of it.
void SessionLockWatcher::OnNoAnswer(const QDBusError& error) {
    qCDebug(lcLock, "no answer, counted as unlocked: %s: %s", qUtf8Printable(error.name()),
            qUtf8Printable(error.message()));
}

void SessionLockWatcher::OnLogindProperties(const QString&, const QVariantMap& changed, const QStringList&) {
    auto it = changed.find("LockedHint");
    if (it == changed.end()) return;
    logindLocked_ = it->toBool();
    logindSignalled_ = true;
    qCDebug(lcLock, "logind's lock hint changed: %s", logindLocked_ ? "locked" : "unlocked");
}

void SessionLockWatcher::OnScreenSaverActive(bool active) {
    screenSaverActive_ = active;
    screenSaverSignalled_ = true;
    qCDebug(lcLock, "the screen saver changed: %s", active ? "active" : "inactive");
}

}  // namespace zx
