#include "shared/single_instance.h"

#include <utility>

#include "base/text.h"
#include "shared/process_shared_string.h"

namespace zx {

SingleInstance::SingleInstance(std::string name) : name_(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::StartupTest() {
    InstanceText = std::make_unique<TProcessSharedAnsiString>(name_);
    WindowId running = 0;
    InstanceText->Lock();
    try {
        std::string text = InstanceText->Read();
        if (text.empty()) {
            InstanceText->Write("0");
            InstanceText->Unlock();
            return true;
        }
        running = static_cast<uint32_t>(StrToInt(text));
    } catch (...) {
        InstanceText->Unlock();
        InstanceText.reset();
        throw;
    }
    // The lock is released before the send: the running copy's GUI thread may
    // itself be waiting for it (to withdraw its handle) and would then never
    // answer. A handle that names no window ("0" of a copy still starting)
    // fails the notification quietly.
    InstanceText->Unlock();
    platform().NotifyRunningCopy(running);
    InstanceText.reset();
    return false;
}

void SingleInstance::Publish(WindowId window) {
    if (InstanceText) InstanceText->Write(std::to_string(window));
}

void SingleInstance::Withdraw() {
    if (!InstanceText) return;
    // Freed even when the write fails.
    std::unique_ptr<TProcessSharedAnsiString> text = std::move(InstanceText);
    text->Write("");
}

}  // namespace zx
