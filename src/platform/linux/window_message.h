#pragma once
// A synchronous message to a top-level window of another process (X11).
#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace zx {

// Sends `msg` to `window` and waits for the receiving GUI thread's answer.
// nullopt when the window does not exist, there is no display, or no answer
// came in time (60 s, or `timeLimit`). The parameters travel as 32 bits.
std::optional<intptr_t> LinuxSendWindowMessage(WindowHandle window, uint32_t msg, uintptr_t wparam, intptr_t lparam);
std::optional<intptr_t> LinuxSendWindowMessage(WindowHandle window, uint32_t msg, uintptr_t wparam, intptr_t lparam,
                                               std::chrono::milliseconds timeLimit);

// Makes this process answer such messages (default result 0, no effect).
// Needs a QApplication on the xcb platform; does nothing elsewhere.
void InstallWindowMessageReceiver();

}  // namespace zx
