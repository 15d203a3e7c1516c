#include "base/string_list.h"

#include "base/text.h"

namespace zx {

std::string TStringList::Text() const {
    return JoinLinesCRLF(lines_);
}

void TStringList::SetText(std::string_view text) {
    lines_ = SplitLines(text);
    Changed();
}

void TStringList::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    Changed();
}

void TStringList::Clear() {
    if (lines_.empty()) return;
    lines_.clear();
    Changed();
}

void TStringList::Changed() {
    if (OnChange) OnChange();
}

}  // namespace zx
