#pragma once
// An ordered list of 8-bit lines with change notification: the text of an
// HTML view, and any other list of lines the program hands around.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zx {

class TStringList {
public:
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int i) const { return lines_.at(static_cast<size_t>(i)); }
    const std::vector<std::string>& Lines() const { return lines_; }

    // Every line followed by CR LF.
    std::string Text() const;
    // Splits at CR LF, CR or LF; always counts as one change.
    void SetText(std::string_view text);
    void SetLines(std::vector<std::string> lines);
    // Counts as a change only when there were lines.
    void Clear();

    // Called after every completed change.
    std::function<void()> OnChange;

private:
    void Changed();
    std::vector<std::string> lines_;
};

}  // namespace zx
