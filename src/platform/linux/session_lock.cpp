#include "platform/linux/session_lock.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace zx {
namespace {

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
constexpr char kScreenSaver[] = "org.freedesktop.ScreenSaver";

// Sends `call` on `bus` and hands its answer to `slot` of `owner` when it comes.
void Ask(const QDBusConnection& bus, const QDBusMessage& call, QObject* owner, const char* slot) {
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(call), owner);
    QObject::connect(pending, SIGNAL(finished(QDBusPendingCallWatcher*)), owner, slot);
}

}  // namespace

SessionLockWatcher::SessionLockWatcher() {
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(kLogind, "/org/freedesktop/login1",
                                                           "org.freedesktop.login1.Manager", "GetSessionByPID");
        call << static_cast<uint>(getpid());
        Ask(system, call, this, SLOT(OnSessionPath(QDBusPendingCallWatcher*)));
    }
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        // Listening before asking, so that no change between the two is lost.
        session.connect(kScreenSaver, "/org/freedesktop/ScreenSaver", kScreenSaver, "ActiveChanged", this,
                        SLOT(OnScreenSaverActive(bool)));
        Ask(session,
            QDBusMessage::createMethodCall(kScreenSaver, "/org/freedesktop/ScreenSaver", kScreenSaver, "GetActive"),
            this, SLOT(OnScreenSaverAnswer(QDBusPendingCallWatcher*)));
    }
}

void SessionLockWatcher::OnSessionPath(QDBusPendingCallWatcher* call) {
    call->deleteLater();
    QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError()) return;
    sessionPath_ = reply.value().path();
    QDBusConnection system = QDBusConnection::systemBus();
    system.connect(kLogind, sessionPath_, kProperties, "PropertiesChanged", this,
                   SLOT(OnLogindProperties(QString, QVariantMap, QStringList)));
    QDBusMessage get = QDBusMessage::createMethodCall(kLogind, sessionPath_, kProperties, "Get");
    get << QString("org.freedesktop.login1.Session") << QString("LockedHint");
    Ask(system, get, this, SLOT(OnLockedHint(QDBusPendingCallWatcher*)));
}

void SessionLockWatcher::OnLockedHint(QDBusPendingCallWatcher* call) {
    call->deleteLater();
    QDBusPendingReply<QDBusVariant> reply = *call;
    if (!reply.isError() && !logindSignalled_) logindLocked_ = reply.value().variant().toBool();
}

void SessionLockWatcher::OnScreenSaverAnswer(QDBusPendingCallWatcher* call) {
    call->deleteLater();
    QDBusPendingReply<bool> reply = *call;
    if (!reply.isError() && !screenSaverSignalled_) screenSaverActive_ = reply.value();
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
