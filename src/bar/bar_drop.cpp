// Dropping an image on a cell.
#include "bar/form1.h"

namespace zx {

void TForm1::EmbeddedWB1BeforeNavigate2(TEmbeddedWB*, const std::string&, bool& Cancel) {
    if (Busy) {
        Cancel = false;
        return;
    }
    Cancel = true;
}

std::string TForm1::SourceUrlFromCache(const std::string&) { return {}; }

}  // namespace zx
