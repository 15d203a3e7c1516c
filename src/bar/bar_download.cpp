// Downloading every image into a folder: one folder question, then each cell
// with an image in order, fetched whole into memory and written to a file
// named after its address. The first failure ends the run; files already
// written stay.
#include <QGuiApplication>
#include <optional>
#include <string>

#include "bar/form1.h"
#include "bar/image_file.h"
#include "bar/unique_name.h"
#include "base/cell_document.h"
#include "htmlview/embedded_wb.h"
#include "net/http_limits.h"
#include "net/id_http.h"
#include "net/memory_stream.h"
#include "platform/tls_transport.h"

namespace zx {
namespace {

constexpr const char* kFolderTitle = "Select where to place the images.";

// The busy pointer over the program's windows for the life of a run, which
// holds the GUI thread: the toolkit hands the change to the X server at once,
// so it shows although no event is handled until the run ends, by success or
// by an error.
class BusyPointer {
public:
    BusyPointer() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QGuiApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

}  // namespace

void TForm1::CreateHttpClient() {
    if (!IdHTTP1) IdHTTP1 = std::make_shared<TIdHTTP>(std::make_unique<TlsTransport>());
    IdHTTP1->Limits() = kDownloadLimits;
}

void TForm1::Button4Click() {
    const std::optional<std::string> folder = platform().FolderDialog(kFolderTitle);
    // Cancel ends the run silently. An empty path is no folder that could be
    // chosen; files would land in the root, so it counts as a cancel too.
    if (!folder || folder->empty()) return;

    const BusyPointer busy;
    // Opened once: every file lands in the folder the user picked, even when
    // its path is made to point elsewhere while a download runs.
    const OpenFolder dir = OpenFolder::Open(*folder);
    const ExistsTest exists = ImageFile::ExistsIn(dir);
    for (TEmbeddedWB* cell : Cells) {
        const TStringList& code = cell->HTMLCode();
        if (!IsImagePage(code)) continue;
        const std::string address = AddressFromMarkerLine(code[0]);

        // The client's own splitter names the file after the document part.
        IdHTTP1->URL().SetURI(address);
        const std::string document = IdHTTP1->URL().Document();
        const std::string name = UniqueFileName(*folder, document, exists);

        // Fetched whole before the file is made: a failed fetch leaves nothing.
        TMemoryStream stream;
        IdHTTP1->Get(address, stream);
        stream.SetPosition(0);

        ImageFile file = ImageFile::Create(dir, name, document);
        file.Write(stream.Data(), stream.Size());
        file.Close();
    }
}

}  // namespace zx
