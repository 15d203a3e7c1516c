#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace zx {
namespace {
Platform* g_platform = nullptr;
}

Platform& platform() {
    if (!g_platform) {
        std::fprintf(stderr, "zeltrix: no platform installed\n");
        std::abort();
    }
    return *g_platform;
}

Platform* SetPlatform(Platform* p) {
    Platform* old = g_platform;
    g_platform = p;
    return old;
}

bool Confirm(const std::string& text, MsgButtons buttons, MsgAnswer defaultButton, MsgAnswer escapeButton) {
    MessageBoxRequest question;
    question.text = text;
    question.caption = "Confirm";
    question.buttons = buttons;
    question.icon = MsgIcon::Question;
    question.defaultButton = defaultButton;
    question.escapeButton = escapeButton;
    return platform().MessageBox(question) == MsgAnswer::Yes;
}

std::string ShellAddress(const std::string& address) {
    if (address.find("://") != std::string::npos || address.rfind("mailto:", 0) == 0) return address;
    return "http://" + address;
}

}  // namespace zx
