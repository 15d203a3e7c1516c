// The log-out query: the close confirmation only with the session manager's
// permission, and a refused log-out only on the confirmation's refusal.
#include "app/logout_query.h"

#include <gtest/gtest.h>

namespace zx {
namespace {

// Stands in for the toolkit's session manager.
struct SessionManager {
    bool allows = true;
    int asked = 0;
    bool cancelled = false;
    bool allowsInteraction() {
        ++asked;
        return allows;
    }
    void cancel() { cancelled = true; }
};

TEST(LogoutQuery, AsksOnlyWithPermissionAndRefusesOnlyOnCancel) {
    struct Case {
        bool allows, answerYes, expectQuestion, expectCancel;
    } cases[] = {
        {false, false, false, false},  // no permission: no box, the log-out goes on
        {true, true, true, false},
        {true, false, true, true},
    };
    for (const Case& c : cases) {
        SessionManager manager;
        manager.allows = c.allows;
        int questions = 0;
        AnswerLogoutQuery(manager, [&] {
            ++questions;
            return c.answerYes;
        });
        EXPECT_EQ(manager.asked, 1);
        EXPECT_EQ(questions, c.expectQuestion ? 1 : 0) << c.allows;
        EXPECT_EQ(manager.cancelled, c.expectCancel) << c.allows << c.answerYes;
    }
}

}  // namespace
}  // namespace zx
