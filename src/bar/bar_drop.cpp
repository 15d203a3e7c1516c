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

    if (!IdHTTP1) CreateHttpClient();
    // The document part (the name a download is saved under) has an image
    // extension.
    const auto namesImage = [this](const std::string& address) {
        IdHTTP1->URL().SetURI(address);
        return IsImageExtension(DroppedFileExtension(IdHTTP1->URL().Document()));
    };
    // Control characters, and web addresses whose server the engine and the
    // download would read differently, are ignored like any non-image drop.
    const auto isImageAddress = [&](const std::string& address) {
        return IsAcceptableAddress(address) && namesImage(address);
    };
    // A thumbnail inside a link is dropped as the link's page; the drag's
    // markup still names the image, which the cell takes instead.
    std::string A = URL;
    if (!isImageAddress(A)) {
        const std::string& image = ASender->Engine().DroppedImage;
        if (!IsWebAddress(image) || !isImageAddress(image)) return;
        A = image;
    }

    std::string S;
    if (IsWebAddress(A)) {
        S = A;
    } else {
        // The address a file's origin names passes the same tests as a
        // dropped one: it is what a download fetches and names its file after.
        S = SourceUrlFromCache(A);
        if (!IsWebAddress(S) || !IsAcceptableAddress(S) || !namesImage(S)) return;
    }

    const std::vector<std::string> N = MakeImagePage(CellPageTemplate(), S);

    FlagGuard busy(Busy);
    for (int i = 0; i < kCellCount; ++i) {
        TStringList& code = Cells[static_cast<size_t>(i)]->HTMLCode();
        if (code.Count() == 0 || code[0] != N[0]) continue;
        if (!Confirm("The same image is in cell " + std::to_string(i) + ". Do you want to move it to this cell?",
                     DialogButtons::YesNo))
            return;
        code.SetText("");
    }
    ASender->HTMLCode().SetText(JoinLinesCRLF(N));
}

std::string TForm1::SourceUrlFromCache(const std::string& localPath) {
    // A failing lookup is no error: the drop is only ignored. The path is
    // taken as it stands: no case folding, no file: form.
    try {
        return platform().OriginUrl(localPath).value_or(std::string());
    } catch (const std::exception&) {
    }
    return {};
}

}  // namespace zx
