#include "platform/linux/window_message.h"

namespace zx {

std::optional<intptr_t> LinuxSendWindowMessage(WindowHandle, uint32_t, uintptr_t, intptr_t) { return std::nullopt; }

void InstallWindowMessageReceiver() {}

}  // namespace zx
