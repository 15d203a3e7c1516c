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

bool FakePlatform::GetCursorPos(Point& p) {
    ++cursorReads;
    if (!cursorReadable) return false;
    p = cursor;
    return true;
}

MsgAnswer FakePlatform::MessageBox(const MessageBoxRequest& request) {
    shownBoxes.push_back(request);
    MsgAnswer fallback = request.defaultButton;
    if (fallback == MsgAnswer::None) {
        switch (request.buttons) {
            case MsgButtons::Ok:
                fallback = MsgAnswer::Ok;
                break;
            case MsgButtons::YesNo:
            case MsgButtons::YesCancel:
                fallback = MsgAnswer::Yes;
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

std::optional<std::string> FakePlatform::BrowseForFolder(const std::string& title) {
    folderDialogs.push_back(title);
    return PopOr(folderAnswers, std::optional<std::string>{});
}

std::vector<UrlCacheEntry> FakePlatform::UrlCacheEntries(const std::string&) {
    return urlCache;
}

}  // namespace zx
