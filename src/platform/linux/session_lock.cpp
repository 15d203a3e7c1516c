#include "platform/linux/session_lock.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

namespace zx {
namespace {
constexpr int kCallTimeoutMs = 500;
}

SessionLockWatcher::SessionLockWatcher() {
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                               system);
        manager.setTimeout(kCallTimeoutMs);
        QDBusReply<QDBusObjectPath> session = manager.call("GetSessionByPID", static_cast<uint>(getpid()));
        if (session.isValid()) {
            sessionPath_ = session.value().path();
            QDBusInterface props("org.freedesktop.login1", sessionPath_, "org.freedesktop.DBus.Properties", system);
            props.setTimeout(kCallTimeoutMs);
            QDBusReply<QDBusVariant> hint = props.call("Get", "org.freedesktop.login1.Session", "LockedHint");
            if (hint.isValid()) logindLocked_ = hint.value().variant().toBool();
            system.connect("org.freedesktop.login1", sessionPath_, "org.freedesktop.DBus.Properties",
                           "PropertiesChanged", this, SLOT(OnLogindProperties(QString, QVariantMap, QStringList)));
        }
    }
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        QDBusInterface saver("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                             "org.freedesktop.ScreenSaver", session);
        saver.setTimeout(kCallTimeoutMs);
        QDBusReply<bool> active = saver.call("GetActive");
        if (active.isValid()) screenSaverActive_ = active.value();
        session.connect("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                        "ActiveChanged", this, SLOT(OnScreenSaverActive(bool)));
    }
}

void SessionLockWatcher::OnLogindProperties(const QString&, const QVariantMap& changed, const QStringList&) {
    auto it = changed.find("LockedHint");
    if (it != changed.end()) logindLocked_ = it->toBool();
}

void SessionLockWatcher::OnScreenSaverActive(bool active) {
    screenSaverActive_ = active;
}

}  // namespace zx
