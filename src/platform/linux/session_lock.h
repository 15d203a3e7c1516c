#pragma once
// Whether the user's session is locked, from logind's LockedHint or the
// desktop's screen saver over D-Bus. Asked once, then kept up to date from
// their change signals, so that a 200 ms poll costs nothing.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace zx {

class SessionLockWatcher : public QObject {
    Q_OBJECT
public:
    SessionLockWatcher();
    // True when neither service answers.
    bool Locked() const { return logindLocked_ || screenSaverActive_; }

private slots:
    void OnLogindProperties(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
    void OnScreenSaverActive(bool active);

private:
    QString sessionPath_;
    bool logindLocked_ = false;
    bool screenSaverActive_ = false;
};

}  // namespace zx
