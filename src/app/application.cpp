#include "app/application.h"

#include "app/error_text.h"
#include "platform/linux/termination_signals.h"
#include "platform/platform.h"

namespace zx {

TApplication::TApplication(int& argc, char** argv) : GuardedApplication(argc, argv) {
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
    // A transfer cut short by a termination signal fails; the program is
    // ending, and a box would only hold it up.
    if (TerminationRequested()) return;
    MessageDialogRequest box;
    box.caption = title_;
    box.text = HandlerErrorText(e.what());
    box.buttons = DialogButtons::Ok;
    box.icon = DialogIcon::Error;
    platform().MessageDialog(box);
}

}  // namespace zx
