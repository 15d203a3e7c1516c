#pragma once
// An ordered list of header lines "Name: value". Names match without regard
// to case; lines that begin with a blank or tab continue the line before.
#include <string>
#include <vector>

namespace zx {

class TIdHeaderList {
public:
    // Lines longer than this are folded when a header is set.
    static constexpr size_t kFoldLength = 1024;

    void Clear() { lines_.clear(); }
    size_t Count() const { return lines_.size(); }
    const std::vector<std::string>& Lines() const { return lines_; }
    const std::string& operator[](size_t i) const { return lines_[i]; }

    // Adds a raw line as it came from the wire.
    void AddLine(const std::string& line) { lines_.push_back(line); }
    // Adds "name: value", folded into continuation lines when too long.
    void AddValue(const std::string& name, const std::string& value);

    // The value of the first line named name, continuation lines joined with
    // one blank; empty when there is none.
    std::string Values(const std::string& name) const;
    // The values of every line named name, in order.
    std::vector<std::string> AllValues(const std::string& name) const;

    // Every line followed by CR LF.
    std::string Text() const;

private:
    static bool NameIs(const std::string& line, const std::string& name);
    std::string ValueAt(size_t i) const;

    std::vector<std::string> lines_;
};

// Breaks a header line into pieces no longer than width where possible,
// after a blank, tab or comma; continuation pieces begin with one blank.
std::vector<std::string> FoldHeaderLine(const std::string& line, size_t width);

}  // namespace zx
