#pragma once
// Twenty photo-like JPEG and PNG images of a few hundred pixels, a bar list
// file naming them, and nginx serving them on loopback. Everything lives in a
// temporary folder that goes with the object.
#include <string>

#include "support/temp_dir.h"
#include "support/web_server.h"

namespace zx::bench {

class LoopbackSite {
public:
    LoopbackSite();  // throws std::runtime_error when nginx does not start
    LoopbackSite(const LoopbackSite&) = delete;
    LoopbackSite& operator=(const LoopbackSite&) = delete;

    // The bar list file: twenty lines, one image address each.
    const std::string& ListFile() const { return listFile_; }
    // A folder of the site for other temporary files.
    const std::string& Folder() const { return folder_.Path(); }

private:
    test::TempDir folder_;
    test::WebServer server_;
    std::string listFile_;
};

}  // namespace zx::bench
