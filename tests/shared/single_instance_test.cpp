// The single-instance protocol: start-up test, publishing and withdrawing.
#include "shared/single_instance.h"

#include <gtest/gtest.h>

#include "base/exception.h"
#include "shared/process_shared_string.h"
#include "support/forked_child.h"
#include "support/named_objects_platform.h"

namespace zx {
namespace {

using namespace std::chrono_literals;
using test::Child;
using test::Pipe;

// Records every notification, and whether another process could take the
// lock at that moment: a copy that notifies while holding it can deadlock
// with a running copy that is withdrawing.
class NotifyProbe : public NamedObjectsPlatform {
public:
    struct Sent {
        WindowId window;
        bool lockFree;
    };
    std::vector<Sent> sent;

    bool NotifyRunningCopy(WindowId window) override {
        Child other([] {
            NamedMutex m(TProcessSharedAnsiString::kMutexName);
            m.Lock();
            m.Unlock();
            return 0;
        });
        sent.push_back({window, other.Wait(5s) == 0});
        return false;
    }
};

class SingleInstanceTest : public test::PrivateNamesTest {
protected:
    ScopedPlatform<NotifyProbe> probe_;
};

TEST_F(SingleInstanceTest, FirstCopyGoesOnAndMarksItselfStarting) {
    const std::string name = Name("first");
    SingleInstance first(name);
    EXPECT_TRUE(first.StartupTest());
    EXPECT_EQ(TProcessSharedAnsiString(name).Read(), "0");
    EXPECT_TRUE(probe_->sent.empty());
}

TEST_F(SingleInstanceTest, CopyFindingOneThatStartsNotifiesHandleZeroOutsideTheLockAndEnds) {
    const std::string name = Name("starting");
    SingleInstance first(name);
    ASSERT_TRUE(first.StartupTest());
    SingleInstance second(name);
    EXPECT_FALSE(second.StartupTest());
    ASSERT_EQ(probe_->sent.size(), 1u);
    EXPECT_EQ(probe_->sent[0].window, 0u);
    EXPECT_TRUE(probe_->sent[0].lockFree);
    EXPECT_EQ(TProcessSharedAnsiString(name).Read(), "0") << "the ending copy changed the text";
    second.Withdraw();  // nothing left to withdraw
    EXPECT_EQ(TProcessSharedAnsiString(name).Read(), "0");
}

TEST_F(SingleInstanceTest, PublishedHandleIsNotifiedAndWithdrawLeavesTheTextEmpty) {
    const std::string name = Name("running");
    SingleInstance running(name);
    ASSERT_TRUE(running.StartupTest());
    running.Publish(0x1C00007);
    EXPECT_EQ(TProcessSharedAnsiString(name).Read(), "29360135");

    SingleInstance second(name);
    EXPECT_FALSE(second.StartupTest());
    ASSERT_EQ(probe_->sent.size(), 1u);
    EXPECT_EQ(probe_->sent[0].window, 0x1C00007u);
    EXPECT_TRUE(probe_->sent[0].lockFree);

    running.Withdraw();
    EXPECT_EQ(TProcessSharedAnsiString(name).Read(), "");
    running.Withdraw();
    SingleInstance later(name);
    EXPECT_TRUE(later.StartupTest()) << "a copy after the running one ended starts";
}

TEST_F(SingleInstanceTest, TextThatIsNoIntegerFailsWithTheLockReleased) {
    for (const char* bad : {"abc", "2147483648", "12 "}) {
        const std::string name = Name("bad");
        TProcessSharedAnsiString(name).Write(bad);
        SingleInstance copy(name);
        try {
            copy.StartupTest();
            ADD_FAILURE() << "no exception for " << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
        }
        EXPECT_TRUE(probe_->sent.empty());
        Child other([] {
            NamedMutex m(TProcessSharedAnsiString::kMutexName);
            m.Lock();
            m.Unlock();
            return 0;
        });
        EXPECT_EQ(other.Wait(10s), 0) << "the lock was left held";
        EXPECT_EQ(TProcessSharedAnsiString(name).Read(), bad);
    }
}

// Two copies started at the same moment, in real processes: the test-and-set
// under the lock lets exactly one of them through, also while the record
// itself is being created.
TEST_F(SingleInstanceTest, OfTwoCopiesStartedTogetherExactlyOneGoesOn) {
    constexpr int kRounds = 200;
    for (int round = 0; round < kRounds; ++round) {
        const std::string name = Name("race");
        Pipe gate, results, hold;
        auto copy = [&] {
            hold.CloseWrite();
            gate.Receive();
            SingleInstance instance(name);
            bool goesOn = instance.StartupTest();
            results.Send(goesOn ? 'W' : 'L');
            // Stay alive, holding the record, until both have answered.
            hold.Receive(60s);
            return 0;
        };
        Child a(copy), b(copy);
        gate.Send();
        gate.Send();
        auto r1 = results.Receive();
        auto r2 = results.Receive();
        hold.CloseWrite();
        ASSERT_TRUE(r1 && r2) << "round " << round;
        ASSERT_EQ((*r1 == 'W') + (*r2 == 'W'), 1) << "round " << round << ": " << *r1 << *r2;
        EXPECT_EQ(a.Wait(), 0);
        EXPECT_EQ(b.Wait(), 0);
    }
}

}  // namespace
}  // namespace zx
