#include "net/id_header_list.h"

#include "base/text.h"

namespace zx {

namespace {

bool IsContinuation(const std::string& line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

std::string RightTrim(std::string s) {
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.pop_back();
    return s;
}

}  // namespace

std::vector<std::string> FoldHeaderLine(const std::string& line, size_t width) {
    // One pass over the line: each piece is cut out where it lies, never
    // copied with the rest, so a long line folds in linear time.
    std::vector<std::string> pieces;
    const std::string_view text = line;
    // The piece text[from, to), right-trimmed; continuation pieces begin
    // with one blank.
    auto add = [&](size_t from, size_t to) {
        std::string piece;
        piece.reserve(to - from + 1);
        if (from > 0) piece += ' ';
        piece.append(text.substr(from, to - from));
        pieces.push_back(RightTrim(std::move(piece)));
    };
    size_t begin = 0;
    while (true) {
        // A continuation piece carries one leading blank in its width.
        const size_t room = begin == 0 ? width : width - 1;
        if (text.size() - begin <= room) {
            add(begin, text.size());
            break;
        }
        // The last break point that keeps the piece within width; failing
        // that, the first one after it, so that no word is ever cut.
        size_t cut = std::string::npos;
        for (size_t i = begin; i < text.size(); ++i) {
            const char c = text[i];
            if (c == ' ' || c == '\t' || c == ',') {
                if (i + 1 - begin <= room || cut == std::string::npos) cut = i + 1;
                if (i + 1 - begin > room) break;
            }
        }
        if (cut == std::string::npos || cut >= text.size()) {
            add(begin, text.size());
            break;
        }
        add(begin, cut);
        size_t next = cut;
        while (next < text.size() && (text[next] == ' ' || text[next] == '\t')) ++next;
        if (next >= text.size()) break;
        begin = next;
    }
    return pieces;
}

void TIdHeaderList::AddValue(const std::string& name, const std::string& value) {
    const std::string line = name + ": " + value;
    if (line.size() <= kFoldLength) {
        lines_.push_back(line);
        return;
    }
    for (auto& piece : FoldHeaderLine(line, kFoldLength)) lines_.push_back(std::move(piece));
}

bool TIdHeaderList::NameIs(const std::string& line, const std::string& name) {
    if (IsContinuation(line)) return false;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return false;
    return EqualsAsciiCaseless(TrimControl(std::string_view(line).substr(0, colon)), name);
}

std::string TIdHeaderList::ValueAt(size_t i) const {
    const std::string& line = lines_[i];
    std::string value(TrimControl(std::string_view(line).substr(line.find(':') + 1)));
    for (size_t j = i + 1; j < lines_.size() && IsContinuation(lines_[j]); ++j) {
        const std::string_view more = TrimControl(lines_[j]);
        if (more.empty()) continue;
        if (!value.empty()) value += ' ';
        value += more;
    }
    return value;
}

std::string TIdHeaderList::Values(const std::string& name) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (NameIs(lines_[i], name)) return ValueAt(i);
    return "";
}

std::vector<std::string> TIdHeaderList::AllValues(const std::string& name) const {
    std::vector<std::string> out;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (NameIs(lines_[i], name)) out.push_back(ValueAt(i));
    return out;
}

std::string TIdHeaderList::Text() const {
    return JoinLinesCRLF(lines_);
}

}  // namespace zx
