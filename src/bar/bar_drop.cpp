// Dropping an image on a cell: every navigation a cell announces is vetoed;
// an image address becomes the cell's image page, after a cell that already
// shows the same image has been asked to give it up.
#include <exception>

#include "bar/drop_rules.h"
#include "bar/form1.h"
#include "base/cell_document.h"
#include "base/text.h"
#include "htmlview/embedded_wb.h"
#include "net/id_http.h"

namespace zx {
namespace {

// Sets a flag for the life of a scope and clears it however the scope ends.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagGuard() { flag_ = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& flag_;
};

}  // namespace

void TForm1::EmbeddedWB1BeforeNavigate2(TEmbeddedWB* ASender, const std::string& URL, bool& Cancel) {
    // The views' own navigations while a document is loaded (the first
    // "about:blank" of a fresh view) must pass.
    if (Busy) {
        Cancel = false;
        return;
    }
    // No cell ever navigates to a dropped address by itself.
    Cancel = true;
    if (!ASender) return;

    const std::string& A = URL;
    // Control characters, and web addresses whose server the engine and the
    // download would read differently, are ignored like any non-image drop.
    if (!IsAcceptableAddress(A)) return;
    if (!IdHTTP1) CreateHttpClient();
    IdHTTP1->URL().SetURI(A);
    if (!IsImageExtension(DroppedFileExtension(IdHTTP1->URL().Document()))) return;

    std::string S;
    if (IsWebAddress(A)) {
        S = A;
    } else {
        S = SourceUrlFromCache(A);
        if (S.empty() || !IsAcceptableAddress(S)) return;
    }

    const std::vector<std::string> N = MakeImagePage(CellPageTemplate(), S);

    FlagGuard busy(Busy);
    for (int i = 0; i < kCellCount; ++i) {
        TStringList& code = Cells[static_cast<size_t>(i)]->HTMLCode();
        if (code.Count() == 0 || code[0] != N[0]) continue;
        if (!Confirm("The same image is in cell " + std::to_string(i) + ". Do you want to move it to this cell?",
                     MsgButtons::YesNo))
            return;
        code.SetText("");
    }
    ASender->HTMLCode().SetText(JoinLinesCRLF(N));
}

std::string TForm1::SourceUrlFromCache(const std::string& localPath) {
    // A failing lookup is no error: the drop is only ignored.
    try {
        for (const UrlCacheEntry& entry : platform().UrlCacheEntries(localPath)) {
            // Byte for byte: no case folding, no path normalisation, no file: form.
            if (entry.localFileName == localPath) return entry.sourceUrl;
        }
    } catch (const std::exception&) {
    }
    return {};
}

}  // namespace zx
