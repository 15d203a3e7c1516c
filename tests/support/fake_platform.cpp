#include "support/fake_platform.h"

namespace zx {

namespace {
template <class T>
T PopOr(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T v = std::move(queue.front());
    queue.pop_front();
    return v;
}
}  // namespace

std::optional<Point> FakePlatform::PointerPosition() {
    ++pointerReads;
    if (!pointerReadable) return std::nullopt;
    return pointer;
}

DialogAnswer FakePlatform::MessageDialog(const MessageDialogRequest& request) {
    shownBoxes.push_back(request);
    DialogAnswer fallback = request.defaultButton;
    if (fallback == DialogAnswer::None) {
        switch (request.buttons) {
            case DialogButtons::Ok:
                fallback = DialogAnswer::Ok;
                break;
            case DialogButtons::YesNo:
            case DialogButtons::YesCancel:
                fallback = DialogAnswer::Yes;
                break;
        }
    }
    return PopOr(answers, fallback);
}

std::optional<std::string> FakePlatform::SaveFileDialog(const FileDialogRequest& request) {
    saveDialogs.push_back(request);
    return PopOr(saveDialogAnswers, std::optional<std::string>{});
}

std::optional<std::string> FakePlatform::OpenFileDialog(const FileDialogRequest& request) {
    openDialogs.push_back(request);
    return PopOr(openDialogAnswers, std::optional<std::string>{});
}

std::optional<std::string> FakePlatform::FolderDialog(const std::string& title) {
    folderDialogs.push_back(title);
    return PopOr(folderAnswers, std::optional<std::string>{});
}

std::optional<std::string> FakePlatform::OriginUrl(const std::string& localPath) {
    auto it = origins.find(localPath);
    if (it == origins.end()) return std::nullopt;
    return it->second;
}

}  // namespace zx
