#include "app/command_line.h"

#include <cstring>
#include <string>

#include "app/version.h"

namespace zx {
namespace {

constexpr const char* kUsage =
    "Usage: zeltrix [--help | --version]\n"
    "\n"
    "Keeps a strip of up to twenty web images on an always-on-top bar that\n"
    "appears when the pointer touches the top edge of the screen. Drop images\n"
    "from a web browser onto its cells; rest the pointer on a cell for a preview.\n"
    "\n"
    "  -h, --help     show this text and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Other arguments are left to Qt and its web engine (for example\n"
    "-platform xcb); Zeltrix itself reads none. Only one copy runs at a time.\n";

int Answer(std::FILE* out, const char* text) {
    const bool written = std::fputs(text, out) >= 0 && std::fflush(out) == 0 && !std::ferror(out);
    return written ? 0 : 1;
}

}  // namespace

std::optional<int> AnswerCommandLine(int argc, char** argv, std::FILE* out) {
    for (int i = 1; i < argc && argv[i]; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) break;
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return Answer(out, kUsage);
        if (std::strcmp(arg, "--version") == 0) return Answer(out, (std::string(kVersionLine) + "\n").c_str());
    }
    return std::nullopt;
}

}  // namespace zx
