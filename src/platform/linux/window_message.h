#pragma once
// The notice a second copy sends to the running copy's bar window (X11): a
// synchronous message that the running copy answers with 0.
#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace zx {

// Sends the notice to `window` and waits for the receiving GUI thread's
// answer. nullopt when the window does not exist, there is no display, or no
// answer came in time (`timeLimit`). A copy that does not answer within a few
// seconds is busy (a blocking download) or dying; the sender ends as it
// would after an answer, so a few seconds are all it waits.
inline constexpr std::chrono::seconds kNotificationTimeLimit{5};
std::optional<intptr_t> SendInstanceNotification(WindowId window,
                                                 std::chrono::milliseconds timeLimit = kNotificationTimeLimit);

// Makes this process answer such messages (result 0, no effect).
// Needs a QApplication on the xcb platform; does nothing elsewhere.
void InstallWindowMessageReceiver();

}  // namespace zx
