// Saving the cells' addresses to a bar list file and filling the cells from one.
#include "bar/form1.h"
#include "bar/list_file.h"
#include "base/cell_document.h"
#include "base/text.h"
#include "htmlview/embedded_wb.h"

namespace zx {
namespace {

FileDialogRequest ListFileDialog() {
    return FileDialogRequest{"txt", "Text Files|*.txt|All Files|*.*"};
}

}  // namespace

void TForm1::Button2Click() {
    const std::optional<std::string> chosen = platform().SaveFileDialog(ListFileDialog());
    if (!chosen) return;
    const std::string& F = *chosen;
    if (ListFileExists(F)) {
        if (!Confirm("The file you specified exists. Do you want to overwrite it?", MsgButtons::YesCancel)) return;
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
        // Handed over untrimmed, exactly as read.
        bool cancel = false;
        EmbeddedWB1BeforeNavigate2(cell, T, cancel);
    }
}

}  // namespace zx
