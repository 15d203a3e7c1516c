// The synchronous window message between two processes on the X server.
#include "platform/linux/window_message.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <thread>

#include "support/child_process.h"
#include "support/forked_child.h"
#include "support/x11_probe.h"

namespace zx {
namespace {

using namespace std::chrono_literals;

long long MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// The receiver program with its shown window.
class Receiver {
public:
    Receiver() : process_({ZX_WINDOW_MESSAGE_RECEIVER}, {}, test::kTalkOverPipes) {
        auto line = process_.ReadLine(60000);
        if (line && line->rfind("W ", 0) == 0) window_ = std::strtoull(line->c_str() + 2, nullptr, 10);
    }
    ~Receiver() {
        process_.WriteLine("quit");
        process_.WaitExit(10000);
    }
    WindowId window() const { return window_; }
    test::ChildProcess& process() { return process_; }

private:
    test::ChildProcess process_;
    WindowId window_ = 0;
};

// A window that exists but whose owner answers no messages.
class SilentWindow {
public:
    SilentWindow() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_)) return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        id_ = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, id_, screen->root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, 0, nullptr);
        xcb_flush(c_);
        free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));  // a round trip
    }
    ~SilentWindow() { xcb_disconnect(c_); }
    void Destroy() {
        xcb_destroy_window(c_, id_);
        free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
    WindowId id() const { return id_; }

private:
    xcb_connection_t* c_;
    xcb_window_t id_ = 0;
};

class WindowMessageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(std::getenv("DISPLAY")) << "needs the X server that ./test starts"; }
};

TEST_F(WindowMessageTest, RunningReceiverAnswersZeroAndGoesOn) {
    Receiver receiver;
    ASSERT_NE(receiver.window(), 0u);
    EXPECT_EQ(SendInstanceNotification(receiver.window()), std::optional<intptr_t>(0));
    // It is still there and answers again.
    EXPECT_EQ(SendInstanceNotification(receiver.window()), std::optional<intptr_t>(0));
    EXPECT_TRUE(receiver.process().Running());
}

TEST_F(WindowMessageTest, WindowsThatDoNotExistFailQuietlyAndQuickly) {
    SilentWindow gone;
    gone.Destroy();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendInstanceNotification(0), std::nullopt);
    EXPECT_EQ(SendInstanceNotification(gone.id()), std::nullopt);
    EXPECT_EQ(SendInstanceNotification(0x1FFFFFFF), std::nullopt);
    EXPECT_EQ(SendInstanceNotification(uint64_t{1} << 40), std::nullopt);
    // Far below the 60 s that an unanswered message may wait.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST_F(WindowMessageTest, WindowWhoseOwnerNeverAnswersFailsAtTheTimeLimit) {
    SilentWindow silent;
    EXPECT_EQ(SendInstanceNotification(silent.id(), 300ms), std::nullopt);
}

TEST_F(WindowMessageTest, WithoutADisplayTheSendFailsQuietly) {
    Receiver receiver;
    ASSERT_NE(receiver.window(), 0u);
    test::Child child([&] {
        unsetenv("DISPLAY");
        return SendInstanceNotification(receiver.window()) == std::nullopt ? 0 : 1;
    });
    EXPECT_EQ(child.Wait(), 0);
}

TEST_F(WindowMessageTest, SenderWaitsWhileTheReceiversGuiThreadIsBusy) {
    Receiver receiver;
    ASSERT_NE(receiver.window(), 0u);
    receiver.process().WriteLine("busy");
    ASSERT_EQ(receiver.process().ReadLine(), "B");
    auto result = SendInstanceNotification(receiver.window());
    const long long returned = MonotonicNs();
    EXPECT_EQ(result, std::optional<intptr_t>(0));
    auto free = receiver.process().ReadLine();
    ASSERT_TRUE(free && free->rfind("F ", 0) == 0) << free.value_or("(nothing)");
    const long long becameFree = std::strtoll(free->c_str() + 2, nullptr, 10);
    EXPECT_GE(returned, becameFree) << "the answer came before the receiver's GUI thread was free";
}

// Any client may send the message with any words in it: the reply window 0
// (the pointer's window), 1 (the focus), the receiver's own window, or a
// message that is not the notification. None of them makes the receiver talk
// to itself; a flood gets a few answers; the real notice is still answered.
TEST_F(WindowMessageTest, ForgedMessagesGetNoAnswerThatLoopsAndAFloodGetsFew) {
    Receiver receiver;
    ASSERT_NE(receiver.window(), 0u);
    SilentWindow listener;  // the forger, with a window of its own to hear answers on
    test::X11Probe forger;
    ASSERT_TRUE(forger.Connected());
    auto send = [&](uint32_t msg, uint32_t reply, uint32_t extra) {
        forger.SendClientMessage(static_cast<uint32_t>(receiver.window()), "_ZELTRIX_WINDOW_MESSAGE",
                                 {msg, extra, 0, reply, 0});
    };
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(c));
    // The pointer rests on the receiver's window, which also has the focus.
    xcb_warp_pointer(c, XCB_NONE, static_cast<xcb_window_t>(receiver.window()), 0, 0, 0, 0, 10, 10);
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, static_cast<xcb_window_t>(receiver.window()),
                        XCB_CURRENT_TIME);
    const long long before = test::CpuTicks(receiver.process().Pid());
    const auto start = std::chrono::steady_clock::now();
    for (const uint32_t reply : {0u, 1u, static_cast<uint32_t>(receiver.window())}) send(1025, reply, 0);
    send(7, static_cast<uint32_t>(listener.id()), 0);     // not the notification
    send(1025, static_cast<uint32_t>(listener.id()), 9);  // malformed
    for (int i = 0; i < 500; ++i) send(1025, static_cast<uint32_t>(listener.id()), 0);
    xcb_flush(c);
    std::this_thread::sleep_for(2s);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double share = double(test::CpuTicks(receiver.process().Pid()) - before) / sysconf(_SC_CLK_TCK) / seconds;
    EXPECT_LT(share, 0.2) << "the receiver keeps itself busy";
    EXPECT_EQ(SendInstanceNotification(receiver.window()), std::optional<intptr_t>(0));
    xcb_disconnect(c);
}

}  // namespace
}  // namespace zx
