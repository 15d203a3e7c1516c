#include "app/application.h"

#include "app/error_text.h"
#include "platform/platform.h"

namespace zx {

TApplication::TApplication(int& argc, char** argv) : TGuardedApplication(argc, argv) {
    SetExceptionReporter([this](const std::exception& e) { ShowException(e); });
}

TApplication::~TApplication() {
    SetExceptionReporter(nullptr);
}

void TApplication::SetTitle(const std::string& title) {
    // Kept apart from the toolkit's display name, which X11 would append to
    // every window caption.
    title_ = title;
}

void TApplication::ShowException(const std::exception& e) {
    MessageBoxRequest box;
    box.caption = title_;
    box.text = HandlerErrorText(e.what());
    box.buttons = MsgButtons::Ok;
    box.icon = MsgIcon::Error;
    platform().MessageBox(box);
}

}  // namespace zx
