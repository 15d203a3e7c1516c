// The session-lock watcher against a private D-Bus bus with stand-ins for
// logind and the desktop's screen saver, served from a thread of their own,
// which a test can hold to keep their answers back.
#include "platform/linux/session_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

extern char** environ;

namespace zx {
namespace {

constexpr char kSessionPath[] = "/org/freedesktop/login1/session/_31";

// A private bus: dbus-daemon with the session configuration.
class PrivateBus {
public:
    PrivateBus() {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        char a0[] = "dbus-daemon", a1[] = "--session", a2[] = "--nofork", a3[] = "--print-address=1";
        char* argv[] = {a0, a1, a2, a3, nullptr};
        if (posix_spawnp(&pid_, "dbus-daemon", &fa, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        FILE* f = fdopen(out[0], "r");
        char line[512] = {};
        if (f && fgets(line, sizeof line, f)) address_ = std::string(line, strcspn(line, "\n"));
        if (f) fclose(f);
    }
    ~PrivateBus() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& address() const { return address_; }

private:
    pid_t pid_ = -1;
    std::string address_;
};

class ScreenSaverAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit ScreenSaverAdaptor(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    bool active = false;
public slots:
    bool GetActive() { return active; }
signals:
    void ActiveChanged(bool active);
};

class ManagerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    explicit ManagerAdaptor(QObject* parent) : QDBusAbstractAdaptor(parent) {}
public slots:
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(kSessionPath); }
};

class SessionAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool LockedHint READ LockedHint)
public:
    explicit SessionAdaptor(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    bool locked = false;
    bool LockedHint() const { return locked; }
};

// Serves the stand-ins on a connection of its own, from its own thread.
class Services : public QObject {
public:
    Services(const std::string& address, bool logind, bool screenSaver, bool locked, bool active)
        : conn_(QDBusConnection::connectToBus(QString::fromStdString(address), "services")) {
        root_.moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            &root_,
            [=, this] {
                if (screenSaver) {
                    saverObject_ = new QObject(&root_);
                    saver_ = new ScreenSaverAdaptor(saverObject_);
                    saver_->active = active;
                    conn_.registerObject("/org/freedesktop/ScreenSaver", saverObject_);
                    conn_.registerService("org.freedesktop.ScreenSaver");
                }
                if (logind) {
                    managerObject_ = new QObject(&root_);
                    new ManagerAdaptor(managerObject_);
                    sessionObject_ = new QObject(&root_);
                    session_ = new SessionAdaptor(sessionObject_);
                    session_->locked = locked;
                    conn_.registerObject("/org/freedesktop/login1", managerObject_);
                    conn_.registerObject(kSessionPath, sessionObject_, QDBusConnection::ExportAdaptors);
                    conn_.registerService("org.freedesktop.login1");
                }
            },
            Qt::BlockingQueuedConnection);
    }
    ~Services() override {
        QMetaObject::invokeMethod(
            &root_, [this] { qDeleteAll(root_.children()); }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
        QDBusConnection::disconnectFromBus("services");
    }
    void SetActive(bool active) {
        QMetaObject::invokeMethod(
            &root_, [=, this] { emit saver_->ActiveChanged(active); }, Qt::BlockingQueuedConnection);
    }
    void SetLocked(bool locked) {
        QMetaObject::invokeMethod(
            &root_,
            [=, this] {
                session_->locked = locked;
                QDBusMessage signal =
                    QDBusMessage::createSignal(kSessionPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
                signal << QString("org.freedesktop.login1.Session") << QVariantMap{{"LockedHint", locked}}
                       << QStringList{};
                conn_.send(signal);
            },
            Qt::BlockingQueuedConnection);
    }
    // Keeps the services' thread busy, so calls wait unanswered until Release.
    void Hold() {
        QMetaObject::invokeMethod(
            &root_, [this] { held_.acquire(); }, Qt::QueuedConnection);
    }
    void Release() { held_.release(); }
    struct Root : QObject {};

private:
    QDBusConnection conn_;
    QThread thread_;
    Root root_;
    QObject* saverObject_ = nullptr;
    ScreenSaverAdaptor* saver_ = nullptr;
    QObject* managerObject_ = nullptr;
    QObject* sessionObject_ = nullptr;
    SessionAdaptor* session_ = nullptr;
    QSemaphore held_;
};

bool WaitFor(const SessionLockWatcher& w, bool locked) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (w.Locked() == locked) return true;
    }
    return false;
}

// One private bus for the whole run: the toolkit connects to the system and
// session buses once per process and keeps those connections.
class SessionLockTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        bus_ = new PrivateBus;
        // Both the system and the session bus are the private one.
        setenv("DBUS_SESSION_BUS_ADDRESS", bus_->address().c_str(), 1);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", bus_->address().c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete bus_;
        bus_ = nullptr;
    }
    void SetUp() override { ASSERT_FALSE(bus_->address().empty()) << "dbus-daemon did not start"; }
    static PrivateBus* bus_;
};
PrivateBus* SessionLockTest::bus_ = nullptr;

TEST_F(SessionLockTest, UnlockedWhenNeitherServiceAnswers) {
    SessionLockWatcher watcher;
    EXPECT_FALSE(watcher.Locked());
}

TEST_F(SessionLockTest, FollowsTheScreenSaverAndItsSignal) {
    Services services(bus_->address(), false, true, false, true);
    SessionLockWatcher watcher;
    EXPECT_TRUE(WaitFor(watcher, true));
    services.SetActive(false);
    EXPECT_TRUE(WaitFor(watcher, false));
    services.SetActive(true);
    EXPECT_TRUE(WaitFor(watcher, true));
}

TEST_F(SessionLockTest, FollowsLogindsLockedHint) {
    Services services(bus_->address(), true, false, true, false);
    SessionLockWatcher watcher;
    EXPECT_TRUE(WaitFor(watcher, true));
    services.SetLocked(false);
    EXPECT_TRUE(WaitFor(watcher, false));
}

// Start-up does not wait for the bus: unlocked until the answers come, however
// late, and locked once they say so.
TEST_F(SessionLockTest, UnlockedUntilLateAnswersArrive) {
    Services services(bus_->address(), true, true, true, true);
    services.Hold();
    SessionLockWatcher watcher;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(watcher.Locked());
    services.Release();
    EXPECT_TRUE(WaitFor(watcher, true));
}

}  // namespace
}  // namespace zx

#include "session_lock_test.moc"
