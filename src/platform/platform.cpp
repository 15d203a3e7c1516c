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

bool Confirm(const std::string& text, DialogButtons buttons, DialogAnswer defaultButton, DialogAnswer escapeButton) {
    MessageDialogRequest question;
    question.text = text;
    question.caption = "Confirm";  // a fixed text the user sees
    question.buttons = buttons;
    question.icon = DialogIcon::Question;
    question.defaultButton = defaultButton;
    question.escapeButton = escapeButton;
    return platform().MessageDialog(question) == DialogAnswer::Yes;
}

std::string WebPageAddress(const std::string& address) {
    if (address.find("://") != std::string::npos || address.rfind("mailto:", 0) == 0) return address;
    return "http://" + address;
}

}  // namespace zx
