// A termination signal ends every running event loop, the nested one of a
// modal box included, and leaves the transfers' abort descriptor readable for
// good, so that a download waiting then, or starting later, stops at once.
#include "platform/linux/termination_signals.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <csignal>

#include "platform/socket_transport.h"

namespace zx {
namespace {

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

TEST(TerminationSignals, EndEveryLoopAndKeepTheTransferAbortDescriptorReadable) {
    WatchTerminationSignals(QCoreApplication::instance());
    const int abort = TransferAbortDescriptor();
    ASSERT_GE(abort, 0);
    EXPECT_FALSE(TerminationRequested());
    EXPECT_FALSE(Readable(abort));

    int nestedResult = -1;
    QTimer::singleShot(0, [&] {
        QEventLoop nested;  // as a modal box runs it
        QTimer::singleShot(0, [] { std::raise(SIGTERM); });
        nestedResult = nested.exec();
    });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(7); });  // the test's own bound
    const int mainResult = QCoreApplication::exec();
    alarm(0);  // the process's backstop; this test process goes on

    EXPECT_TRUE(TerminationRequested());
    EXPECT_EQ(nestedResult, 0);
    EXPECT_EQ(mainResult, 0);
    EXPECT_TRUE(Readable(abort));
    EXPECT_TRUE(Readable(abort)) << "a wait consumed the termination";
}

}  // namespace
}  // namespace zx
