#pragma once
// Twenty photo-like JPEG and PNG images of a few hundred pixels, a bar list
// file naming them, and nginx serving them on loopback. Everything lives in a
// temporary folder that goes with the object.
#include <sys/types.h>

#include <string>

namespace zx::bench {

class LoopbackSite {
public:
    LoopbackSite();  // throws std::runtime_error when nginx does not start
    ~LoopbackSite();
    LoopbackSite(const LoopbackSite&) = delete;
    LoopbackSite& operator=(const LoopbackSite&) = delete;

    // The bar list file: twenty lines, one image address each.
    const std::string& ListFile() const { return listFile_; }
    // A folder of the site for other temporary files.
    const std::string& Folder() const { return folder_; }

private:
    bool StartNginx(int port);
    std::string folder_, listFile_;
    pid_t nginx_ = -1;
};

}  // namespace zx::bench
