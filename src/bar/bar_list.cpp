// Saving the cells' addresses to a bar list file and filling the cells from one.
#include <QUrl>
#include <algorithm>
#include <string_view>

#include "bar/form1.h"
#include "bar/list_file.h"
#include "base/cell_document.h"
#include "base/text.h"
#include "htmlview/embedded_wb.h"

namespace zx {
namespace {

// Both list dialogs. The type names the user sees ("Text Files" first, then
// "All Files") and the suffix added to a bare name are fixed texts.
FileDialogRequest ListFileDialog() {
    return FileDialogRequest{"txt", "Text Files (*.txt);;All Files (*)"};
}

// A web address whose host is written in Unicode, with the host in the
// ASCII form a browser's drop hands over; anything else as it is.
std::string WithAsciiHost(const std::string& line) {
    const size_t start = line.find("://");
    if (start == std::string::npos) return line;
    const size_t hostStart = start + 3;
    const size_t end = std::min(line.find_first_of("/?#\\", hostStart), line.size());
    std::string_view authority = std::string_view(line).substr(hostStart, end - hostStart);
    const size_t at = authority.rfind('@');
    const size_t from = at == std::string_view::npos ? 0 : at + 1;
    const size_t colon = authority.find(':', from);
    const std::string_view host =
        authority.substr(from, colon == std::string_view::npos ? std::string_view::npos : colon - from);
    if (std::all_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return line;
    const QByteArray ace = QUrl::toAce(QString::fromUtf8(host.data(), static_cast<qsizetype>(host.size())));
    if (ace.isEmpty()) return line;
    return line.substr(0, hostStart + from) + ace.toStdString() + line.substr(hostStart + from + host.size());
}

}  // namespace

void TForm1::Button2Click() {
    const std::optional<std::string> chosen = platform().SaveFileDialog(ListFileDialog());
    if (!chosen) return;
    const std::string& F = *chosen;
    if (ListFileExists(F)) {
        if (!Confirm("The file you specified exists. Do you want to overwrite it?", DialogButtons::YesCancel)) return;
    }
    std::vector<std::string> lines;
    lines.reserve(kListLineCount);
    for (int i = 0; i < kListLineCount; ++i) {
        const TStringList& code = Cells[static_cast<size_t>(i)]->HTMLCode();
        lines.push_back(IsImagePage(code) ? AddressFromMarkerLine(code[0]) : std::string());
    }
    WriteListFile(F, lines);
}

void TForm1::Button3Click() {
    const std::optional<std::string> chosen = platform().OpenFileDialog(ListFileDialog());
    if (!chosen) return;
    // The whole list is read before any cell changes.
    const std::vector<std::string> lines = ReadListFile(*chosen);
    for (int i = 0; i < kCellCount && i < static_cast<int>(lines.size()); ++i) {
        const std::string& T = lines[static_cast<size_t>(i)];
        TEmbeddedWB* cell = Cells[static_cast<size_t>(i)];
        if (TrimControl(T).empty()) {
            cell->HTMLCode().Clear();
            continue;
        }
        // Handed over untrimmed, as read; a Unicode host as a drop gives it.
        bool cancel = false;
        EmbeddedWB1BeforeNavigate2(cell, WithAsciiHost(T), cancel);
    }
}

}  // namespace zx
