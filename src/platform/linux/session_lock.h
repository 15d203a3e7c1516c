#pragma once
// Whether the user's session is locked, from logind's LockedHint or the
// desktop's screen saver over D-Bus. Both are asked without waiting for the
// answer, then kept up to date from their change signals, so that start-up
// never blocks on the bus and a 200 ms poll costs nothing.
#include <QDBusError>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace zx {

class SessionLockWatcher : public QObject {
    Q_OBJECT
public:
    SessionLockWatcher();
    // False until a service has answered, and false when neither does.
    bool Locked() const { return logindLocked_ || screenSaverActive_; }

private slots:
    // The answers. A call that fails leaves its service counted as unlocked.
    void OnSessionPath(const QDBusMessage& reply);
    void OnLockedHint(const QDBusMessage& reply);
    void OnScreenSaverAnswer(const QDBusMessage& reply);
    void OnNoAnswer(const QDBusError& error);
    void OnLogindProperties(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void OnScreenSaverActive(bool active);

private:
    QString sessionPath_;
    bool logindLocked_ = false;
    bool screenSaverActive_ = false;
    // A change signal that arrived before the first answer is newer than it.
    bool logindSignalled_ = false;
    bool screenSaverSignalled_ = false;
};

}  // namespace zx
