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
    std::vector<std::string> pieces;
    std::string rest = line;
    bool first = true;
    while (true) {
        std::string piece = first ? rest : " " + rest;
        if (piece.size() <= width) {
            pieces.push_back(RightTrim(piece));
            break;
        }
        // The last break point that keeps the piece within width; failing
        // that, the first one after it, so that no word is ever cut.
        size_t cut = std::string::npos;
        const size_t offset = first ? 0 : 1;
        for (size_t i = offset; i < piece.size(); ++i) {
            const char c = piece[i];
            if (c == ' ' || c == '\t' || c == ',') {
                if (i + 1 <= width || cut == std::string::npos) cut = i + 1;
                if (i + 1 > width) break;
            }
        }
        if (cut == std::string::npos || cut >= piece.size()) {
            pieces.push_back(RightTrim(piece));
            break;
        }
        pieces.push_back(RightTrim(piece.substr(0, cut)));
        size_t next = cut;
        while (next < piece.size() && (piece[next] == ' ' || piece[next] == '\t')) ++next;
        if (next >= piece.size()) break;
        rest = piece.substr(next);
        first = false;
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

bool TIdHeaderList::Has(const std::string& name) const {
    for (const auto& line : lines_)
        if (NameIs(line, name)) return true;
    return false;
}

std::string TIdHeaderList::Text() const {
    return JoinLinesCRLF(lines_);
}

}  // namespace zx
