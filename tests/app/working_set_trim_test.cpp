// When the program hands back the memory of code it ran: once after a quiet
// moment that follows start-up, a burst of page loads or a window hiding.
#include "app/working_set_trim.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include "htmlview/html_engine.h"
#include "support/fake_platform.h"

namespace zx {
namespace {

using namespace std::chrono_literals;

TEST(WorkingSetTrim, OnceAfterEachQuietMomentThatFollowsABurstLoadsOrAHide) {
    constexpr auto kQuiet = 300ms;
    // To see that no further trim comes: one would come a quiet moment after
    // the last, so nothing within two means none.
    constexpr int kNoneMs = static_cast<int>(2 * kQuiet.count());
    ScopedFakePlatform fake;
    WorkingSetTrim trim(kQuiet);
    QWidget window;
    trim.Watch(window);

    for (int i = 0; i < 5; ++i) trim.Poke();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake->pageReleases > 0; }, 5000));
    QTest::qWait(kNoneMs);
    EXPECT_EQ(fake->pageReleases, 1);

    // Any view's finished load, while the trim lives.
    PageLoaded();
    PageLoaded();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake->pageReleases > 1; }, 5000));

    window.show();
    window.hide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake->pageReleases > 2; }, 5000));
    QTest::qWait(kNoneMs);
    EXPECT_EQ(fake->pageReleases, 3);
}

}  // namespace
}  // namespace zx
